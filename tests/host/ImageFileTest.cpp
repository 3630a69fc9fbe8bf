#include <gtest/gtest.h>
#include <stdlib.h>
#include <vips/vips.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "host/ImageFile.h"

namespace {

namespace fs = std::filesystem;

constexpr double kDpi300 = 300.0 / 25.4;  // pixels per millimetre

// Samples as a file holds them: interleaved bands, 8- or 16-bit values.
struct Pixels {
    int width = 0, height = 0, bands = 0, depth = 8;
    std::vector<uint16_t> values;
};

Pixels randomPixels(int width, int height, int bands, int depth, uint32_t seed) {
    Pixels p{width, height, bands, depth, std::vector<uint16_t>(size_t(width) * height * bands)};
    std::mt19937 rng(seed);
    for (uint16_t& v : p.values) v = uint16_t(rng() % (depth == 16 ? 65536 : 256));
    p.values[0] = 0;
    p.values[1] = depth == 16 ? 65535 : 255;
    return p;
}

// Gentle gradients that survive JPEG compression nearly unchanged.
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

// Writes a test image with libvips itself, as any other program might; the
// extension picks the format.
bool saveTestImage(const std::string& path, const Pixels& p, VipsInterpretation type,
                   const std::vector<uint8_t>& icc = {}, int pageHeight = 0) {
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

// A file's own values, read back with libvips.
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

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class ImageFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Damaged files are refused through our own messages; libvips's
        // warnings about them would only clutter the log.
        setenv("VIPS_WARNING", "0", 0);
        std::string error;
        ASSERT_TRUE(initImageFiles("cc_tests", error)) << error;
        std::string pattern = (fs::temp_directory_path() / "cc-images-XXXXXX").string();
        folder = mkdtemp(pattern.data());
    }
    void TearDown() override { fs::remove_all(folder); }
    std::string file(const std::string& name) const { return (folder / name).string(); }
    size_t entries() const { return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator())); }

    fs::path folder;
    HostImage image;
    ImageFileInfo info;
    std::string error;
};

}  // namespace

TEST(ImageFileMapping, SixteenBitValuesSurviveTheHostRange) {
    EXPECT_EQ(fileToHost16(65535), 32768);
    EXPECT_EQ(hostToFile16(32768), 65535);
    // Host -> file -> host is exact for every host value. File -> host -> file
    // cannot be (65,536 values meet 32,769), but lands within one step, on a
    // value that itself survives exactly, and the mapping keeps the order.
    for (uint32_t h = 0; h <= 32768; ++h) ASSERT_EQ(fileToHost16(hostToFile16(uint16_t(h))), h) << h;
    for (uint32_t v = 0; v <= 65535; ++v) {
        uint16_t back = hostToFile16(fileToHost16(uint16_t(v)));
        ASSERT_LE(std::abs(int(back) - int(v)), 1) << v;
        ASSERT_EQ(hostToFile16(fileToHost16(back)), back) << v;
        ASSERT_TRUE(v == 0 || fileToHost16(uint16_t(v)) >= fileToHost16(uint16_t(v - 1))) << v;
    }
}

