#include "host/ImageFile.h"

#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vips/vips.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <system_error>

#include "host/FileMetadata.h"
#include "host/FileValueRuns.h"
#include "host/OutputFile.h"
#include "host/RowMark.h"

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

// A file descriptor closed when it goes (-1: none).
class OwnDescriptor {
public:
    explicit OwnDescriptor(int fd) : fd_(fd) {}
    ~OwnDescriptor() { close(); }
    OwnDescriptor(const OwnDescriptor&) = delete;
    OwnDescriptor& operator=(const OwnDescriptor&) = delete;
    int get() const { return fd_; }
    // False (errno set) when closing reports an error.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

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

// Owns a copy of standard input's bytes while an image decodes from them.
struct InputBytes {
    std::vector<uint8_t> bytes;
};

// The format for a loader's nickname ("jpegload", "pngload_buffer", ...) and
// the extension that writes it; "" when libvips cannot write it.
void formatOfLoader(std::string loader, ImageFileFormat& format, std::string& suffix, VipsImage* image) {
    for (const char* tail : {"_buffer", "_source"})
        if (loader.size() > std::strlen(tail) &&
            loader.compare(loader.size() - std::strlen(tail), std::string::npos, tail) == 0)
            loader.resize(loader.size() - std::strlen(tail));
    struct Known {
        const char* loader;
        ImageFileFormat format;
        const char* suffix;
    } known[] = {{"tiffload", ImageFileFormat::Tiff, ".tif"},   {"pngload", ImageFileFormat::Png, ".png"},
                 {"jpegload", ImageFileFormat::Jpeg, ".jpg"},   {"ppmload", ImageFileFormat::Pnm, ".ppm"},
                 {"webpload", ImageFileFormat::Other, ".webp"}, {"gifload", ImageFileFormat::Other, ".gif"},
                 {"jxlload", ImageFileFormat::Other, ".jxl"},   {"jp2kload", ImageFileFormat::Other, ".jp2"},
                 {"vipsload", ImageFileFormat::Other, ".v"},    {"heifload", ImageFileFormat::Other, ".heic"}};
    format = ImageFileFormat::Other;
    suffix.clear();
    for (const Known& k : known)
        if (loader == k.loader) {
            format = k.format;
            suffix = k.suffix;
        }
    const char* compression = nullptr;
    if (loader == "heifload" && vips_image_get_typeof(image, "heif-compression") != 0 &&
        vips_image_get_string(image, "heif-compression", &compression) == 0 && compression &&
        std::strcmp(compression, "av1") == 0)
        suffix = ".avif";
}

// The standard luminance quantisation table, in the zigzag order in which
// JPEG files store it.
constexpr uint8_t kLuminanceZigzag[64] = {16, 11, 12,  14,  12,  10, 16, 14,  13,  14,  18,  17,  16, 19,  24,  40,
                                          26, 24, 22,  22,  24,  49, 35, 37,  29,  40,  58,  51,  61, 60,  57,  51,
                                          56, 55, 64,  72,  92,  78, 64, 68,  87,  69,  55,  56,  80, 109, 81,  87,
                                          95, 98, 103, 104, 103, 62, 77, 113, 121, 112, 100, 120, 92, 101, 103, 99};

// The quality 1..100 whose scaled standard table is closest to table (the
// usual encoders scale it by 5000 / Q below 50 and by 200 - 2Q above).
int qualityOfTable(const uint16_t table[64]) {
    int best = 95;
    uint64_t bestDistance = UINT64_MAX;
    for (int q = 1; q <= 100; ++q) {
        const int scale = q < 50 ? 5000 / q : 200 - 2 * q;
        uint64_t distance = 0;
        for (int i = 0; i < 64; ++i) {
            const int v = std::clamp((kLuminanceZigzag[i] * scale + 50) / 100, 1, 255);
            distance += uint64_t(std::abs(v - int(table[i])));
        }
        if (distance < bestDistance) {
            bestDistance = distance;
            best = q;
        }
    }
    return best;
}

// How a JPEG file was stored, from its markers: the quality its luminance
// table was made for, whether chroma is subsampled, and progressive mode.
// Fields stay as they are when the markers say nothing (or are damaged).
void readJpegStorage(const std::vector<uint8_t>& b, int& quality, bool& subsampled, bool& progressive) {
    size_t i = 2;
    while (i + 4 <= b.size() && b[i] == 0xFF) {
        const uint8_t marker = b[i + 1];
        if (marker == 0xFF) {
            ++i;  // fill byte
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return;  // image data follows: all tables are known
        const size_t length = size_t(b[i + 2]) << 8 | b[i + 3];
        if (length < 2 || i + 2 + length > b.size()) return;
        const uint8_t* seg = &b[i + 4];
        const size_t n = length - 2;
        if (marker == 0xDB) {
            for (size_t at = 0; at < n;) {
                const bool wide = (seg[at] >> 4) != 0;
                const int id = seg[at] & 15;
                const size_t size = 1 + 64 * (wide ? 2 : 1);
                if (at + size > n) break;
                if (id == 0) {
                    uint16_t table[64];
                    for (int k = 0; k < 64; ++k)
                        table[k] = wide ? uint16_t(seg[at + 1 + 2 * k] << 8 | seg[at + 2 + 2 * k]) : seg[at + 1 + k];
                    quality = qualityOfTable(table);
                }
                at += size;
            }
        } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            if (n >= 6) {
                const int components = seg[5];
                bool differ = false;
                for (int c = 1; c < components && 6 + 3 * size_t(c) + 2 <= n; ++c)
                    differ |= seg[6 + 3 * c + 1] != seg[6 + 1];
                subsampled = differ;
            }
        }
        i += 2 + length;
    }
}

// Opens the first page with the loader libvips picks for the file's
// contents, failing on damaged data rather than filling in grey. The pixels
// are read once, top to bottom: sequential access lets the loader decode
// straight from the file, where random access would first decode the whole
// image into memory or, for large images, a temporary file. "-" reads
// standard input.
bool openImage(const std::string& path, ImageRef& ref, std::shared_ptr<InputBytes>& input, std::string& error,
               int page = 0) {
    vips_error_clear();
    const VipsFailOn failOn = VIPS_FAIL_ON_ERROR;
    const VipsAccess access = VIPS_ACCESS_SEQUENTIAL;
    if (path == "-") {
        input = std::make_shared<InputBytes>();
        char chunk[65536];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0)
            input->bytes.insert(input->bytes.end(), chunk, chunk + got);
        if (input->bytes.empty()) return fail(error, "standard input", "no image arrived");
        if (!vips_foreign_find_load_buffer(input->bytes.data(), input->bytes.size())) {
            vips_error_clear();
            return fail(error, "standard input", "not an image file libvips can read");
        }
        ref.image = vips_image_new_from_buffer(input->bytes.data(), input->bytes.size(), "", "fail_on", failOn,
                                               "access", access, NULL);
    } else {
        std::error_code ec;
        fs::file_status status = fs::status(fs::path(path), ec);
        if (ec || !fs::exists(status)) return fail(error, path, "no such file");
        if (fs::is_directory(status)) return fail(error, path, "is a folder, not an image file");
        if (fs::is_regular_file(status) && fs::file_size(path, ec) == 0) return fail(error, path, "the file is empty");
        if (!vips_foreign_find_load(path.c_str())) {
            vips_error_clear();
            return fail(error, path, "not an image file libvips can read");
        }
        ref.image =
            page == 0 ? vips_image_new_from_file(path.c_str(), "fail_on", failOn, "access", access, NULL)
                      : vips_image_new_from_file(path.c_str(), "fail_on", failOn, "access", access, "page", page, NULL);
    }
    if (!ref.image) return fail(error, path, "cannot be read (" + vipsReason("damaged or truncated file") + ")");
    return true;
}

