// Host samples and working channels: 8-bit v <-> v x 256 and back through
// to8Bit; 16-bit (0..32768) through the one mapping pair below; CMYK inverted
// (the host's 255 means no ink, ours 0).
#include "imageops/PixelTransfer.h"

#include <cstddef>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imageops/ColorModel.h"
#include "imageops/RowProgress.h"
#include "threads/BandRun.h"

namespace {

int channelsOf(BufferContent content) {
    switch (content) {
        case BufferContent::RGB:
            return RgbChannels;
        case BufferContent::CMYK:
            return CmykChannels;
        case BufferContent::HSI:
            return HsiChannels;
        default:
            return MaskChannels;
    }
}

// Where the samples of one host pixel lie.
struct HostLayout {
    ptrdiff_t rowBytes = 0;
    ptrdiff_t planeBytes = 0;  // planar only: plane rows x row bytes
    int samples = 0;           // 3 RGB, 4 CMYK, 1 mask
    int sampleBytes = 1;       // 1 or 2
    bool planar = false;

    explicit HostLayout(const HostPixels& p)
        : rowBytes(p.rowBytes),
          planeBytes(ptrdiff_t(p.rows) * p.rowBytes),
          samples(p.imageClass == ImageClass::Mask ? 1 : (p.imageClass == ImageClass::CMYK ? 4 : 3)),
          sampleBytes(p.depth / 8),
          planar(p.imageClass != ImageClass::Mask && p.planar) {}