TEST_F(ImageFileTest, LosslessFormatsRoundTrip) {
    struct Case {
        const char* extension;
        ImageFileFormat format;
        int depth;
        bool cmyk;
        int extra;
    } cases[] = {
        {".tif", ImageFileFormat::Tiff, 8, false, 0}, {".tif", ImageFileFormat::Tiff, 16, false, 0},
        {".tif", ImageFileFormat::Tiff, 8, true, 0},  {".tif", ImageFileFormat::Tiff, 16, true, 1},
        {".tif", ImageFileFormat::Tiff, 8, false, 1}, {".png", ImageFileFormat::Png, 8, false, 0},
        {".png", ImageFileFormat::Png, 16, false, 1}, {".png", ImageFileFormat::Png, 8, false, 1},
        {".ppm", ImageFileFormat::Pnm, 8, false, 0},  {".ppm", ImageFileFormat::Pnm, 16, false, 0},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.extension) + " " + std::to_string(c.depth) + (c.cmyk ? " CMYK" : " RGB") +
                     (c.extra ? " alpha" : ""));
        int planes = c.cmyk ? 4 : 3, full = c.depth == 16 ? 65535 : 255;
        Pixels source = randomPixels(23, 17, planes + c.extra, c.depth, uint32_t(n));
        VipsInterpretation type = c.cmyk          ? VIPS_INTERPRETATION_CMYK
                                  : c.depth == 16 ? VIPS_INTERPRETATION_RGB16
                                                  : VIPS_INTERPRETATION_sRGB;
        bool metadata = c.format != ImageFileFormat::Pnm;
        std::vector<uint8_t> icc = metadata ? builtInProfile(c.cmyk ? "cmyk" : "srgb") : std::vector<uint8_t>();
        std::string in = file("in" + std::to_string(n) + c.extension);
        std::string out = file("out" + std::to_string(n++) + c.extension);
        ASSERT_TRUE(saveTestImage(in, source, type, icc));

        ASSERT_TRUE(readImageFile(in, image, info, error)) << error;
        EXPECT_EQ(info.format, c.format);
        EXPECT_EQ(info.depth, c.depth);
        EXPECT_EQ(info.cmyk, c.cmyk);
        ASSERT_EQ(info.extraChannels, c.extra);
        ASSERT_EQ(image.width * image.height, 23 * 17);
        EXPECT_EQ(image.mode, hostModeFor(planes, c.depth));
        // Colour samples in the host's conventions (CMYK: full = no ink);
        // extra channels kept aside as they were.
        for (size_t i = 0, colour = 0, extra = 0; i < source.values.size(); ++i) {
            uint16_t v = source.values[i];
            if (int(i % source.bands) >= planes) {
                ASSERT_EQ(info.extraSamples[extra++], v) << i;
                continue;
            }
            if (c.cmyk) v = uint16_t(full - v);
            ASSERT_EQ(image.samples[colour++], c.depth == 16 ? fileToHost16(v) : v) << i;
        }
        EXPECT_EQ(info.iccProfile, icc);
        if (metadata) {
            EXPECT_NEAR(info.xResolution, kDpi300, 0.01);
        }

        ASSERT_TRUE(writeImageFile(out, image, info, error)) << error;
        VipsInterpretation writtenType;
        Pixels written = loadTestImage(out, writtenType);
        EXPECT_EQ(written.bands, source.bands);
        EXPECT_EQ(written.depth, c.depth);
        EXPECT_EQ(writtenType, type);
        ASSERT_EQ(written.values.size(), source.values.size());
        for (size_t i = 0; i < source.values.size(); ++i) {
            uint16_t expected = source.values[i];
            if (c.depth == 16 && int(i % source.bands) < planes) {
                uint16_t v = c.cmyk ? uint16_t(full - expected) : expected;
                v = hostToFile16(fileToHost16(v));
                expected = c.cmyk ? uint16_t(full - v) : v;
            }
            ASSERT_EQ(written.values[i], expected) << i;
        }
        ImageFileInfo again;
        HostImage againImage;
        ASSERT_TRUE(readImageFile(out, againImage, again, error)) << error;
        EXPECT_EQ(again.iccProfile, icc);
        if (metadata) {
            EXPECT_NEAR(again.yResolution, kDpi300, 0.01);
        }
    }
    EXPECT_EQ(entries(), 2 * std::size(cases));  // no temporary file is left behind
}

TEST_F(ImageFileTest, JpegKeepsModeProfileResolutionAndExif) {
    for (bool cmyk : {false, true}) {
        SCOPED_TRACE(cmyk ? "CMYK" : "RGB");
        // Flat ink 200/100/30/10 in a CMYK JPEG (stored inverted, as image
        // editors write it) reaches the host as its complement.
        Pixels source = smoothPixels(32, 24, cmyk ? 4 : 3);
        const uint16_t ink[4] = {200, 100, 30, 10};
        if (cmyk) {
            for (size_t i = 0; i < source.values.size(); ++i) source.values[i] = ink[i % 4];
        }
        std::vector<uint8_t> icc = builtInProfile(cmyk ? "cmyk" : "srgb");
        std::string in = file("in.jpg"), out = file(cmyk ? "cmyk.jpg" : "rgb.jpg");
        ASSERT_TRUE(saveTestImage(in, source, cmyk ? VIPS_INTERPRETATION_CMYK : VIPS_INTERPRETATION_sRGB, icc));
        ASSERT_TRUE(readImageFile(in, image, info, error)) << error;
        EXPECT_EQ(info.format, ImageFileFormat::Jpeg);
        EXPECT_EQ(info.cmyk, cmyk);
        EXPECT_EQ(info.iccProfile, icc);
        for (size_t i = 0; i < source.values.size(); i += 5) {
            int expected = cmyk ? 255 - source.values[i] : source.values[i];
            ASSERT_NEAR(image.samples[i], expected, 4) << i;
        }

        ASSERT_TRUE(writeImageFile(out, image, info, error)) << error;
        VipsInterpretation type;
        Pixels written = loadTestImage(out, type);
        EXPECT_EQ(type, cmyk ? VIPS_INTERPRETATION_CMYK : VIPS_INTERPRETATION_sRGB);
        for (size_t i = 0; i < source.values.size(); i += 5) ASSERT_NEAR(written.values[i], source.values[i], 6) << i;
        ImageFileInfo again;
        ASSERT_TRUE(readImageFile(out, image, again, error)) << error;
        EXPECT_EQ(again.iccProfile, icc);
        EXPECT_NEAR(again.xResolution, kDpi300, 0.05);
        std::string exif(again.exif.begin(), again.exif.end());
        EXPECT_NE(exif.find("crisp calm test"), std::string::npos);
    }
}

