#include "host/ImageFile.h"

#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vips/vips.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
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
// rather than filling in grey. The pixels are read once, top to bottom:
// sequential access lets the loader decode straight from the file, where
// random access would first decode the whole image into memory or, for large
// images, a temporary file.
bool openImage(const std::string& path, ImageFileFormat format, ImageRef& ref, std::string& error) {
    vips_error_clear();
    int result = -1;
    const char* p = path.c_str();
    const VipsFailOn failOn = VIPS_FAIL_ON_ERROR;
    const VipsAccess access = VIPS_ACCESS_SEQUENTIAL;
    switch (format) {
        case ImageFileFormat::Tiff:
            result = vips_tiffload(p, &ref.image, "fail_on", failOn, "access", access, NULL);
            break;
        case ImageFileFormat::Png:
            result = vips_pngload(p, &ref.image, "fail_on", failOn, "access", access, NULL);
            break;
        case ImageFileFormat::Jpeg:
            result = vips_jpegload(p, &ref.image, "fail_on", failOn, "access", access, NULL);
            break;
        case ImageFileFormat::Pnm:
            result = vips_ppmload(p, &ref.image, "fail_on", failOn, "access", access, NULL);
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

// Rows handed over at a time: at most 64 KB, or one row. Small bands stay in
// the cache between decoding and converting, and keep libvips's working
// buffers small enough to be reused from the heap rather than mapped (and
// faulted in) afresh for every band.
constexpr size_t kBandBytes = size_t(64) << 10;

// Decodes the image top to bottom a band of rows at a time, handing each band
// to take(rows, firstRow, rowCount, rowStride) while it is still in the cache.
// False with libvips's reason: a truncated or damaged file shows here, as
// decoding is lazy.
template <typename Take>
bool readRows(VipsImage* image, const std::string& path, std::string& error, Take&& take) {
    vips_error_clear();
    VipsRegion* region = vips_region_new(image);
    if (!region) return fail(error, path, "cannot be decoded (" + vipsReason("out of memory") + ")");
    const int32_t width = image->Xsize, height = image->Ysize;
    const size_t rowBytes = VIPS_IMAGE_SIZEOF_LINE(image);
    const int32_t step = int32_t(std::max<size_t>(1, std::min<size_t>(kBandBytes / rowBytes, size_t(height))));
    bool ok = true;
    for (int32_t y = 0; y < height; y += step) {
        VipsRect rect = {0, y, width, std::min(step, height - y)};
        if (vips_region_prepare(region, &rect) != 0) {
            ok = false;
            break;
        }
        take(reinterpret_cast<const uint8_t*>(VIPS_REGION_ADDR(region, 0, y)), y, rect.height,
             size_t(VIPS_REGION_LSKIP(region)));
    }
    g_object_unref(region);
    if (!ok) return fail(error, path, "cannot be decoded (" + vipsReason("damaged file") + ")");
    return true;
}

// Asks for a large buffer about to be filled to be backed by huge pages,
// where the kernel offers them on request: 144 MB of pixels otherwise take
// some 35,000 page faults, which cost more than decoding them. Only a hint;
// nothing changes when the kernel declines.
void adviseHugePages(const void* data, size_t bytes) {
    const uintptr_t page = uintptr_t(2) << 20;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(data) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(page - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

// The host value of every file value of the colour channels: a PNM's own
// range stretched to the full range, CMYK ink turned into the host's
// full-means-no-ink, 16 bits brought to 0..32768. One lookup per sample.
std::vector<uint16_t> colourTable(int depth, bool cmyk, int pnmMaxValue) {
    const uint32_t full = depth == 16 ? 65535u : 255u;
    const uint32_t max = pnmMaxValue > 0 ? uint32_t(pnmMaxValue) : full;
    std::vector<uint16_t> table(full + 1);
    for (uint32_t v = 0; v <= full; ++v) {
        uint32_t x = v;
        if (max != full) x = v >= max ? full : (v * full + max / 2) / max;
        if (cmyk) x = full - x;
        table[v] = depth == 16 ? fileToHost16(uint16_t(x)) : uint16_t(x);
    }
    return table;
}

// Converts rows of interleaved file samples (T: uint8_t or uint16_t) into the
// host's colour samples and the extra channels kept aside. Without extra
// channels a row is one run of colour samples.
template <typename T, int Planes>
void takeRows(const uint8_t* rows, int32_t count, size_t stride, int32_t width, int extra, const uint16_t* table,
              uint16_t* colour, uint16_t* extraOut) {
    const size_t colourPerRow = size_t(width) * Planes;
    for (int32_t r = 0; r < count; ++r) {
        const T* s = reinterpret_cast<const T*>(rows + size_t(r) * stride);
        if (extra == 0) {
            for (size_t i = 0; i < colourPerRow; ++i) colour[i] = table[s[i]];
            colour += colourPerRow;
            continue;
        }
        for (int32_t x = 0; x < width; ++x) {
            for (int b = 0; b < Planes; ++b) *colour++ = table[*s++];
            for (int b = 0; b < extra; ++b) *extraOut++ = *s++;
        }
    }
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

// A file sample from a host sample: back from the host's conventions and
// clamped to its range (CMYK: ink amounts again).
template <typename T, bool Cmyk>
inline T fileValue(uint16_t h) {
    constexpr bool kWide = sizeof(T) == 2;
    constexpr uint32_t kFull = kWide ? 65535u : 255u;
    uint32_t v = kWide ? hostToFile16(h > 32768 ? 32768 : h) : (h > 255 ? 255 : h);
    return T(Cmyk ? kFull - v : v);
}

// Colour samples only. Blocks of a fixed size let the compiler use vector
// instructions.
template <typename T, bool Cmyk>
void encodeColours(const uint16_t* __restrict from, T* __restrict to, size_t n) {
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        for (size_t k = 0; k < 16; ++k) to[i + k] = fileValue<T, Cmyk>(from[i + k]);
    }
    for (; i < n; ++i) to[i] = fileValue<T, Cmyk>(from[i]);
}

// The file's samples for a run of pixels, all bands interleaved: colour
// channels from the host's, extra channels as they were read (within the
// depth's range).
template <typename T, bool Cmyk>
void encodeRun(const uint16_t* colour, const uint16_t* extras, size_t pixels, int extra, T* out) {
    constexpr uint32_t kFull = sizeof(T) == 2 ? 65535u : 255u;
    constexpr int kPlanes = Cmyk ? 4 : 3;
    if (extra == 0) {
        encodeColours<T, Cmyk>(colour, out, pixels * kPlanes);
        return;
    }
    for (size_t i = 0; i < pixels; ++i) {
        for (int b = 0; b < kPlanes; ++b) *out++ = fileValue<T, Cmyk>(*colour++);
        for (int b = 0; b < extra; ++b) {
            uint16_t v = *extras++;
            *out++ = T(v > kFull ? kFull : v);
        }
    }
}

// Binary PNM (P6) written here rather than by libvips, whose header carries
// the time of writing: the same image must always give the same bytes.
template <typename T>
bool writePnm(const std::string& file, const HostImage& image, int maxValue) {
    const uint32_t full = sizeof(T) == 2 ? 65535u : 255u;
    const uint32_t max = maxValue > 0 && uint32_t(maxValue) < full ? uint32_t(maxValue) : full;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << "P6\n" << image.width << " " << image.height << "\n" << max << "\n";
    const size_t rowValues = size_t(image.width) * 3;
    std::vector<T> values(rowValues);
    std::vector<uint8_t> row(rowValues * sizeof(T));
    for (int32_t y = 0; y < image.height; ++y) {
        encodeRun<T, false>(image.samples.data() + size_t(y) * rowValues, nullptr, size_t(image.width), 0,
                            values.data());
        uint8_t* d = row.data();
        for (size_t i = 0; i < rowValues; ++i) {
            uint32_t v = values[i];
            if (max != full) v = (v * max + full / 2) / full;
            if (sizeof(T) == 2) *d++ = uint8_t(v >> 8);  // most significant byte first
            *d++ = uint8_t(v);
        }
        out.write(reinterpret_cast<const char*>(row.data()), std::streamsize(row.size()));
    }
    out.flush();
    return bool(out);
}

// What an image being written is encoded from.
struct EncodeSource {
    const HostImage* image;
    const ImageFileInfo* info;
    int extra;  // extra channels
};

// Fills the part of the file's image that libvips asks for straight from the
// host image: the samples are encoded as the writer goes, by libvips's worker
// threads, and no copy of the whole image is ever made.
template <typename T, bool Cmyk>
int generateFileSamples(VipsRegion* region, void*, void* a, void*, gboolean*) {
    const EncodeSource& source = *static_cast<const EncodeSource*>(a);
    const VipsRect& r = region->valid;
    const size_t width = size_t(source.image->width);
    const size_t planes = Cmyk ? 4 : 3;
    for (int y = r.top; y < r.top + r.height; ++y) {
        const size_t first = size_t(y) * width + size_t(r.left);
        encodeRun<T, Cmyk>(source.image->samples.data() + first * planes,
                           source.info->extraSamples.data() + first * size_t(source.extra), size_t(r.width),
                           source.extra, reinterpret_cast<T*>(VIPS_REGION_ADDR(region, r.left, y)));
    }
    return 0;
}

// libvips's compression for a TIFF stored with the given Compression tag.
// JPEG and WebP hold 8 bits per channel only (libvips would quietly write a
// 16-bit image as 8 bits), so deeper images take LZW, as anything libvips
// cannot write does.
VipsForeignTiffCompression tiffCompressionFor(uint16_t tag, int depth) {
    switch (tag) {
        case 1:
            return VIPS_FOREIGN_TIFF_COMPRESSION_NONE;
        case 5:
            return VIPS_FOREIGN_TIFF_COMPRESSION_LZW;
        case 8:
        case 32946:  // deflate's older number
            return VIPS_FOREIGN_TIFF_COMPRESSION_DEFLATE;
        case 32773:
            return VIPS_FOREIGN_TIFF_COMPRESSION_PACKBITS;
        case 6:  // JPEG's older scheme, written with the current one
        case 7:
            return depth == 8 ? VIPS_FOREIGN_TIFF_COMPRESSION_JPEG : VIPS_FOREIGN_TIFF_COMPRESSION_LZW;
        case 50000:
            return VIPS_FOREIGN_TIFF_COMPRESSION_ZSTD;
        case 50001:
            return depth == 8 ? VIPS_FOREIGN_TIFF_COMPRESSION_WEBP : VIPS_FOREIGN_TIFF_COMPRESSION_LZW;
        default:
            return VIPS_FOREIGN_TIFF_COMPRESSION_LZW;
    }
}

// The predictor to write: the file's own when it was compressed the same way,
// else libvips's usual horizontal differencing. The floating-point predictor
// does not apply to integer samples.
VipsForeignTiffPredictor tiffPredictorFor(const TiffStorage& storage, VipsForeignTiffCompression written) {
    bool same = (written == VIPS_FOREIGN_TIFF_COMPRESSION_LZW && storage.compression == 5) ||
                (written == VIPS_FOREIGN_TIFF_COMPRESSION_DEFLATE &&
                 (storage.compression == 8 || storage.compression == 32946)) ||
                (written == VIPS_FOREIGN_TIFF_COMPRESSION_ZSTD && storage.compression == 50000);
    if (same && storage.predictor == 1) return VIPS_FOREIGN_TIFF_PREDICTOR_NONE;
    return VIPS_FOREIGN_TIFF_PREDICTOR_HORIZONTAL;
}

// TIFF, PNG or JPEG through libvips, with the metadata of info.
bool saveWithVips(const std::string& file, const HostImage& host, const ImageFileInfo& info, int extra,
                  std::string& reason) {
    const bool wide = info.depth == 16;
    VipsGenerateFn generate =
        wide ? (info.cmyk ? generateFileSamples<uint16_t, true> : generateFileSamples<uint16_t, false>)
             : (info.cmyk ? generateFileSamples<uint8_t, true> : generateFileSamples<uint8_t, false>);
    EncodeSource source{&host, &info, extra};
    VipsInterpretation type = info.cmyk ? VIPS_INTERPRETATION_CMYK
                              : wide    ? VIPS_INTERPRETATION_RGB16
                                        : VIPS_INTERPRETATION_sRGB;
    double xres = info.xResolution > 0 ? info.xResolution : 1.0;
    double yres = info.yResolution > 0 ? info.yResolution : 1.0;
    vips_error_clear();
    ImageRef out;
    out.image = vips_image_new();
    if (!out.image) {
        reason = vipsReason("out of memory");
        return false;
    }
    vips_image_init_fields(out.image, host.width, host.height, host.planes + extra,
                           wide ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR, VIPS_CODING_NONE, type, xres, yres);
    if (vips_image_pipelinev(out.image, VIPS_DEMAND_STYLE_THINSTRIP, NULL) != 0 ||
        vips_image_generate(out.image, nullptr, generate, nullptr, &source, nullptr) != 0) {
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
    const int quality = info.jpegQuality < 1 ? 1 : info.jpegQuality > 100 ? 100 : info.jpegQuality;
    int result = -1;
    switch (info.format) {
        case ImageFileFormat::Tiff: {
            VipsForeignTiffResunit unit =
                info.resolutionUnit == "in" ? VIPS_FOREIGN_TIFF_RESUNIT_INCH : VIPS_FOREIGN_TIFF_RESUNIT_CM;
            VipsForeignTiffCompression compression = tiffCompressionFor(info.tiff.compression, info.depth);
            result = vips_tiffsave(image, p, "compression", compression, "predictor",
                                   tiffPredictorFor(info.tiff, compression), "Q", quality, "bigtiff",
                                   info.tiff.bigTiff ? TRUE : FALSE, "resunit", unit, NULL);
            break;
        }
        case ImageFileFormat::Png:
            result = vips_pngsave(image, p, NULL);
            break;
        case ImageFileFormat::Jpeg: {
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

// Reads an unsigned integer of the given size at at, in the file's byte order.
uint64_t readUnsigned(const uint8_t* at, int size, bool bigEndian) {
    uint64_t value = 0;
    for (int i = 0; i < size; ++i) {
        uint64_t byte = at[bigEndian ? i : size - 1 - i];
        value = (value << 8) | byte;
    }
    return value;
}

// size bytes from offset of the file, or false when they are not all there.
bool readAt(std::ifstream& in, uint64_t offset, size_t size, std::vector<uint8_t>& bytes) {
    bytes.resize(size);
    in.clear();
    in.seekg(std::streamoff(offset));
    if (!in) return false;
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size));
    return size_t(in.gcount()) == size;
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
    if (read.format == ImageFileFormat::Tiff && !readTiffStorage(path, read.tiff, error)) return false;
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
    // The samples' memory is reserved first so that it can take huge pages
    // before makeHostImage fills it.
    const size_t pixels = size_t(width) * size_t(height);
    HostImage result;
    try {
        result.samples.reserve(pixels * size_t(planes));
    } catch (const std::bad_alloc&) {
        return fail(error, path, "too large for the memory available");
    }
    adviseHugePages(result.samples.data(), pixels * size_t(planes) * sizeof(uint16_t));
    if (!makeHostImage(result, width, height, planes, read.depth)) {
        return fail(error, path, "too large for the memory available");
    }
    const int extra = read.extraChannels;
    try {
        read.extraSamples.resize(pixels * size_t(extra));
    } catch (const std::bad_alloc&) {
        return fail(error, path, "too large for the memory available");
    }

    // Straight from libvips's decoded rows into the host image, one pass.
    const std::vector<uint16_t> table = colourTable(read.depth, read.cmyk, read.pnmMaxValue);
    const bool wide = read.depth == 16;
    auto take = [&](const uint8_t* rows, int32_t y, int32_t count, size_t stride) {
        uint16_t* colour = result.samples.data() + size_t(y) * size_t(width) * size_t(planes);
        uint16_t* extraOut = read.extraSamples.data() + size_t(y) * size_t(width) * size_t(extra);
        if (wide && planes == 3) {
            takeRows<uint16_t, 3>(rows, count, stride, width, extra, table.data(), colour, extraOut);
        } else if (wide) {
            takeRows<uint16_t, 4>(rows, count, stride, width, extra, table.data(), colour, extraOut);
        } else if (planes == 3) {
            takeRows<uint8_t, 3>(rows, count, stride, width, extra, table.data(), colour, extraOut);
        } else {
            takeRows<uint8_t, 4>(rows, count, stride, width, extra, table.data(), colour, extraOut);
        }
    };
    if (!readRows(in, path, error, take)) return false;

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
        saved = info.depth == 16 ? writePnm<uint16_t>(temporary, image, info.pnmMaxValue)
                                 : writePnm<uint8_t>(temporary, image, info.pnmMaxValue);
        if (!saved) reason = std::strerror(errno);
    } else {
        saved = saveWithVips(temporary, image, info, extraChannels, reason);
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
    std::vector<uint8_t> rows;
    rows.reserve(size_t(width) * size_t(height));
    auto take = [&](const uint8_t* band, int32_t, int32_t count, size_t stride) {
        for (int32_t r = 0; r < count; ++r)
            rows.insert(rows.end(), band + size_t(r) * stride, band + size_t(r) * stride + size_t(width));
    };
    if (!readRows(in, path, error, take)) return false;
    selection = std::move(rows);
    return true;
}

bool readTiffStorage(const std::string& path, TiffStorage& storage, std::string& error) {
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in) return fail(error, path, std::string("cannot be opened (") + std::strerror(errno) + ")");
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (end < 0) return fail(error, path, "cannot be read");
    const uint64_t size = uint64_t(end);
    auto damaged = [&](const char* why) { return fail(error, path, std::string("damaged TIFF file (") + why + ")"); };

    // Header: byte order, 42 (classic) or 43 (BigTIFF), the first directory's offset.
    std::vector<uint8_t> bytes;
    if (!readAt(in, 0, size >= 16 ? 16 : size_t(size), bytes) || bytes.size() < 8) {
        return damaged("shorter than a TIFF header");
    }
    bool bigEndian;
    if (bytes[0] == 'I' && bytes[1] == 'I') {
        bigEndian = false;
    } else if (bytes[0] == 'M' && bytes[1] == 'M') {
        bigEndian = true;
    } else {
        return damaged("no byte order mark");
    }
    const uint64_t version = readUnsigned(&bytes[2], 2, bigEndian);
    TiffStorage found;
    uint64_t directory = 0;
    if (version == 42) {
        directory = readUnsigned(&bytes[4], 4, bigEndian);
    } else if (version == 43) {
        found.bigTiff = true;
        if (bytes.size() < 16) return damaged("shorter than a BigTIFF header");
        if (readUnsigned(&bytes[4], 2, bigEndian) != 8 || readUnsigned(&bytes[6], 2, bigEndian) != 0) {
            return damaged("BigTIFF offsets are not 8 bytes");
        }
        directory = readUnsigned(&bytes[8], 8, bigEndian);
    } else {
        return damaged("unknown TIFF version");
    }

    // First directory: an entry count, then entries of tag, type, value count
    // and the value itself when it fits in the entry.
    const size_t countSize = found.bigTiff ? 8 : 2;
    const size_t entrySize = found.bigTiff ? 20 : 12;
    const size_t valueAt = found.bigTiff ? 12 : 8;
    const size_t countAt = 4;
    const int countBytes = found.bigTiff ? 8 : 4;
    if (directory < 8 || directory > size || size - directory < countSize) {
        return damaged("the first directory lies outside the file");
    }
    if (!readAt(in, directory, countSize, bytes)) return damaged("the first directory cannot be read");
    const uint64_t entries = readUnsigned(bytes.data(), int(countSize), bigEndian);
    if (entries > 65535 || entries > (size - directory - countSize) / entrySize) {
        return damaged("the first directory runs past the end of the file");
    }
    if (!readAt(in, directory + countSize, size_t(entries) * entrySize, bytes)) {
        return damaged("the first directory cannot be read");
    }
    found.compression = 1;  // the values TIFF implies when the tags are absent
    found.predictor = 1;
    for (size_t i = 0; i < size_t(entries); ++i) {
        const uint8_t* entry = &bytes[i * entrySize];
        const uint64_t tag = readUnsigned(entry, 2, bigEndian);
        if (tag != 259 && tag != 317) continue;
        const uint64_t type = readUnsigned(entry + 2, 2, bigEndian);
        const uint64_t valueCount = readUnsigned(entry + countAt, countBytes, bigEndian);
        // One BYTE, SHORT or LONG, stored at the start of the value field.
        const int valueSize = type == 1 ? 1 : type == 3 ? 2 : type == 4 ? 4 : 0;
        if (valueSize == 0 || valueCount != 1) {
            return damaged(tag == 259 ? "the compression tag is not a single number"
                                      : "the predictor tag is not a single number");
        }
        const uint64_t value = readUnsigned(entry + valueAt, valueSize, bigEndian);
        if (value > 65535) {
            return damaged(tag == 259 ? "the compression tag is out of range" : "the predictor tag is out of range");
        }
        (tag == 259 ? found.compression : found.predictor) = uint16_t(value);
    }
    storage = found;
    return true;
}