    ptrdiff_t offset(int32_t row, int32_t column, int k) const {
        if (planar) return row * rowBytes + ptrdiff_t(column) * sampleBytes + k * planeBytes;
        return row * rowBytes + (ptrdiff_t(column) * samples + k) * sampleBytes;
    }
};

uint32_t readSample(const uint8_t* p, int sampleBytes) {
    if (sampleBytes == 1) return *p;
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

void writeSample(uint8_t* p, int sampleBytes, uint32_t v) {
    if (sampleBytes == 1) {
        *p = uint8_t(v);
        return;
    }
    const uint16_t s = uint16_t(v);
    std::memcpy(p, &s, 2);
}

uint16_t clampChannel(int64_t v) { return uint16_t(v < 0 ? 0 : (v > 65535 ? 65535 : v)); }

// The 16-bit mapping between a host sample (0..32768) and a channel
// (0..65535), both ways, each rounding to nearest, so that host -> channel ->
// host gives back every host value. Host values beyond the host's range are
// kept within 0..65535; v may be negative for the inverted CMYK sample. The
// 16-bit mask keeps its coarser scale (steps of 128 host units).
uint16_t host16ToChannel(int32_t v) {
    const uint32_t w = uint32_t(v < 0 ? 0 : v > 32768 ? 32768 : v);
    return uint16_t((w * 65535u + 16384u) / 32768u);
}
uint32_t channelToHost16(uint16_t c) { return (uint32_t(c) * 32768u + 32767u) / 65535u; }
uint16_t mask16ToChannel(int32_t v) { return clampChannel(int64_t(v / 128) * 255); }

// One host sample to a sixteen-bit channel; CMYK scales the ink, 32768 - v.
uint16_t hostToInternal(uint32_t v, ImageClass imageClass, int depth) {
    if (imageClass == ImageClass::CMYK) {
        if (depth == 8) return uint16_t((255 - v) * 256);
        return host16ToChannel(int32_t(32768) - int32_t(v));
    }
    if (depth == 8) return uint16_t(v * 256);
    if (imageClass == ImageClass::Mask) return mask16ToChannel(int32_t(v));
    return host16ToChannel(int32_t(v));
}

uint32_t internalToHost(uint16_t c, ImageClass imageClass, int depth) {
    if (imageClass == ImageClass::CMYK) return depth == 8 ? uint32_t(255 - to8Bit(c)) : 32768 - channelToHost16(c);
    return depth == 8 ? uint32_t(to8Bit(c)) : channelToHost16(c);
}

// One pixel from RGB or CMYK into the other (through the host when they
// differ).
void convertPixel(RunContext& run, ImageClass from, ImageClass to, const uint16_t* in, uint16_t* out) {
    if (from == to)
        std::memcpy(out, in, (to == ImageClass::CMYK ? 4 : 3) * sizeof(uint16_t));
    else if (from == ImageClass::CMYK)
        cmykToRgb(run, in, out);
    else
        rgbToCmyk(run, in, out);
}

// One host pixel's samples (in the image's class) into the buffer's content.
void importPixel(RunContext& run, BufferContent content, ImageClass imageClass, const uint16_t in[4], uint16_t* out) {
    switch (content) {
        case BufferContent::Mask:
            out[0] = in[0];
            break;
        case BufferContent::RGB:
            convertPixel(run, imageClass, ImageClass::RGB, in, out);
            break;
        case BufferContent::CMYK:
            convertPixel(run, imageClass, ImageClass::CMYK, in, out);
            break;
        case BufferContent::HSI: {
            uint16_t rgb[3] = {in[0], in[1], in[2]};
            if (imageClass == ImageClass::CMYK) {
                rgb[0] = rgb[1] = rgb[2] = 0;  // black when the host refuses the pixel
                cmykToRgb(run, in, rgb);
            }
            rgbToHsi(rgb, *reinterpret_cast<HsiPixel*>(out));
            break;
        }
    }
}

// One buffer pixel into the image's class; no ink (or black) when the host
// refuses a conversion.
void exportPixel(RunContext& run, BufferContent content, ImageClass imageClass, const uint16_t* in, uint16_t out[4]) {
    switch (content) {
        case BufferContent::RGB:
            convertPixel(run, ImageClass::RGB, imageClass, in, out);
            break;
        case BufferContent::CMYK:
            convertPixel(run, ImageClass::CMYK, imageClass, in, out);
            break;
        case BufferContent::HSI: {
            uint16_t rgb[3];
            hsiToRgb(*reinterpret_cast<const HsiPixel*>(in), rgb);
            if (imageClass == ImageClass::RGB)
                std::memcpy(out, rgb, sizeof rgb);
            else
                rgbToCmyk(run, rgb, out);
            break;
        }
        default:
            break;
    }
}

// Rows whose host samples map one to one onto the buffer's channels (the
// image's own model, interleaved, or the mask): one conversion per sample in
// a loop without branches per pixel, which the compiler turns into vector
// code. The same mapping as the pixel loop, so the same values.
#if defined(__SSE2__)
// Eight 16-bit RGB samples at a time, the same integers as host16ToChannel
// and channelToHost16 (checked for every value): the divisions by 32768 are
// shifts, and floor(x / 65535) = (x + (x >> 16) + 1) >> 16 for the x that
// occur (below 2^31). Lanes of 32 bits; results up to 65535 are packed back
// through the signed saturating pack offset by 32768.
inline __m128i packWords(__m128i lo, __m128i hi) {
    const __m128i offset = _mm_set1_epi32(32768);
    return _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(lo, offset), _mm_sub_epi32(hi, offset)),
                         _mm_set1_epi16(int16_t(-32768)));
}

inline __m128i hostToChannels(__m128i v) {
    const __m128i w = _mm_sub_epi16(v, _mm_subs_epu16(v, _mm_set1_epi16(int16_t(-32768))));  // min(v, 32768)
    const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi32(16384);
    const __m128i lo = _mm_unpacklo_epi16(w, zero), hi = _mm_unpackhi_epi16(w, zero);
    // (w x 65535 + 16384) / 32768 with w x 65535 = (w << 16) - w.
    return packWords(_mm_srli_epi32(_mm_add_epi32(_mm_sub_epi32(_mm_slli_epi32(lo, 16), lo), half), 15),
                     _mm_srli_epi32(_mm_add_epi32(_mm_sub_epi32(_mm_slli_epi32(hi, 16), hi), half), 15));
}

inline __m128i channelToHosts(__m128i c) {
    const __m128i zero = _mm_setzero_si128(), rounding = _mm_set1_epi32(32767), one = _mm_set1_epi32(1);
    __m128i x[2] = {_mm_unpacklo_epi16(c, zero), _mm_unpackhi_epi16(c, zero)};
    for (__m128i& v : x) {
        v = _mm_add_epi32(_mm_slli_epi32(v, 15), rounding);  // c x 32768 + 32767
        v = _mm_srli_epi32(_mm_add_epi32(_mm_add_epi32(v, _mm_srli_epi32(v, 16)), one), 16);
    }
    return packWords(x[0], x[1]);
}
#endif

