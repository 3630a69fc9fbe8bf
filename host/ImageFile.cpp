#include "host/ImageFile.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vips/vips.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

namespace fs = std::filesystem;

constexpr int32_t kMaxHostSide = 30000;  // the host's limit on either side

bool gInitDone = false;
bool gInitOk = false;
std::string gInitError;

bool fail(std::string& error, const std::string& path, const std::string& reason) {
    error = path + ": " + reason;
    return false;
}

// libvips's pending error text as one line, then cleared.
std::string vipsReason(const char* fallback) {
    std::string text = vips_error_buffer();
    vips_error_clear();
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            if (!line.empty() && line.back() != ' ') line += "; ";
        } else {
            line += c;
        }
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == ';')) line.pop_back();
    return line.empty() ? std::string(fallback) : line;
}

// Owns one reference to a VipsImage.
struct ImageRef {
    VipsImage* image = nullptr;
    ImageRef() = default;
    ImageRef(const ImageRef&) = delete;
    ImageRef& operator=(const ImageRef&) = delete;
    ~ImageRef() {
        if (image) g_object_unref(image);
    }
};

// Which format a file holds, from its first bytes; false for anything else.
bool sniffFormat(const std::string& path, ImageFileFormat& format, std::string& error) {
    std::error_code ec;
    fs::file_status status = fs::status(fs::path(path), ec);
    if (ec || !fs::exists(status)) return fail(error, path, "no such file");
    if (fs::is_directory(status)) return fail(error, path, "is a folder, not an image file");
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in) return fail(error, path, std::string("cannot be opened (") + std::strerror(errno) + ")");
    unsigned char head[4] = {0, 0, 0, 0};
    in.read(reinterpret_cast<char*>(head), 4);
    size_t got = size_t(in.gcount());
    if (got >= 4 && ((head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) && head[3] == 0) ||
                     (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43)))) {
        format = ImageFileFormat::Tiff;
        return true;
    }
    if (got >= 4 && head[0] == 0x89 && head[1] == 'P' && head[2] == 'N' && head[3] == 'G') {
        format = ImageFileFormat::Png;
        return true;
    }
    if (got >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) {
        format = ImageFileFormat::Jpeg;
        return true;
    }
    if (got >= 2 && head[0] == 'P' && ((head[1] >= '1' && head[1] <= '6') || head[1] == 'f' || head[1] == 'F')) {
        format = ImageFileFormat::Pnm;
        return true;
    }
    if (got == 0) return fail(error, path, "the file is empty");
    return fail(error, path, "not a TIFF, PNG, JPEG or PNM image file");
}

// Opens the first page with the format's own loader, failing on damaged data
// rather than filling in grey.
bool openImage(const std::string& path, ImageFileFormat format, ImageRef& ref, std::string& error) {
    vips_error_clear();
    int result = -1;
    const char* p = path.c_str();
    switch (format) {
        case ImageFileFormat::Tiff:
            result = vips_tiffload(p, &ref.image, "fail_on", VIPS_FAIL_ON_ERROR, NULL);
            break;
        case ImageFileFormat::Png:
            result = vips_pngload(p, &ref.image, "fail_on", VIPS_FAIL_ON_ERROR, NULL);
            break;
        case ImageFileFormat::Jpeg:
            result = vips_jpegload(p, &ref.image, "fail_on", VIPS_FAIL_ON_ERROR, NULL);
            break;
        case ImageFileFormat::Pnm:
            result = vips_ppmload(p, &ref.image, "fail_on", VIPS_FAIL_ON_ERROR, NULL);
            break;
    }
    if (result != 0 || !ref.image) {
        return fail(error, path,
                    std::string("cannot be read as ") + imageFileFormatName(format) + " (" +
                        vipsReason("damaged or truncated file") + ")");
    }
    return true;
}

const char* sampleFormatName(VipsBandFormat f) {
    switch (f) {
        case VIPS_FORMAT_UCHAR:
            return "8-bit unsigned";
        case VIPS_FORMAT_CHAR:
            return "8-bit signed";
        case VIPS_FORMAT_USHORT:
            return "16-bit unsigned";
        case VIPS_FORMAT_SHORT:
            return "16-bit signed";
        case VIPS_FORMAT_UINT:
            return "32-bit unsigned";
        case VIPS_FORMAT_INT:
            return "32-bit signed";
        case VIPS_FORMAT_FLOAT:
            return "32-bit floating point";
        case VIPS_FORMAT_DOUBLE:
            return "64-bit floating point";
        default:
            return "complex";
    }
}