// Standard input cannot be read again for a second page: a file of several
// pages there is refused rather than cut to its first.
bool checkSinglePage(VipsImage* first, std::string& error) {
    int pages = 1;
    if (vips_image_get_typeof(first, VIPS_META_N_PAGES) == 0 ||
        vips_image_get_int(first, VIPS_META_N_PAGES, &pages) != 0 || pages <= 1)
        return true;
    return fail(error, "standard input",
                "holds " + std::to_string(pages) + " pages; give the file by name so that every page can be read");
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

// Reserves room for count elements, asking for huge pages before anything
// is written there; throws std::bad_alloc as reserve does.
template <typename Vector>
void reserveInHugePages(Vector& v, size_t count) {
    v.reserve(count);
    adviseHugePages(v.data(), count * sizeof(typename Vector::value_type));
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

// The file-to-host mapping of a 16-bit file's values up to its largest
// (larger ones in a PNM file are read as its maximum), with its runs.
FileValueRuns runsOfTable(const std::vector<uint16_t>& table, int pnmMaxValue) {
    const size_t values = pnmMaxValue > 0 ? size_t(pnmMaxValue) + 1 : table.size();
    return fileValueRuns(std::vector<uint16_t>(table.begin(), table.begin() + ptrdiff_t(values)));
}

// A writer's own file value of each host value (0..32768): what it writes for
// a sample a run changed. A PNM file of a smaller maximum keeps its values
// only when written as PNM, by pnmBytes, which scales to that maximum.
std::vector<uint16_t> ownFileValues(bool cmyk, int pnmMaxValue) {
    std::vector<uint16_t> own(32769);
    for (uint32_t h = 0; h < own.size(); ++h) {
        const uint32_t full = hostToFile16(uint16_t(h));
        own[h] = uint16_t(pnmMaxValue > 0 ? (full * uint32_t(pnmMaxValue) + 32767u) / 65535u
                          : cmyk          ? 65535u - full
                                          : full);
    }
    return own;
}

// What the bits of a 16-bit file's samples stand for (see FileValueRuns.h),
// from the reader's table of the file (colourTable).
ExactValues exactValuesOf(const std::vector<uint16_t>& table, bool cmyk, int pnmMaxValue) {
    return exactValues(runsOfTable(table, pnmMaxValue), ownFileValues(cmyk, pnmMaxValue));
}

// Where a 16-bit file's colour samples note their bits (HostImage::changed).
struct KeptValues {
    const uint8_t* bitOf;  // the bit of every 16-bit file value, values past the last read as the last; null: none
    uint64_t* bits;
    // The plain 16-bit RGB mapping (no PNM maximum): host values and bits
    // worked out (takePlain16) rather than looked up in the tables.
    bool plain = false;
};

// The bit of every 16-bit file value, one byte each: one lookup per sample.
std::vector<uint8_t> bitTable(const ExactValues& exact) {
    std::vector<uint8_t> bit(65536, 0);
    if (exact.setFor.empty()) return bit;
    for (uint32_t v = 0; v < bit.size(); ++v) bit[v] = exact.setFor[std::min<size_t>(v, exact.setFor.size() - 1)];
    return bit;
}

// Sets the bits of n samples of file values s from sample index first on.
// Whole words are put together in a register and stored once.
void noteMembers(const uint16_t* s, size_t n, const uint8_t* member, uint64_t* bits, size_t first) {
    size_t i = 0;
    for (; i < n && ((first + i) & 63) != 0; ++i)
        bits[(first + i) >> 6] |= uint64_t(member[s[i]]) << ((first + i) & 63);
    for (; i + 64 <= n; i += 64) {
        uint64_t word = 0;
        for (unsigned k = 0; k < 64; ++k) word |= uint64_t(member[s[i + k]]) << k;
        bits[(first + i) >> 6] |= word;
    }
    for (; i < n; ++i) bits[(first + i) >> 6] |= uint64_t(member[s[i]]) << ((first + i) & 63);
}

// Converts rows of interleaved file samples (T: uint8_t or uint16_t) into the
// host's colour samples and the extra channels kept aside, and notes each
// colour sample's bit from sample index first on, when kept.bitOf is not
// null. Without extra channels a row is one run of colour samples.
template <typename T, int Planes>
void takeRows(const uint8_t* rows, int32_t count, size_t stride, int32_t width, int extra, const uint16_t* table,
              uint16_t* colour, uint16_t* extraOut, KeptValues kept, size_t first) {
    const size_t colourPerRow = size_t(width) * Planes;
    auto note = [&](uint32_t v, size_t i) { kept.bits[i >> 6] |= uint64_t(kept.bitOf[v]) << (i & 63); };
    for (int32_t r = 0; r < count; ++r) {
        const T* s = reinterpret_cast<const T*>(rows + size_t(r) * stride);
        if constexpr (sizeof(T) == 2) {
            if (extra == 0 && kept.plain) {
                takePlain16(s, colourPerRow, colour, kept.bits, first);
                colour += colourPerRow;
                first += colourPerRow;
                continue;
            }
        }
        if (extra == 0) {
            for (size_t i = 0; i < colourPerRow; ++i) colour[i] = table[s[i]];
            if constexpr (sizeof(T) == 2)
                if (kept.bitOf) noteMembers(s, colourPerRow, kept.bitOf, kept.bits, first);
            colour += colourPerRow;
            first += colourPerRow;
            continue;
        }
        for (int32_t x = 0; x < width; ++x) {
            for (int b = 0; b < Planes; ++b, ++first) {
                if (kept.bitOf) note(*s, first);
                *colour++ = table[*s++];
            }
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
    if (t == VIPS_INTERPRETATION_B_W || t == VIPS_INTERPRETATION_GREY16 || bands < 3) return "a greyscale image";
    if (t == VIPS_INTERPRETATION_LAB || t == VIPS_INTERPRETATION_LABQ || t == VIPS_INTERPRETATION_LABS)
        return "a Lab image";
    if (t == VIPS_INTERPRETATION_CMYK) return "a CMYK image without four colour channels";
    return "neither RGB nor CMYK";
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

// What a written file's colour samples the filter left unchanged are
// restored from: 16 bits reach the host at half their precision, so only the
// member bits kept on reading give an untouched sample back bit for bit.
struct Originals {
    const ExactValues* exact;              // null: none kept
    const std::vector<uint64_t>* changed;  // HostImage::changed
    // The file value sample i (of host value h) was read with, when its bit
    // says the writer's own value would not give it back.
    bool value(size_t i, uint16_t h, uint32_t& v) const {
        if (sampleBit(*changed, i) || h >= exact->restore.size()) return false;
        v = exact->restore[h];
        return true;
    }
};

// The file's samples for a run of pixels from sample index first on, all
// bands interleaved: colour channels from the host's (or as read where
// unchanged, when originals.exact is not null), extra channels as they were
// read (within the depth's range).
template <typename T, bool Cmyk>
void encodeRun(const uint16_t* colour, const uint16_t* extras, const Originals& originals, size_t first, size_t pixels,
               int extra, T* out) {
    constexpr uint32_t kFull = sizeof(T) == 2 ? 65535u : 255u;
    constexpr int kPlanes = Cmyk ? 4 : 3;
    uint32_t v = 0;
    if (extra == 0) {
        encodeColours<T, Cmyk>(colour, out, pixels * kPlanes);
        if (originals.exact)
            restoreClearSamples(colour, pixels * kPlanes, originals.changed->data(), first, originals.exact->restore,
                                out);
        return;
    }
    for (size_t i = 0; i < pixels; ++i) {
        for (int b = 0; b < kPlanes; ++b, ++colour, ++first) {
            *out++ = fileValue<T, Cmyk>(*colour);
            if (originals.exact && originals.value(first, *colour, v)) out[-1] = T(v);
        }
        for (int b = 0; b < extra; ++b) {
            uint16_t v = *extras++;
            *out++ = T(v > kFull ? kFull : v);
        }
    }
}

// What image's bits stand for when it keeps them (16 bits) and the file
// written holds the values as read: a PNM file of a smaller maximum keeps
// them only when written as PNM by ownPnm; empty restore otherwise.
ExactValues keptExact(const HostImage& image, const ImageFileInfo& info, bool ownPnm) {
    if (info.depth != 16 || image.changed.size() != sampleBitWords(image.samples.size()) ||
        (info.pnmMaxValue > 0 && !ownPnm))
        return {};
    return exactValuesOf(colourTable(16, info.cmyk, info.pnmMaxValue), info.cmyk, info.pnmMaxValue);
}

// Binary PNM (P6) written here rather than by libvips, whose header carries
// the time of writing: the same image must always give the same bytes.
template <typename T>
std::vector<uint8_t> pnmBytes(const HostImage& image, const ImageFileInfo& info) {
    const int maxValue = info.pnmMaxValue;
    const uint32_t full = sizeof(T) == 2 ? 65535u : 255u;
    const uint32_t max = maxValue > 0 && uint32_t(maxValue) < full ? uint32_t(maxValue) : full;
    const std::string header =
        "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n" + std::to_string(max) + "\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    const size_t rowValues = size_t(image.width) * 3;
    std::vector<T> values(rowValues);
    std::vector<uint8_t> row(rowValues * sizeof(T));
    const ExactValues exact = keptExact(image, info, true);
    const Originals originals{exact.restore.empty() ? nullptr : &exact, &image.changed};
    const Originals none{nullptr, nullptr};
    for (int32_t y = 0; y < image.height; ++y) {
        const uint16_t* host = image.samples.data() + size_t(y) * rowValues;
        encodeRun<T, false>(host, nullptr, none, 0, size_t(image.width), 0, values.data());
        uint8_t* d = row.data();
        for (size_t i = 0; i < rowValues; ++i) {
            uint32_t v = values[i];
            if (max != full) v = (v * max + full / 2) / full;
            uint32_t kept = 0;
            if (originals.exact && originals.value(size_t(y) * rowValues + i, host[i], kept)) v = kept;
            if (sizeof(T) == 2) *d++ = uint8_t(v >> 8);  // most significant byte first
            *d++ = uint8_t(v);
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

// What an image being written is encoded from.
struct EncodeSource {
    const HostImage* image;
    const ImageFileInfo* info;
    int extra;  // extra channels
    Originals originals;
    const RowMark* ready;                 // rows the filter has finished (null: all of them)
    WritebackPacer* writeback = nullptr;  // of the file being written, when it is one
};

// Fills the part of the file's image that libvips asks for straight from the
// host image: the samples are encoded as the writer goes, by libvips's worker
// threads, and no copy of the whole image is ever made.
template <typename T, bool Cmyk>
int generateFileSamples(VipsRegion* region, void*, void* a, void*, gboolean*) {
    const EncodeSource& source = *static_cast<const EncodeSource*>(a);
    if (gStopSignal) {
        vips_error("crispcalm", "stopped by a signal");
        return -1;
    }
    const VipsRect& r = region->valid;
    if (source.ready && !source.ready->wait(r.top + r.height)) {
        vips_error("crispcalm", "the filter stopped before it finished these rows");
        return -1;
    }
    const size_t width = size_t(source.image->width);
    const size_t planes = Cmyk ? 4 : 3;
    // libvips writes rows soon after they are made: the file has come about
    // as far as the rows before these, less what compression saves.
    if (source.writeback) source.writeback->reached(uint64_t(r.top) * width * (planes + source.extra) * sizeof(T));
    for (int y = r.top; y < r.top + r.height; ++y) {
        const size_t first = size_t(y) * width + size_t(r.left);
        encodeRun<T, Cmyk>(source.image->samples.data() + first * planes,
                           source.info->extraSamples.data() + first * size_t(source.extra), source.originals,
                           first * planes, size_t(r.width), source.extra,
                           reinterpret_cast<T*>(VIPS_REGION_ADDR(region, r.left, y)));
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

// A format to write in: libvips's saver and the user's options for it.
struct SaveFormat {
    std::string extension;    // ".jpg", lower case
    std::string saver;        // nickname: "jpegsave", or "jpegsave_target" for devices and standard output
    std::string userOptions;  // "Q=90,optimize_coding"
    bool ownPnm = false;      // binary PNM, written here for bytes that never vary
};

std::string lowerCase(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The saver for saveAs, ".ext" or ".ext[name=value,...]". False with a reason
// for an extension libvips cannot write, a format that cannot hold a colour
// picture of 8 or 16 bits, or options the saver does not know.
bool findSaveFormat(const std::string& saveAs, bool toTarget, SaveFormat& format, std::string& reason) {
    const size_t open = saveAs.find('[');
    format.extension = lowerCase(saveAs.substr(0, open));
    format.userOptions.clear();
    if (open != std::string::npos) {
        if (saveAs.back() != ']') {
            reason = "saver options are written in brackets: " + format.extension + "[name=value,...]";
            return false;
        }
        format.userOptions = saveAs.substr(open + 1, saveAs.size() - open - 2);
    }
    if (format.extension.size() < 2 || format.extension[0] != '.') {
        reason = "no file format given (an extension such as .tif, .png or .jpg)";
        return false;
    }
    for (const char* notPicture :
         {".csv", ".mat", ".raw", ".dz", ".szi", ".hdr", ".pfm", ".fits", ".fit", ".fts", ".pbm", ".pgm"}) {
        if (format.extension == notPicture) {
            reason = format.extension + " files cannot hold a colour image of 8 or 16 bits per channel";
            return false;
        }
    }
    const std::string probe = "x" + format.extension;
    const char* type =
        toTarget ? vips_foreign_find_save_target(format.extension.c_str()) : vips_foreign_find_save(probe.c_str());
    if (!type) {
        vips_error_clear();
        reason = toTarget ? "libvips cannot write " + format.extension + " files to a stream"
                          : "libvips cannot write " + format.extension + " files (unknown extension)";
        return false;
    }
    format.saver = vips_nickname_find(g_type_from_name(type));
    format.ownPnm = format.saver.rfind("ppmsave", 0) == 0 &&
                    (format.extension == ".ppm" || format.extension == ".pnm") && format.userOptions.empty();
    if (!format.userOptions.empty()) {
        VipsOperation* operation = vips_operation_new(format.saver.c_str());
        const int bad =
            operation ? vips_object_set_from_string(VIPS_OBJECT(operation), ("[" + format.userOptions + "]").c_str())
                      : -1;
        if (operation) g_object_unref(operation);
        if (bad) {
            reason = "options " + format.extension + "[" + format.userOptions + "]: " + vipsReason("not understood");
            return false;
        }
    }
    return true;
}

// Options of a saver that write the file as the input was stored: a TIFF
// compressed as the input, a JPEG at the input's quality, subsampling and
// progressive mode (compact Huffman tables in any case).
std::string storageOptions(const SaveFormat& format, const ImageFileInfo& info) {
    const int quality = info.jpegQuality < 1 ? 1 : info.jpegQuality > 100 ? 100 : info.jpegQuality;
    const std::string base = format.saver.substr(0, format.saver.find('_'));
    if (base == "tiffsave") {
        const VipsForeignTiffCompression compression = tiffCompressionFor(info.tiff.compression, info.depth);
        return std::string("compression=") + vips_enum_nick(VIPS_TYPE_FOREIGN_TIFF_COMPRESSION, compression) +
               ",predictor=" +
               vips_enum_nick(VIPS_TYPE_FOREIGN_TIFF_PREDICTOR, tiffPredictorFor(info.tiff, compression)) +
               ",Q=" + std::to_string(quality) + ",bigtiff=" + (info.tiff.bigTiff ? "true" : "false") +
               ",resunit=" + (info.resolutionUnit == "in" ? "inch" : "cm");
    }
    if (base == "jpegsave") {
        return "Q=" + std::to_string(quality) + ",optimize_coding=true" +
               (info.format == ImageFileFormat::Jpeg
                    ? std::string(",subsample_mode=") + (info.jpegSubsampled ? "on" : "off") +
                          ",interlace=" + (info.jpegProgressive ? "true" : "false")
                    : std::string());
    }
    return "";
}

// libvips keeps a JPEG file's APP13 segment (a Photoshop resource block
// behind a "Photoshop 3.0" header) as its IPTC blob, but a TIFF file's IPTC
// record and Photoshop resources as two blobs, and writes each blob back
// where the format it came from keeps it.
constexpr char kApp13Header[] = "Photoshop 3.0";  // with its terminating zero: 14 bytes

struct ResourceBlobs {
    std::vector<uint8_t> iptc, photoshop;
};

// The blobs for saver, moved to the other format's places when the input
// stored them the other way; exiv2 then writes the IPTC record itself.
ResourceBlobs resourceBlobsFor(const std::string& saver, const ImageFileInfo& info) {
    const size_t header = sizeof kApp13Header;
    const bool app13 = info.iptc.size() >= header && std::memcmp(info.iptc.data(), kApp13Header, header) == 0;
    if (saver.rfind("tiffsave", 0) == 0 && app13)
        return {{}, withoutIptcResource(std::vector<uint8_t>(info.iptc.begin() + ptrdiff_t(header), info.iptc.end()))};
    if (saver.rfind("jpegsave", 0) == 0 && !app13) {
        if (info.photoshop.empty()) return {};
        std::vector<uint8_t> segment(kApp13Header, kApp13Header + header);
        segment.insert(segment.end(), info.photoshop.begin(), info.photoshop.end());
        return {segment, {}};
    }
    return {info.iptc, info.photoshop};
}

// Any format libvips saves, with the metadata of info. file is a file name,
// or "-" for standard output (a saver to a target).
bool saveWithVips(const std::string& file, const SaveFormat& format, const HostImage& host, const ImageFileInfo& info,
                  int extra, const RowMark* ready, std::string& reason) {
    const bool wide = info.depth == 16;
    VipsGenerateFn generate =
        wide ? (info.cmyk ? generateFileSamples<uint16_t, true> : generateFileSamples<uint16_t, false>)
             : (info.cmyk ? generateFileSamples<uint8_t, true> : generateFileSamples<uint8_t, false>);
    const ExactValues exact = keptExact(host, info, false);
    EncodeSource source{&host, &info, extra, Originals{exact.restore.empty() ? nullptr : &exact, &host.changed}, ready};
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
    const ResourceBlobs resources = resourceBlobsFor(format.saver, info);
    setBlob(image, VIPS_META_IPTC_NAME, resources.iptc);
    setBlob(image, VIPS_META_PHOTOSHOP_NAME, resources.photoshop);
    if (!info.resolutionUnit.empty()) {
        vips_image_set_string(image, VIPS_META_RESOLUTION_UNIT, info.resolutionUnit.c_str());
    }
    if (info.orientation >= 1 && info.orientation <= 8) {
        vips_image_set_int(image, VIPS_META_ORIENTATION, info.orientation);
    }

    // A TIFF, PNG or JPEG file (not a stream) goes through a descriptor of
    // our own to the format's saver to a target: opened without truncating
    // the fresh temporary file, and written out to disk as the rows come
    // (see openForWriting). Some other savers to a target need a file name.
    const bool toTarget = format.saver.size() > 7 && format.saver.compare(format.saver.size() - 7, 7, "_target") == 0;
    const std::string base = format.saver.substr(0, format.saver.find('_'));
    const std::string targetSaver = base + "_target";
    const bool ownFile = !toTarget && (base == "tiffsave" || base == "pngsave" || base == "jpegsave");
    OwnDescriptor fd(ownFile ? openForWriting(file, true) : -1);
    if (ownFile && fd.get() < 0) {
        reason = std::string("cannot be opened for writing (") + std::strerror(errno) + ")";
        return false;
    }
    WritebackPacer writeback(fd.get());
    if (ownFile) source.writeback = &writeback;
    VipsOperation* operation = vips_operation_new(ownFile ? targetSaver.c_str() : format.saver.c_str());
    if (!operation) {
        reason = vipsReason("libvips has no such saver");
        return false;
    }
    g_object_set(operation, "in", image, NULL);
    if (ownFile || toTarget) {
        VipsTarget* target = ownFile       ? vips_target_new_to_descriptor(fd.get())
                             : file == "-" ? vips_target_new_to_descriptor(1)
                                           : vips_target_new_to_file(file.c_str());
        if (!target) {
            g_object_unref(operation);
            reason = vipsReason("cannot be opened for writing");
            return false;
        }
        g_object_set(operation, "target", target, NULL);
        g_object_unref(target);
    } else {
        g_object_set(operation, "filename", file.c_str(), NULL);
    }
    // Options that keep the input's storage first, then the user's, which
    // take precedence.
    const std::string storage = storageOptions(format, info);
    const std::string options =
        "[" + storage + (storage.empty() || format.userOptions.empty() ? "" : ",") + format.userOptions + "]";
    int result = vips_object_set_from_string(VIPS_OBJECT(operation), options.c_str());
    if (result == 0) result = vips_cache_operation_buildp(&operation);
    vips_object_unref_outputs(VIPS_OBJECT(operation));
    g_object_unref(operation);
    if (result != 0) {
        reason = vipsReason("the file could not be written");
        return false;
    }
    // A write the system could not complete may be reported at close only.
    if (!fd.close()) {
        reason = std::string("the file could not be written (") + std::strerror(errno) + ")";
        return false;
    }
    return true;
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
        case ImageFileFormat::Other:
            break;
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
    return readImageFilePage(path, 0, image, info, error);
}

struct PendingPixels {
    std::string path;
    ImageRef ref;
    std::shared_ptr<InputBytes> input;
    ImageFileInfo* info = nullptr;  // where the extra channels and metadata go
    uint16_t* samples = nullptr;    // the host image's colour samples
    uint64_t* changed = nullptr;    // its bits (16 bits only; see FileValueRuns.h)
    int32_t width = 0, height = 0;
    int planes = 0;
};

// Decodes the pending pixels into the host image and the file's info,
// marking rows as their band lands (the last one only once the metadata is
// in place too, which the caller does).
static bool decodePixels(PendingPixels& pixels, RowMark* mark, std::string& error) {
    ImageFileInfo& read = *pixels.info;
    VipsImage* in = pixels.ref.image;
    const int32_t width = pixels.width, height = pixels.height;
    const int planes = pixels.planes, extra = read.extraChannels;
    const std::vector<uint16_t> table = colourTable(read.depth, read.cmyk, read.pnmMaxValue);
    const bool wide = read.depth == 16;
    const ExactValues exact = wide ? exactValuesOf(table, read.cmyk, read.pnmMaxValue) : ExactValues();
    const std::vector<uint8_t> bitOf = bitTable(exact);
    KeptValues kept{exact.setFor.empty() || !pixels.changed ? nullptr : bitOf.data(), pixels.changed};
    // Without vector instructions the tables are the faster way.
    kept.plain = kept.bitOf && !read.cmyk && read.pnmMaxValue == 0 && widestVectorLevel() != VectorLevel::Plain;
    auto take = [&](const uint8_t* rows, int32_t y, int32_t count, size_t stride) {
        uint16_t* colour = pixels.samples + size_t(y) * size_t(width) * size_t(planes);
        uint16_t* extraOut = read.extraSamples.data() + size_t(y) * size_t(width) * size_t(extra);
        const size_t first = size_t(y) * size_t(width) * size_t(planes);
        const KeptValues none{nullptr, nullptr};
        if (wide && planes == 3) {
            takeRows<uint16_t, 3>(rows, count, stride, width, extra, table.data(), colour, extraOut, kept, first);
        } else if (wide) {
            takeRows<uint16_t, 4>(rows, count, stride, width, extra, table.data(), colour, extraOut, kept, first);
        } else if (planes == 3) {
            takeRows<uint8_t, 3>(rows, count, stride, width, extra, table.data(), colour, extraOut, none, first);
        } else {
            takeRows<uint8_t, 4>(rows, count, stride, width, extra, table.data(), colour, extraOut, none, first);
        }
        if (mark) mark->reach(std::min(y + count, height - 1));
    };
    if (!readRows(in, pixels.path, error, take)) return false;

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
    g_object_unref(pixels.ref.image);  // the file is let go of as soon as it is read
    pixels.ref.image = nullptr;
    return true;
}

bool readImageFilePage(const std::string& path, int page, HostImage& image, ImageFileInfo& info, std::string& error) {
    HostImage result;
    ImageFileInfo read;
    std::shared_ptr<PendingPixels> pixels;
    if (!openImageFilePage(path, page, result, read, pixels, error) || !decodeImagePixels(*pixels, nullptr, error))
        return false;
    image = std::move(result);
    info = std::move(read);
    return true;
}

bool openImageFilePage(const std::string& path, int page, HostImage& result, ImageFileInfo& read,
                       std::shared_ptr<PendingPixels>& pendingPixels, std::string& error) {
    if (!initImageFiles(nullptr, error)) return false;
    read = ImageFileInfo();
    read.page = page;
    auto pending = std::make_shared<PendingPixels>();
    ImageRef& ref = pending->ref;
    std::shared_ptr<InputBytes>& input = pending->input;
    if (page < 0 || (page > 0 && path == "-")) return fail(error, path, "has no page " + std::to_string(page + 1));
    if (!openImage(path, ref, input, error, page)) return false;
    VipsImage* in = ref.image;
    const char* loader = nullptr;
    if (vips_image_get_typeof(in, "vips-loader") != 0 && vips_image_get_string(in, "vips-loader", &loader) == 0 &&
        loader)
        read.loader = loader;
    formatOfLoader(read.loader, read.format, read.suffix, in);
    if (read.format == ImageFileFormat::Tiff && path != "-") {
        if (!readTiffLayout(path, read.layout, error)) return false;
        if (size_t(page) >= read.layout.directories.size())
            return fail(error, path, "has no page " + std::to_string(page + 1));
        const TiffDirectory& directory = read.layout.directories[size_t(page)];
        read.tiff = TiffStorage{directory.compression, directory.predictor, read.layout.bigTiff};
    }
    if (read.format == ImageFileFormat::Jpeg) {
        std::vector<uint8_t> head;
        if (input) {
            head = input->bytes;
        } else {
            std::ifstream file(fs::path(path), std::ios::binary);
            head.assign(std::istreambuf_iterator<char>(file), {});
        }
        readJpegStorage(head, read.jpegQuality, read.jpegSubsampled, read.jpegProgressive);
    }

    if (input && !checkSinglePage(in, error)) return false;
    if (page == 0) read.carriedMetadata = readFileMetadata(path, input ? &input->bytes : nullptr);

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
        return fail(error, path, imageModeMessage(modeDescription(type, bands)));
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
    result = HostImage();
    try {
        reserveInHugePages(result.samples, pixels * size_t(planes));
    } catch (const std::bad_alloc&) {
        return fail(error, path, "too large for the memory available");
    }
    if (!makeHostImage(result, width, height, planes, read.depth, false)) {
        return fail(error, path, "too large for the memory available");
    }
    const int extra = read.extraChannels;
    try {
        read.extraSamples.resize(pixels * size_t(extra));
        if (read.depth == 16) {
            const size_t words = sampleBitWords(pixels * size_t(planes));
            reserveInHugePages(result.changed, words);
            result.changed.assign(words, 0);
        }
    } catch (const std::bad_alloc&) {
        return fail(error, path, "too large for the memory available");
    }

    pending->path = path;
    pending->info = &read;
    pending->samples = result.samples.data();
    pending->changed = result.changed.empty() ? nullptr : result.changed.data();
    pending->width = width;
    pending->height = height;
    pending->planes = planes;
    pendingPixels = std::move(pending);
    return true;
}

bool decodeImagePixels(PendingPixels& pixels, RowMark* mark, std::string& error) {
    const bool ok = decodePixels(pixels, mark, error);
    if (mark && !ok) mark->fail();
    if (mark && ok) mark->reach(pixels.height);
    return ok;
}

std::vector<uint16_t> fileToHostTable(int depth, bool cmyk, int pnmMaxValue) {
    return colourTable(depth, cmyk, pnmMaxValue);
}

bool checkSaveFormat(const std::string& saveAs, std::string& error) {
    if (!initImageFiles(nullptr, error)) return false;
    SaveFormat format;
    return findSaveFormat(saveAs, false, format, error);
}

// A TIFF for a stream (standard output, a pipe, a device) with the input's
// Exif and IPTC: exiv2 edits only whole files, so the TIFF is made in a
// private file in the temporary folder first and then copied to writeTo.
// Writes image in saveAs's format straight into file with libvips, then puts
// the input's Exif and IPTC back with exiv2 where the format allows.
bool writeWithMetadata(const std::string& file, const SaveFormat& format, const HostImage& image,
                       const ImageFileInfo& info, std::string& reason, const RowMark* ready = nullptr) {
    const size_t pixels = size_t(image.width) * size_t(image.height);
    const int extra = std::max(0, info.extraChannels);
    if (image.samples.size() != pixels * size_t(info.cmyk ? 4 : 3) || image.depth != info.depth ||
        info.extraSamples.size() != pixels * size_t(extra)) {
        reason = "the image does not match the file's size, depth and colour mode";
        return false;
    }
    return saveWithVips(file, format, image, info, extra, ready, reason) &&
           (!carriesMetadata(format.saver) || writeCarriedMetadata(file, info.carriedMetadata, reason));
}

bool writeTiffPageFile(const std::string& file, const std::string& saveAs, const HostImage& image,
                       const ImageFileInfo& info, std::string& reason) {
    SaveFormat format;
    if (!findSaveFormat(saveAs, false, format, reason)) return false;
    if (format.saver.rfind("tiffsave", 0) != 0) {
        reason = saveAs + " is not a TIFF format";
        return false;
    }
    return writeWithMetadata(file, format, image, info, reason);
}

std::string tiffStorageOptions(const ImageFileInfo& info) {
    SaveFormat format;
    format.saver = "tiffsave";
    return storageOptions(format, info);
}

// A file for a stream (standard output, a pipe, a device) with the input's
// Exif and IPTC: exiv2 edits only whole files, so the file is made in a
// private file in the temporary folder first and then copied to writeTo.
bool writeThroughScratchFile(const std::string& writeTo, const std::string& saveAs, const HostImage& image,
                             const ImageFileInfo& info, const RowMark* ready, std::string& reason) {
    SaveFormat fileFormat;
    if (!findSaveFormat(saveAs, false, fileFormat, reason)) return false;
    std::string scratch = (fs::temp_directory_path() / ("crispcalm-XXXXXX" + fileFormat.extension)).string();
    const int fd = mkstemps(scratch.data(), int(fileFormat.extension.size()));
    if (fd < 0) {
        reason = "no room for a scratch file in the temporary folder (" + std::string(std::strerror(errno)) + ")";
        return false;
    }
    ::close(fd);
    bool ok = writeWithMetadata(scratch, fileFormat, image, info, reason, ready);
    if (ok) {
        std::ifstream file(fs::path(scratch), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
        ok = writeBytesTo(writeTo, bytes, reason);
        if (!ok) reason = reason.substr(reason.find(": ") + 2);
    }
    std::error_code ignored;
    fs::remove(scratch, ignored);
    return ok;
}

bool writeImageFile(const std::string& path, const HostImage& image, const ImageFileInfo& info, std::string& error,
                    const RowMark* ready) {
    if (!initImageFiles(nullptr, error)) return false;
    if (path.empty()) return fail(error, path, "no file name given");
    int planes = info.cmyk ? 4 : 3;
    if (info.depth != 8 && info.depth != 16) return fail(error, path, "only 8 or 16 bits per channel can be written");
    if (image.width < 1 || image.height < 1 || image.planes != planes || image.depth != info.depth) {
        return fail(error, path, "the image does not match the file's depth and colour mode");
    }
    size_t pixels = size_t(image.width) * size_t(image.height);
    int extraChannels = info.extraChannels < 0 ? 0 : info.extraChannels;
    if (image.samples.size() != pixels * size_t(planes) || info.extraSamples.size() != pixels * size_t(extraChannels)) {
        return fail(error, path, "the image's sample count does not match its size");
    }
    // The input's format unless another is asked for; options alone
    // ("[Q=90]") apply to the input's format.
    std::string own = info.suffix;
    if (own.empty() && info.format != ImageFileFormat::Other) {
        const char* suffixes[] = {".tif", ".png", ".jpg", ".ppm"};
        own = suffixes[int(info.format)];
    }
    const std::string saveAs = info.saveAs.empty() ? own : info.saveAs[0] == '[' ? own + info.saveAs : info.saveAs;
    if (saveAs.empty() || saveAs[0] == '[') {
        return fail(error, path,
                    "libvips cannot write files in the input's format (" + info.loader +
                        "); give the output an extension such as .tif");
    }
    OutputTarget target;
    if (!resolveOutput(path, target, error)) return false;
    SaveFormat format;
    if (!findSaveFormat(saveAs, target.direct, format, error)) return fail(error, path, error);

    const bool carries = carriesMetadata(format.saver) && info.carriedMetadata;
    PendingOutput pending(target);
    std::string writeTo;
    if (!pending.begin(writeTo, error)) return false;
    std::string reason;
    bool saved;
    if (format.ownPnm && !info.cmyk && extraChannels == 0) {
        if (ready && !ready->wait(image.height)) {
            pending.abandon();
            return fail(error, path, "the filter stopped before it finished");
        }
        const std::vector<uint8_t> bytes =
            info.depth == 16 ? pnmBytes<uint16_t>(image, info) : pnmBytes<uint8_t>(image, info);
        saved = writeBytesTo(writeTo, bytes, reason);
        if (!saved) reason = reason.substr(reason.find(": ") + 2);
    } else if (carries && target.direct) {
        saved = writeThroughScratchFile(writeTo, saveAs, image, info, ready, reason);
    } else {
        saved = saveWithVips(writeTo, format, image, info, extraChannels, ready, reason);
    }
    // libvips's TIFF writer keeps ICC, XMP and resolution but not Exif or
    // IPTC, and its other writers lose unknown maker notes; exiv2 puts the
    // input's back into the complete file before it is renamed.
    if (saved && carries && !target.direct) saved = writeCarriedMetadata(writeTo, info.carriedMetadata, reason);
    if (!saved) {
        pending.abandon();
        if (gStopSignal) return fail(error, path, "stopped before it was complete");
        return fail(error, path, "cannot be written as " + format.extension + " (" + reason + ")");
    }
    return pending.commit(error);
}

namespace {

// Grey PNM, which libvips writes to files and streams but not to memory.
bool isPgmExtension(const std::string& extension) {
    const std::string lower = lowerCase(extension);
    return lower == ".pgm" || lower == ".pnm";
}

}  // namespace

bool checkGreyFileFormat(const std::string& path, std::string& error) {
    if (!initImageFiles(nullptr, error)) return false;
    const std::string extension = std::filesystem::path(path).extension().string();
    if (path == "-" || extension.empty())
        return fail(error, path, "needs a file name whose extension names its format, for example mask.png");
    if (isPgmExtension(extension)) return true;
    if (!vips_foreign_find_save_buffer(extension.c_str())) {
        vips_error_clear();
        return fail(error, path, "libvips cannot write " + extension + " files");
    }
    return true;
}

bool writeGreyImageFile(const std::string& path, const std::vector<uint8_t>& grey, int32_t width, int32_t height,
                        std::string& error) {
    if (!checkGreyFileFormat(path, error)) return false;
    const std::string extension = std::filesystem::path(path).extension().string();
    if (width < 1 || height < 1 || grey.size() != size_t(width) * size_t(height))
        return fail(error, path, "the selection does not match the image's size");
    OutputTarget target;
    if (!resolveOutput(path, target, error)) return false;
    if (isPgmExtension(extension)) {
        const std::string header = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
        std::vector<uint8_t> bytes(header.begin(), header.end());
        bytes.insert(bytes.end(), grey.begin(), grey.end());
        return writeOutputBytes(target, bytes, error);
    }
    VipsImage* image = vips_image_new_from_memory(grey.data(), grey.size(), width, height, 1, VIPS_FORMAT_UCHAR);
    if (!image) return fail(error, path, vipsReason("libvips cannot take the selection"));
    image->Type = VIPS_INTERPRETATION_B_W;
    void* buffer = nullptr;
    size_t length = 0;
    const int saved = vips_image_write_to_buffer(image, extension.c_str(), &buffer, &length, nullptr);
    g_object_unref(image);
    if (saved != 0) return fail(error, path, "cannot be written as " + extension + " (" + vipsReason("") + ")");
    const std::vector<uint8_t> bytes(static_cast<uint8_t*>(buffer), static_cast<uint8_t*>(buffer) + length);
    g_free(buffer);
    return writeOutputBytes(target, bytes, error);
}

bool readSelectionFile(const std::string& path, int32_t width, int32_t height, bool useAlpha,
                       std::vector<uint8_t>& selection, std::string& error) {
    if (!initImageFiles(nullptr, error)) return false;
    ImageRef ref, picked, grey;
    std::shared_ptr<InputBytes> input;
    if (!openImage(path, ref, input, error)) return false;
    VipsImage* in = ref.image;
    if (in->BandFmt != VIPS_FORMAT_UCHAR && in->BandFmt != VIPS_FORMAT_USHORT) {
        return fail(error, path,
                    std::string("a selection needs 8- or 16-bit samples; this one has ") +
                        sampleFormatName(in->BandFmt) + " samples");
    }
    // One channel: the alpha channel when asked for, else the grey channel
    // or a colour image's luminance; 16 bits keep their high byte.
    int result = 0;
    if (useAlpha) {
        if (!vips_image_hasalpha(in)) return fail(error, path, "has no alpha channel to take the selection from");
        result = vips_extract_band(in, &picked.image, in->Bands - 1, NULL);
    } else if (in->Bands >= 3) {
        result = vips_colourspace(
            in, &grey.image, in->BandFmt == VIPS_FORMAT_USHORT ? VIPS_INTERPRETATION_GREY16 : VIPS_INTERPRETATION_B_W,
            NULL);
        if (result == 0) result = vips_extract_band(grey.image, &picked.image, 0, NULL);
    } else {
        result = vips_extract_band(in, &picked.image, 0, NULL);
    }
    ImageRef bytes;
    if (result == 0) result = vips_cast(picked.image, &bytes.image, VIPS_FORMAT_UCHAR, "shift", TRUE, NULL);
    if (result != 0) return fail(error, path, "cannot be made into a selection (" + vipsReason("unknown reason") + ")");
    in = bytes.image;
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
    TiffLayout layout;
    if (!readTiffLayout(path, layout, error)) return false;
    storage.compression = layout.directories[0].compression;
    storage.predictor = layout.directories[0].predictor;
    storage.bigTiff = layout.bigTiff;
    return true;
}