template <ImageClass Class, int Depth>
void rowToInternal(const uint8_t* in, uint16_t* out, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    if (Class == ImageClass::RGB && Depth == 16)
        for (; i + 8 <= n; i += 8)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                             hostToChannels(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i))));
#endif
    for (; i < n; ++i) {
        uint32_t v;
        if (Depth == 8) {
            v = in[i];
        } else {
            uint16_t s;
            std::memcpy(&s, in + 2 * i, 2);
            v = s;
        }
        out[i] = hostToInternal(v, Class, Depth);
    }
}

template <ImageClass Class, int Depth>
void rowToHost(const uint16_t* in, uint8_t* out, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    if (Class == ImageClass::RGB && Depth == 16)
        for (; i + 8 <= n; i += 8)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i),
                             channelToHosts(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i))));
#endif
    for (; i < n; ++i) {
        const uint32_t c = in[i];
        if (Depth == 8) {
            // to8Bit: the high byte, rounded up by the low byte's top bit, 255 kept.
            const uint32_t high = c >> 8;
            const uint32_t v = high + (high == 255 ? 0 : (c >> 7) & 1);
            out[i] = uint8_t(Class == ImageClass::CMYK ? 255 - v : v);
        } else {
            const uint16_t v = uint16_t(internalToHost(uint16_t(c), Class, 16));
            std::memcpy(out + 2 * i, &v, 2);
        }
    }
}

using RowToInternal = void (*)(const uint8_t*, uint16_t*, size_t);
using RowToHost = void (*)(const uint16_t*, uint8_t*, size_t);

RowToInternal rowToInternalFor(ImageClass imageClass, int depth) {
    if (imageClass == ImageClass::CMYK)
        return depth == 8 ? rowToInternal<ImageClass::CMYK, 8> : rowToInternal<ImageClass::CMYK, 16>;
    if (imageClass == ImageClass::Mask)  // the 16-bit mask keeps its own scale
        return depth == 8 ? rowToInternal<ImageClass::Mask, 8> : rowToInternal<ImageClass::Mask, 16>;
    return depth == 8 ? rowToInternal<ImageClass::RGB, 8> : rowToInternal<ImageClass::RGB, 16>;
}

RowToHost rowToHostFor(ImageClass imageClass, int depth) {
    if (imageClass == ImageClass::CMYK)
        return depth == 8 ? rowToHost<ImageClass::CMYK, 8> : rowToHost<ImageClass::CMYK, 16>;
    return depth == 8 ? rowToHost<ImageClass::RGB, 8> : rowToHost<ImageClass::RGB, 16>;
}

constexpr size_t kPieceRows = 32;  // rows per piece of work for one thread

// True when each host sample lands in the channel of the same index.
bool oneToOne(BufferContent content, ImageClass imageClass, bool planar) {
    if (content == BufferContent::Mask) return true;
    if (planar) return false;
    return (content == BufferContent::RGB && imageClass == ImageClass::RGB) ||
           (content == BufferContent::CMYK && imageClass == ImageClass::CMYK);
}

bool imageClassFits(BufferContent content, ImageClass imageClass) {
    if (content == BufferContent::Mask) return imageClass == ImageClass::Mask;
    return imageClass == ImageClass::RGB || imageClass == ImageClass::CMYK;
}

}  // namespace