// Decodes all pixels into memory; false with libvips's reason (a truncated or
// damaged file shows here, as decoding is lazy).
bool decodePixels(VipsImage* image, const std::string& path, std::vector<uint8_t>& out, std::string& error) {
    vips_error_clear();
    size_t size = 0;
    void* data = vips_image_write_to_memory(image, &size);
    if (!data) return fail(error, path, "cannot be decoded (" + vipsReason("damaged file") + ")");
    size_t expected = VIPS_IMAGE_SIZEOF_IMAGE(image);
    if (size != expected) {
        g_free(data);
        return fail(error, path, "decoded to an unexpected number of bytes");
    }
    out.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
    g_free(data);
    return true;
}

std::vector<uint8_t> blobOf(VipsImage* image, const char* name) {
    const void* data = nullptr;
    size_t length = 0;
    if (vips_image_get_typeof(image, name) == 0 || vips_image_get_blob(image, name, &data, &length) != 0 || !data) {
        vips_error_clear();
        return {};
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + length);
}

void setBlob(VipsImage* image, const char* name, const std::vector<uint8_t>& bytes) {
    if (!bytes.empty()) vips_image_set_blob_copy(image, name, bytes.data(), bytes.size());
}

bool isRgbInterpretation(VipsInterpretation t) {
    return t == VIPS_INTERPRETATION_sRGB || t == VIPS_INTERPRETATION_RGB || t == VIPS_INTERPRETATION_RGB16;
}

const char* modeDescription(VipsInterpretation t, int bands) {
    if (t == VIPS_INTERPRETATION_B_W || t == VIPS_INTERPRETATION_GREY16 || bands < 3) return "greyscale";
    if (t == VIPS_INTERPRETATION_LAB || t == VIPS_INTERPRETATION_LABQ || t == VIPS_INTERPRETATION_LABS) return "Lab";
    if (t == VIPS_INTERPRETATION_CMYK) return "CMYK without four colour channels";
    return "neither RGB nor CMYK";
}

// A fresh name in target's folder for the bytes that become target; the file
// is created empty so that no one else takes the name.
bool makeTemporaryFile(const fs::path& target, std::string& temporary) {
    fs::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) return false;
    close(fd);
    temporary = name.data();
    return true;
}