TEST_F(ImageFileTest, WritingIsDeterministicAndReplacesInPlace) {
    for (const char* name : {"d.tif", "d.png", "d.jpg", "d.ppm"}) {
        SCOPED_TRACE(name);
        std::string path = file(name), first = file(std::string("1") + name), second = file(std::string("2") + name);
        ASSERT_TRUE(saveTestImage(path, smoothPixels(16, 16, 3), VIPS_INTERPRETATION_sRGB));
        ASSERT_TRUE(readImageFile(path, image, info, error)) << error;
        ASSERT_TRUE(writeImageFile(first, image, info, error)) << error;
        ASSERT_TRUE(writeImageFile(second, image, info, error)) << error;
        EXPECT_EQ(fileBytes(first), fileBytes(second));

        // Overwriting the file that was read and reading it again gives the
        // new pixels: nothing is served from a cache.
        for (uint16_t& s : image.samples) s = uint16_t(255 - s);
        ASSERT_TRUE(writeImageFile(path, image, info, error)) << error;
        HostImage reread;
        ASSERT_TRUE(readImageFile(path, reread, info, error)) << error;
        EXPECT_NEAR(reread.samples[40], image.samples[40], info.format == ImageFileFormat::Jpeg ? 4 : 0);
    }

    // A PNM whose maximum is below 255 is scaled up and written back as it was.
    std::string small = file("small.ppm"), copy = file("small-copy.ppm");
    writeBytes(small, {'P', '6', '\n', '2', ' ', '1', '\n', '1', '5', '\n', 15, 7, 0, 1, 2, 3});
    ASSERT_TRUE(readImageFile(small, image, info, error)) << error;
    EXPECT_EQ(image.samples, (std::vector<uint16_t>{255, 119, 0, 17, 34, 51}));
    ASSERT_TRUE(writeImageFile(copy, image, info, error)) << error;
    EXPECT_EQ(fileBytes(copy), fileBytes(small));
}

TEST_F(ImageFileTest, MultiPageTiffGivesTheFirstPage) {
    Pixels pages = randomPixels(10, 12, 3, 8, 99);  // two pages of 10 x 6
    ASSERT_TRUE(saveTestImage(file("pages.tif"), pages, VIPS_INTERPRETATION_sRGB, {}, 6));
    ASSERT_TRUE(readImageFile(file("pages.tif"), image, info, error)) << error;
    ASSERT_EQ(image.height, 6);
    EXPECT_TRUE(std::equal(image.samples.begin(), image.samples.end(), pages.values.begin()));
}

