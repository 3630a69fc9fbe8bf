#include "tests/support/FilePixels.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

Pixels randomPixels(int width, int height, int bands, int depth, uint32_t seed) {
    Pixels p{width, height, bands, depth, std::vector<uint16_t>(size_t(width) * height * bands)};
    std::mt19937 rng(seed);
    for (uint16_t& v : p.values) v = uint16_t(rng() % (depth == 16 ? 65536 : 256));
    p.values[0] = 0;
    p.values[1] = depth == 16 ? 65535 : 255;
    return p;
}

Pixels smoothPixels(int width, int height, int bands) {
    Pixels p{width, height, bands, 8, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int b = 0; b < bands; ++b) p.values.push_back(uint16_t(40 + 2 * x + 3 * y + 30 * b));
    return p;
}

std::vector<uint8_t> builtInProfile(const char* name) {
    VipsBlob* blob = nullptr;
    if (vips_profile_load(name, &blob, NULL) != 0) return {};
    size_t length = 0;
    const uint8_t* data = static_cast<const uint8_t*>(vips_blob_get(blob, &length));
    std::vector<uint8_t> bytes(data, data + length);
    vips_area_unref(reinterpret_cast<VipsArea*>(blob));
    return bytes;
}

bool saveTestImage(const std::string& path, const Pixels& p, VipsInterpretation type, const std::vector<uint8_t>& icc,
                   int pageHeight) {
    std::vector<uint8_t> raw;
    for (uint16_t v : p.values) {
        if (p.depth == 16) raw.insert(raw.end(), reinterpret_cast<uint8_t*>(&v), reinterpret_cast<uint8_t*>(&v) + 2);
        if (p.depth == 8) raw.push_back(uint8_t(v));
    }
    VipsImage* memory = vips_image_new_from_memory_copy(raw.data(), raw.size(), p.width, p.height, p.bands,
                                                        p.depth == 16 ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR);
    VipsImage* image = nullptr;
    int failed = vips_copy(memory, &image, "interpretation", type, "xres", kDpi300, "yres", kDpi300, NULL);
    g_object_unref(memory);
    if (failed) return false;
    if (!icc.empty()) vips_image_set_blob_copy(image, VIPS_META_ICC_NAME, icc.data(), icc.size());
    vips_image_set_string(image, "exif-ifd0-ImageDescription", "crisp calm test");
    if (pageHeight > 0) vips_image_set_int(image, VIPS_META_PAGE_HEIGHT, pageHeight);
    bool jpeg = fs::path(path).extension() == ".jpg";
    failed = vips_image_write_to_file(image, (jpeg ? path + "[Q=100]" : path).c_str(), NULL);
    g_object_unref(image);
    return failed == 0;
}

Pixels loadTestImage(const std::string& path, VipsInterpretation& type) {
    Pixels p;
    VipsImage* image = vips_image_new_from_file(path.c_str(), NULL);
    if (!image) return p;
    size_t size = 0;
    void* data = vips_image_write_to_memory(image, &size);
    p = Pixels{image->Xsize, image->Ysize, image->Bands, image->BandFmt == VIPS_FORMAT_USHORT ? 16 : 8, {}};
    type = image->Type;
    for (size_t i = 0; i < size; i += p.depth / 8) {
        uint16_t v = static_cast<uint8_t*>(data)[i];
        if (p.depth == 16) std::memcpy(&v, static_cast<uint8_t*>(data) + i, 2);
        p.values.push_back(v);
    }
    g_free(data);
    g_object_unref(image);
    return p;
}

std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