// The permissions the result should have: those of the file it replaces, or
// what a new file gets under the process's umask.
void settlePermissions(const std::string& temporary, const fs::path& target) {
    struct stat existing;
    mode_t mode;
    if (stat(target.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    chmod(temporary.c_str(), mode);
}

// TIFF, PNG or JPEG through libvips, with the metadata of info.
bool saveWithVips(const std::string& file, const std::vector<uint16_t>& values, int32_t width, int32_t height,
                  int bands, const ImageFileInfo& info, std::string& reason) {
    std::vector<uint8_t> raw(values.size() * (info.depth == 16 ? 2 : 1));
    if (info.depth == 16) {
        std::memcpy(raw.data(), values.data(), raw.size());  // libvips takes machine order
    } else {
        for (size_t i = 0; i < values.size(); ++i) raw[i] = uint8_t(values[i]);
    }
    vips_error_clear();
    ImageRef memory;
    memory.image = vips_image_new_from_memory_copy(raw.data(), raw.size(), width, height, bands,
                                                   info.depth == 16 ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR);
    VipsInterpretation type = info.cmyk          ? VIPS_INTERPRETATION_CMYK
                              : info.depth == 16 ? VIPS_INTERPRETATION_RGB16
                                                 : VIPS_INTERPRETATION_sRGB;
    ImageRef out;
    double xres = info.xResolution > 0 ? info.xResolution : 1.0;
    double yres = info.yResolution > 0 ? info.yResolution : 1.0;
    if (!memory.image ||
        vips_copy(memory.image, &out.image, "interpretation", type, "xres", xres, "yres", yres, NULL) != 0) {
        reason = vipsReason("out of memory");
        return false;
    }
    VipsImage* image = out.image;
    setBlob(image, VIPS_META_ICC_NAME, info.iccProfile);
    setBlob(image, VIPS_META_EXIF_NAME, info.exif);
    setBlob(image, VIPS_META_XMP_NAME, info.xmp);
    setBlob(image, VIPS_META_IPTC_NAME, info.iptc);
    setBlob(image, VIPS_META_PHOTOSHOP_NAME, info.photoshop);
    if (!info.resolutionUnit.empty()) {
        vips_image_set_string(image, VIPS_META_RESOLUTION_UNIT, info.resolutionUnit.c_str());
    }
    if (info.orientation >= 1 && info.orientation <= 8) {
        vips_image_set_int(image, VIPS_META_ORIENTATION, info.orientation);
    }

    const char* p = file.c_str();
    int result = -1;
    switch (info.format) {
        case ImageFileFormat::Tiff: {
            VipsForeignTiffResunit unit =
                info.resolutionUnit == "in" ? VIPS_FOREIGN_TIFF_RESUNIT_INCH : VIPS_FOREIGN_TIFF_RESUNIT_CM;
            result = vips_tiffsave(image, p, "compression", VIPS_FOREIGN_TIFF_COMPRESSION_LZW, "resunit", unit, NULL);
            break;
        }
        case ImageFileFormat::Png:
            result = vips_pngsave(image, p, NULL);
            break;
        case ImageFileFormat::Jpeg: {
            int quality = info.jpegQuality < 1 ? 1 : info.jpegQuality > 100 ? 100 : info.jpegQuality;
            result = vips_jpegsave(image, p, "Q", quality, NULL);
            break;
        }
        case ImageFileFormat::Pnm:
            break;
    }
    if (result != 0) {
        reason = vipsReason("the file could not be written");
        return false;
    }
    return true;
}

// PNM samples run 0..maxValue; the host expects the depth's full range.
void scaleToFullRange(std::vector<uint8_t>& raw, int depth, uint32_t maxValue) {
    uint32_t full = depth == 16 ? 65535u : 255u;
    auto scale = [&](uint32_t v) { return v >= maxValue ? full : (v * full + maxValue / 2) / maxValue; };
    if (depth == 8) {
        for (uint8_t& b : raw) b = uint8_t(scale(b));
        return;
    }
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
        uint16_t v;
        std::memcpy(&v, &raw[i], 2);
        v = uint16_t(scale(v));
        std::memcpy(&raw[i], &v, 2);
    }
}

// Binary PNM (P6) written here rather than by libvips, whose header carries
// the time of writing: the same image must always give the same bytes.
bool writePnm(const std::string& file, const std::vector<uint16_t>& values, int32_t width, int32_t height, int depth,
              int maxValue) {
    uint32_t full = depth == 16 ? 65535u : 255u;
    uint32_t max = maxValue > 0 && uint32_t(maxValue) < full ? uint32_t(maxValue) : full;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << "P6\n" << width << " " << height << "\n" << max << "\n";
    std::vector<uint8_t> row;
    size_t rowValues = size_t(width) * 3;
    for (int32_t y = 0; y < height; ++y) {
        row.clear();
        for (size_t i = 0; i < rowValues; ++i) {
            uint32_t v = values[size_t(y) * rowValues + i];
            if (max != full) v = (v * max + full / 2) / full;
            if (depth == 16) row.push_back(uint8_t(v >> 8));  // most significant byte first
            row.push_back(uint8_t(v));
        }
        out.write(reinterpret_cast<const char*>(row.data()), std::streamsize(row.size()));
    }
    out.flush();
    return bool(out);
}

}  // namespace

const char* imageFileFormatName(ImageFileFormat format) {
    switch (format) {
        case ImageFileFormat::Tiff:
            return "TIFF";
        case ImageFileFormat::Png:
            return "PNG";
        case ImageFileFormat::Jpeg:
            return "JPEG";
        case ImageFileFormat::Pnm:
            return "PNM";
    }
    return "image";
}

bool initImageFiles(const char* programName, std::string& error) {
    if (!gInitDone) {
        gInitDone = true;
        if (VIPS_INIT(programName ? programName : "crispcalm") != 0) {
            gInitError = "libvips cannot start (" + vipsReason("unknown reason") + ")";
        } else {
            // Without the operation cache a file rewritten in place is read
            // again rather than served from memory.
            vips_cache_set_max(0);
            gInitOk = true;
        }
    }
    if (!gInitOk) error = gInitError;
    return gInitOk;
}