bool importPixels(RunContext& run, BufferContent content, const HostPixels& from, Rect16 rect, ImageBuffer& to,
                  Point16 at, bool reportProgress) {
    const int32_t top = rect.top, left = rect.left, bottom = rect.bottom, right = rect.right;
    const int32_t x = at.h, y = at.v;
    if (int64_t(right - left) + x > to.width || int64_t(bottom - top) + y > to.height) return false;
    if (!imageClassFits(content, from.imageClass)) return false;
    if (from.depth != 8 && from.depth != 16) return false;
    // Nothing before the buffer or the host's origin, and no reversed rectangle.
    if (x < 0 || y < 0 || top < 0 || left < 0 || right < left || bottom < top) return false;
    if (top == bottom) return true;
    if (!to.data || !from.base) return false;

    const HostLayout host(from);
    const int channels = channelsOf(content);
    const uint8_t* bytes = static_cast<const uint8_t*>(from.base);
    RowProgress rows(run, 0);
    if (oneToOne(content, from.imageClass, host.planar)) {
        // Rows shared among the run's threads, unless each must be reported.
        const RowToInternal convert = rowToInternalFor(from.imageClass, from.depth);
        auto convertRows = [&](size_t first, size_t end) {
            for (int32_t row = top + int32_t(first); row < top + int32_t(end); ++row) {
                uint16_t* out = to.data + (size_t(y + row - top) * size_t(to.width) + size_t(x)) * channels;
                convert(bytes + host.offset(row, left, 0), out, size_t(right - left) * size_t(channels));
                if (reportProgress) rows.afterRow(uint32_t(right - left));
            }
        };
        forEachPiece(reportProgress ? 1 : run.threads(), size_t(bottom - top), kPieceRows, convertRows, &run.workers());
        return true;
    }
    for (int32_t row = top; row < bottom; ++row) {
        uint16_t* out = to.data + (size_t(y + row - top) * size_t(to.width) + size_t(x)) * channels;
        for (int32_t column = left; column < right; ++column, out += channels) {
            uint16_t in[4];
            for (int k = 0; k < host.samples; ++k)
                in[k] = hostToInternal(readSample(bytes + host.offset(row, column, k), host.sampleBytes),
                                       from.imageClass, from.depth);
            importPixel(run, content, from.imageClass, in, out);
        }
        if (reportProgress) rows.afterRow(uint32_t(right - left));
    }
    return true;
}

bool exportPixels(RunContext& run, BufferContent content, const ImageBuffer& from, Rect16 rect, const HostPixels& to,
                  Point16 at) {
    const int32_t top = rect.top, left = rect.left, bottom = rect.bottom, right = rect.right;
    const int32_t x = at.h, y = at.v;
    if (int64_t(right - left) + x > to.width || int64_t(bottom - top) + y > to.rows) return false;
    if (content == BufferContent::Mask || !imageClassFits(content, to.imageClass)) return false;
    if (to.depth != 8 && to.depth != 16) return false;
    // The rectangle must lie in the buffer and land at or after the host's origin.
    if (x < 0 || y < 0 || top < 0 || left < 0 || right < left || bottom < top) return false;
    if (right > from.width || bottom > from.height) return false;
    if (top == bottom) return true;
    if (!from.data || !to.base) return false;

    const HostLayout host(to);
    const int channels = channelsOf(content);
    uint8_t* bytes = static_cast<uint8_t*>(to.base);
    if (oneToOne(content, to.imageClass, host.planar)) {
        const RowToHost convert = rowToHostFor(to.imageClass, to.depth);
        forEachPiece(
            run.threads(), size_t(bottom - top), kPieceRows,
            [&](size_t first, size_t end) {
                for (int32_t row = top + int32_t(first); row < top + int32_t(end); ++row)
                    convert(from.data + (size_t(row) * size_t(from.width) + size_t(left)) * channels,
                            bytes + host.offset(y + row - top, x, 0), size_t(right - left) * size_t(channels));
            },
            &run.workers());
        return true;
    }
    for (int32_t row = top; row < bottom; ++row) {
        const uint16_t* in = from.data + (size_t(row) * size_t(from.width) + size_t(left)) * channels;
        for (int32_t column = left; column < right; ++column, in += channels) {
            uint16_t out[4] = {0, 0, 0, 0};
            exportPixel(run, content, to.imageClass, in, out);
            const int32_t hostRow = y + row - top, hostColumn = x + column - left;
            for (int k = 0; k < host.samples; ++k)
                writeSample(bytes + host.offset(hostRow, hostColumn, k), host.sampleBytes,
                            internalToHost(out[k], to.imageClass, to.depth));
        }
    }
    return true;
}