TEST_F(ImageFileTest, RefusesOtherModesDamagedAndForeignFilesNamingThem) {
    for (const char* name : {"grey.png", "grey.pgm", "grey.jpg", "grey16.tif", "greyalpha.png"}) {
        std::string path = file(name);
        int bands = std::strstr(name, "alpha") ? 2 : 1, depth = std::strstr(name, "16") ? 16 : 8;
        ASSERT_TRUE(saveTestImage(path, randomPixels(8, 8, bands, depth, 5),
                                  depth == 16 ? VIPS_INTERPRETATION_GREY16 : VIPS_INTERPRETATION_B_W));
        EXPECT_FALSE(readImageFile(path, image, info, error)) << name;
        EXPECT_EQ(error, path + ": " + kImageModeMessage + " (the file is greyscale)");
    }

    writeBytes(file("notes.tif"), {'h', 'e', 'l', 'l', 'o'});
    writeBytes(file("empty.png"), {});
    std::vector<std::string> bad = {file("notes.tif"), file("empty.png"), file("missing.png"), folder.string()};
    for (const char* name : {"t.png", "t.jpg", "t.tif", "t.ppm"}) {
        ASSERT_TRUE(saveTestImage(file(name), randomPixels(64, 64, 3, 8, 3), VIPS_INTERPRETATION_sRGB));
        std::vector<uint8_t> bytes = fileBytes(file(name));
        bytes.resize(bytes.size() / 2);
        writeBytes(file(std::string("cut-") + name), bytes);
        bad.push_back(file(std::string("cut-") + name));
    }
    ASSERT_TRUE(saveTestImage(file("wide.png"), Pixels{30001, 1, 3, 8, std::vector<uint16_t>(30001 * 3, 9)},
                              VIPS_INTERPRETATION_sRGB));
    bad.push_back(file("wide.png"));
    for (const std::string& path : bad) {
        EXPECT_FALSE(readImageFile(path, image, info, error)) << path;
        EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
        EXPECT_GT(error.size(), path.size() + 4) << "a reason follows the name";
    }
    EXPECT_NE(error.find("30000"), std::string::npos) << error;

    // Flipped bytes give an image or an error, never a crash.
    std::mt19937 rng(2024);
    for (const char* name : {"t.png", "t.jpg", "t.tif", "t.ppm"}) {
        const std::vector<uint8_t> original = fileBytes(file(name));
        for (int round = 0; round < 25; ++round) {
            std::vector<uint8_t> bytes = original;
            for (int i = 0; i < 6; ++i) bytes[rng() % bytes.size()] ^= uint8_t(1u << (rng() % 8));
            writeBytes(file("flipped"), bytes);
            if (readImageFile(file("flipped"), image, info, error)) {
                EXPECT_EQ(image.samples.size(), size_t(image.width) * image.height * image.planes);
            } else {
                EXPECT_EQ(error.rfind(file("flipped"), 0), 0u);
            }
        }
    }
}

TEST_F(ImageFileTest, WriteFailuresLeaveNothingBehind) {
    std::string path = file("ok.png");
    ASSERT_TRUE(saveTestImage(path, randomPixels(8, 8, 3, 8, 1), VIPS_INTERPRETATION_sRGB));
    ASSERT_TRUE(readImageFile(path, image, info, error)) << error;
    const std::vector<uint8_t> before = fileBytes(path);

    std::string nowhere = file("no/such/folder/out.png");
    EXPECT_FALSE(writeImageFile(nowhere, image, info, error));
    EXPECT_EQ(error.rfind(nowhere + ": ", 0), 0u) << error;
    ImageFileInfo wrong = info;
    wrong.depth = 16;  // the image holds 8-bit samples
    EXPECT_FALSE(writeImageFile(path, image, wrong, error));
    EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
    EXPECT_FALSE(writeImageFile(folder.string(), image, info, error));
    EXPECT_EQ(fileBytes(path), before);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(ImageFileTest, SelectionFiles) {
    Pixels mask{6, 4, 1, 8, {}};
    for (int i = 0; i < 24; ++i) mask.values.push_back(uint16_t(i * 10));
    ASSERT_TRUE(saveTestImage(file("mask.png"), mask, VIPS_INTERPRETATION_B_W));
    std::vector<uint8_t> selection;
    ASSERT_TRUE(readSelectionFile(file("mask.png"), 6, 4, selection, error)) << error;
    EXPECT_EQ(selection, std::vector<uint8_t>(mask.values.begin(), mask.values.end()));
    EXPECT_FALSE(readSelectionFile(file("mask.png"), 4, 6, selection, error));
    EXPECT_EQ(error, file("mask.png") + ": the selection is 6 x 4 pixels but the image is 4 x 6");

    ASSERT_TRUE(saveTestImage(file("colour.png"), randomPixels(6, 4, 3, 8, 2), VIPS_INTERPRETATION_sRGB));
    ASSERT_TRUE(saveTestImage(file("deep.png"), randomPixels(6, 4, 1, 16, 2), VIPS_INTERPRETATION_GREY16));
    for (const char* name : {"colour.png", "deep.png", "absent.png"}) {
        EXPECT_FALSE(readSelectionFile(file(name), 6, 4, selection, error));
        EXPECT_EQ(error.rfind(file(name) + ": ", 0), 0u) << error;
    }
}