bool readImageFile(const std::string& path, HostImage& image, ImageFileInfo& info, std::string& error) {
    if (!initImageFiles(nullptr, error)) return false;
    ImageFileInfo read;
    if (!sniffFormat(path, read.format, error)) return false;
    ImageRef ref;
    if (!openImage(path, read.format, ref, error)) return false;
    VipsImage* in = ref.image;

    VipsBandFormat bandFormat = in->BandFmt;
    if (bandFormat != VIPS_FORMAT_UCHAR && bandFormat != VIPS_FORMAT_USHORT) {
        return fail(
            error, path,
            std::string("has ") + sampleFormatName(bandFormat) + " samples; 8 or 16 bits per channel are needed");
    }
    read.depth = bandFormat == VIPS_FORMAT_USHORT ? 16 : 8;
    int bands = in->Bands;
    VipsInterpretation type = in->Type;
    int planes = 0;
    if (type == VIPS_INTERPRETATION_CMYK && bands >= 4) {
        read.cmyk = true;
        planes = 4;
    } else if (isRgbInterpretation(type) && bands >= 3) {
        planes = 3;
    } else {
        return fail(error, path,
                    std::string(kImageModeMessage) + " (the file is " + modeDescription(type, bands) + ")");
    }
    read.extraChannels = bands - planes;

    int32_t width = in->Xsize, height = in->Ysize;
    if (width > kMaxHostSide || height > kMaxHostSide) {
        return fail(error, path,
                    "is " + std::to_string(width) + " x " + std::to_string(height) +
                        " pixels; the host takes at most 30000 pixels on either side");
    }
    int fullValue = read.depth == 16 ? 65535 : 255;
    int maxValue = 0;
    if (read.format == ImageFileFormat::Pnm && vips_image_get_typeof(in, "ppm-max-value") != 0 &&
        vips_image_get_int(in, "ppm-max-value", &maxValue) == 0 && maxValue > 0 && maxValue < fullValue) {
        read.pnmMaxValue = maxValue;
    }
    std::vector<uint8_t> raw;
    if (!decodePixels(in, path, raw, error)) return false;
    if (read.pnmMaxValue > 0) scaleToFullRange(raw, read.depth, uint32_t(read.pnmMaxValue));
    HostImage result;
    if (!makeHostImage(result, width, height, planes, read.depth)) {
        return fail(error, path, "too large for the memory available");
    }

    size_t pixels = size_t(width) * size_t(height);
    read.extraSamples.assign(pixels * size_t(read.extraChannels), 0);
    uint16_t* extra = read.extraSamples.data();
    uint16_t* colour = result.samples.data();
    if (read.depth == 8) {
        const uint8_t* s = raw.data();
        for (size_t i = 0; i < pixels; ++i) {
            for (int b = 0; b < planes; ++b, ++s) *colour++ = read.cmyk ? uint16_t(255 - *s) : *s;
            for (int b = planes; b < bands; ++b, ++s) *extra++ = *s;
        }
    } else {
        const uint8_t* s = raw.data();
        for (size_t i = 0; i < pixels; ++i) {
            for (int b = 0; b < bands; ++b, s += 2) {
                uint16_t v;
                std::memcpy(&v, s, 2);  // libvips keeps samples in machine order
                if (b >= planes) {
                    *extra++ = v;
                } else {
                    *colour++ = fileToHost16(read.cmyk ? uint16_t(65535 - v) : v);
                }
            }
        }
    }

    read.iccProfile = blobOf(in, VIPS_META_ICC_NAME);
    read.exif = blobOf(in, VIPS_META_EXIF_NAME);
    read.xmp = blobOf(in, VIPS_META_XMP_NAME);
    read.iptc = blobOf(in, VIPS_META_IPTC_NAME);
    read.photoshop = blobOf(in, VIPS_META_PHOTOSHOP_NAME);
    read.xResolution = in->Xres;
    read.yResolution = in->Yres;
    const char* unit = nullptr;
    if (vips_image_get_typeof(in, VIPS_META_RESOLUTION_UNIT) != 0 &&
        vips_image_get_string(in, VIPS_META_RESOLUTION_UNIT, &unit) == 0 && unit) {
        read.resolutionUnit = unit;
    }
    int orientation = 0;
    if (vips_image_get_typeof(in, VIPS_META_ORIENTATION) != 0 &&
        vips_image_get_int(in, VIPS_META_ORIENTATION, &orientation) == 0) {
        read.orientation = orientation;
    }
    vips_error_clear();

    image = std::move(result);
    info = std::move(read);
    return true;
}

bool writeImageFile(const std::string& path, const HostImage& image, const ImageFileInfo& info, std::string& error) {
    if (!initImageFiles(nullptr, error)) return false;
    if (path.empty()) return fail(error, path, "no file name given");
    int planes = info.cmyk ? 4 : 3;
    if (info.depth != 8 && info.depth != 16) return fail(error, path, "only 8 or 16 bits per channel can be written");
    if (info.format == ImageFileFormat::Jpeg && info.depth != 8) {
        return fail(error, path, "JPEG files hold 8 bits per channel only");
    }
    if ((info.format == ImageFileFormat::Png || info.format == ImageFileFormat::Pnm) && info.cmyk) {
        return fail(error, path, std::string(imageFileFormatName(info.format)) + " files cannot hold CMYK");
    }
    if ((info.format == ImageFileFormat::Pnm || info.format == ImageFileFormat::Jpeg) && info.extraChannels > 0) {
        return fail(error, path, std::string(imageFileFormatName(info.format)) + " files cannot hold an alpha channel");
    }
    if (image.width < 1 || image.height < 1 || image.planes != planes || image.depth != info.depth) {
        return fail(error, path, "the image does not match the file's depth and colour mode");
    }
    size_t pixels = size_t(image.width) * size_t(image.height);
    int extraChannels = info.extraChannels < 0 ? 0 : info.extraChannels;
    if (image.samples.size() != pixels * size_t(planes) || info.extraSamples.size() != pixels * size_t(extraChannels)) {
        return fail(error, path, "the image's sample count does not match its size");
    }

    // The file's values, all bands interleaved: colour channels back from the
    // host's conventions, extra channels as they were read.
    int bands = planes + extraChannels;
    std::vector<uint16_t> values(pixels * size_t(bands));
    const uint16_t* colour = image.samples.data();
    const uint16_t* extra = info.extraSamples.data();
    uint16_t full = info.depth == 16 ? 65535 : 255;
    for (size_t i = 0, at = 0; i < pixels; ++i) {
        for (int b = 0; b < planes; ++b) {
            uint16_t h = *colour++;
            uint16_t v = info.depth == 16 ? hostToFile16(h > 32768 ? 32768 : h) : (h > 255 ? 255 : h);
            values[at++] = info.cmyk ? uint16_t(full - v) : v;
        }
        for (int b = 0; b < extraChannels; ++b) {
            uint16_t v = *extra++;
            values[at++] = v > full ? full : v;
        }
    }

    fs::path target(path);
    std::error_code ec;
    if (fs::is_directory(target, ec)) return fail(error, path, "is a folder");
    std::string temporary;
    if (!makeTemporaryFile(target, temporary)) {
        return fail(error, path, std::string("cannot create a file in its folder (") + std::strerror(errno) + ")");
    }
    bool saved;
    std::string reason;
    if (info.format == ImageFileFormat::Pnm) {
        saved = writePnm(temporary, values, image.width, image.height, info.depth, info.pnmMaxValue);
        if (!saved) reason = std::strerror(errno);
    } else {
        saved = saveWithVips(temporary, values, image.width, image.height, bands, info, reason);
    }
    if (!saved) {
        std::remove(temporary.c_str());
        return fail(error, path,
                    "cannot be written as " + std::string(imageFileFormatName(info.format)) + " (" + reason + ")");
    }
    settlePermissions(temporary, target);
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        reason = std::strerror(errno);
        std::remove(temporary.c_str());
        return fail(error, path, "cannot be replaced (" + reason + ")");
    }
    return true;
}

bool readSelectionFile(const std::string& path, int32_t width, int32_t height, std::vector<uint8_t>& selection,
                       std::string& error) {
    if (!initImageFiles(nullptr, error)) return false;
    ImageFileFormat format;
    if (!sniffFormat(path, format, error)) return false;
    ImageRef ref;
    if (!openImage(path, format, ref, error)) return false;
    VipsImage* in = ref.image;
    if (in->Bands != 1 || in->BandFmt != VIPS_FORMAT_UCHAR) {
        return fail(error, path,
                    "a selection must be an 8-bit greyscale image; this one has " + std::to_string(in->Bands) +
                        " channel(s) of " + sampleFormatName(in->BandFmt) + " samples");
    }
    if (in->Xsize != width || in->Ysize != height) {
        return fail(error, path,
                    "the selection is " + std::to_string(in->Xsize) + " x " + std::to_string(in->Ysize) +
                        " pixels but the image is " + std::to_string(width) + " x " + std::to_string(height));
    }
    std::vector<uint8_t> raw;
    if (!decodePixels(in, path, raw, error)) return false;
    selection = std::move(raw);
    return true;
}
