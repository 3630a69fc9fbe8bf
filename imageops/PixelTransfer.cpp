// Transfer of pixels between the host's 8- or 16-bit buffers (interleaved or
// planar, host conventions: 16 bits in 0..32768, CMYK with 255 = no ink) and
// the sixteen-bit working buffers.
#include <cstddef>
#include <cstring>

#include "imageops/ColorModel.h"
#include "imageops/ImageBuffer.h"
#include "imageops/ProgressCounters.h"

namespace {

enum class Kind { Rgb, Cmyk, Hsi, Mask };

int channelsOf(Kind kind) {
    switch (kind) {
        case Kind::Rgb:
            return RgbChannels;
        case Kind::Cmyk:
            return CmykChannels;
        case Kind::Hsi:
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

// One host sample to a sixteen-bit channel. 16-bit host samples (0..32768)
// scale to 0..65535 rounding to nearest, and internalToHost scales back so
// that every host value survives the round trip; CMYK scales the ink,
// 32768 - v. Host values beyond the host's range (above 32768) are kept
// within 0..65535. The 16-bit mask keeps its coarser scale.
uint16_t hostToInternal(uint32_t v, int imageClass, int depth) {
    if (depth == 8) return uint16_t(imageClass == 3 ? (255 - v) * 256 : v * 256);
    if (imageClass == 4) return clampChannel(int64_t(v >> 7) * 255);
    uint32_t w = imageClass == 3 ? (v > 32768 ? 0 : 32768 - v) : (v > 32768 ? 32768 : v);
    return uint16_t((w * 65535u + 16384u) / 32768u);
}

uint32_t internalToHost(uint16_t c, int imageClass, int depth) {
    if (depth == 8) return imageClass == 3 ? uint32_t(255 - to8Bit(c)) : uint32_t(to8Bit(c));
    const uint32_t v = (uint32_t(c) * 32768u + 32767u) / 65535u;
    return imageClass == 3 ? 32768 - v : v;
}

bool importPixels(Kind kind, ImageBuffer& dst, const void* base, int32_t planeRows, Point16 topLeft,
                  Point16 bottomRight, int imageClass, int depth, int32_t rowBytes, int planar, int32_t x, int32_t y,
                  int progress) {
    const int32_t top = topLeft.v, left = topLeft.h, bottom = bottomRight.v, right = bottomRight.h;
    if (int64_t(right - left) + x > dst.width || int64_t(bottom - top) + y > dst.height) return false;
    if (kind == Kind::Mask ? imageClass != 4 : (imageClass != 2 && imageClass != 3)) return false;
    if (depth != 8 && depth != 16) return false;
    // Beyond the published checks: nothing before the buffer or the host
    // base, and no reversed rectangle.
    if (x < 0 || y < 0 || top < 0 || left < 0 || right < left || bottom < top) return false;
    if (top == bottom) return true;
    if (!dst.data || !base) return false;

    HostLayout host;
    host.rowBytes = rowBytes;
    host.planeBytes = ptrdiff_t(planeRows) * rowBytes;
    host.samples = kind == Kind::Mask ? 1 : (imageClass == 3 ? 4 : 3);
    host.sampleBytes = depth / 8;
    host.planar = kind != Kind::Mask && planar != 0;
    const int hostClass = kind == Kind::Mask ? 4 : imageClass;
    const int channels = channelsOf(kind);
    const uint8_t* bytes = static_cast<const uint8_t*>(base);

    RowProgress rows(ProgressDialog, 0);
    for (int32_t row = top; row < bottom; ++row) {
        uint16_t* out = dst.data + (size_t(y + row - top) * size_t(dst.width) + size_t(x)) * channels;
        for (int32_t column = left; column < right; ++column, out += channels) {
            uint16_t in[4];
            for (int k = 0; k < host.samples; ++k)
                in[k] =
                    hostToInternal(readSample(bytes + host.offset(row, column, k), host.sampleBytes), hostClass, depth);
            switch (kind) {
                case Kind::Mask:
                    out[0] = in[0];
                    break;
                case Kind::Rgb:
                    if (imageClass == 2)
                        std::memcpy(out, in, 3 * sizeof(uint16_t));
                    else
                        cmykToRgb(in, out);
                    break;
                case Kind::Cmyk:
                    if (imageClass == 3)
                        std::memcpy(out, in, 4 * sizeof(uint16_t));
                    else
                        rgbToCmyk(in, out);
                    break;
                case Kind::Hsi: {
                    uint16_t rgb[3] = {in[0], in[1], in[2]};
                    if (imageClass == 3) {
                        rgb[0] = rgb[1] = rgb[2] = 0;  // black when the host refuses the pixel
                        cmykToRgb(in, rgb);
                    }
                    rgbToHsi(rgb, *reinterpret_cast<HsiPixel*>(out));
                    break;
                }
            }
        }
        if (progress == 1) rows.afterRow(uint32_t(right - left));
    }
    return true;
}

bool exportPixels(Kind kind, const ImageBuffer& src, void* base, int32_t hostWidth, int32_t hostRows, int imageClass,
                  int depth, int32_t rowBytes, int planar, int32_t x, int32_t y, Point16 topLeft, Point16 bottomRight) {
    const int32_t top = topLeft.v, left = topLeft.h, bottom = bottomRight.v, right = bottomRight.h;
    if (int64_t(right - left) + x > hostWidth || int64_t(bottom - top) + y > hostRows) return false;
    if (imageClass != 2 && imageClass != 3) return false;
    if (depth != 8 && depth != 16) return false;
    // Beyond the published checks: the rectangle must lie in the buffer and
    // land at or after the host's origin.
    if (x < 0 || y < 0 || top < 0 || left < 0 || right < left || bottom < top) return false;
    if (right > src.width || bottom > src.height) return false;
    if (top == bottom) return true;
    if (!src.data || !base) return false;

    HostLayout host;
    host.rowBytes = rowBytes;
    host.planeBytes = ptrdiff_t(hostRows) * rowBytes;
    host.samples = imageClass == 3 ? 4 : 3;
    host.sampleBytes = depth / 8;
    host.planar = planar != 0;
    const int channels = channelsOf(kind);
    uint8_t* bytes = static_cast<uint8_t*>(base);

    for (int32_t row = top; row < bottom; ++row) {
        const uint16_t* in = src.data + (size_t(row) * size_t(src.width) + size_t(left)) * channels;
        for (int32_t column = left; column < right; ++column, in += channels) {
            // Values in the image's class; no ink (or black) when the host
            // refuses a conversion.
            uint16_t out[4] = {0, 0, 0, 0};
            switch (kind) {
                case Kind::Rgb:
                    if (imageClass == 2)
                        std::memcpy(out, in, 3 * sizeof(uint16_t));
                    else
                        rgbToCmyk(in, out);
                    break;
                case Kind::Cmyk:
                    if (imageClass == 3)
                        std::memcpy(out, in, 4 * sizeof(uint16_t));
                    else
                        cmykToRgb(in, out);
                    break;
                case Kind::Hsi: {
                    uint16_t rgb[3];
                    hsiToRgb(*reinterpret_cast<const HsiPixel*>(in), rgb);
                    if (imageClass == 2)
                        std::memcpy(out, rgb, sizeof rgb);
                    else
                        rgbToCmyk(rgb, out);
                    break;
                }
                default:
                    break;
            }
            const int32_t hostRow = y + row - top, hostColumn = x + column - left;
            for (int k = 0; k < host.samples; ++k)
                writeSample(bytes + host.offset(hostRow, hostColumn, k), host.sampleBytes,
                            internalToHost(out[k], imageClass, depth));
        }
    }
    return true;
}

}  // namespace

bool importRgbPixels(ImageBuffer& dst, const void* base, int32_t planeRows, Point16 topLeft, Point16 bottomRight,
                     int imageClass, int depth, int32_t rowBytes, int planar, int32_t x, int32_t y, int progress) {
    return importPixels(Kind::Rgb, dst, base, planeRows, topLeft, bottomRight, imageClass, depth, rowBytes, planar, x,
                        y, progress);
}

bool importCmykPixels(ImageBuffer& dst, const void* base, int32_t planeRows, Point16 topLeft, Point16 bottomRight,
                      int imageClass, int depth, int32_t rowBytes, int planar, int32_t x, int32_t y, int progress) {
    return importPixels(Kind::Cmyk, dst, base, planeRows, topLeft, bottomRight, imageClass, depth, rowBytes, planar, x,
                        y, progress);
}

bool importHsiPixels(ImageBuffer& dst, const void* base, int32_t planeRows, Point16 topLeft, Point16 bottomRight,
                     int imageClass, int depth, int32_t rowBytes, int planar, int32_t x, int32_t y, int progress) {
    return importPixels(Kind::Hsi, dst, base, planeRows, topLeft, bottomRight, imageClass, depth, rowBytes, planar, x,
                        y, progress);
}

bool importMaskPixels(ImageBuffer& dst, const void* base, int32_t planeRows, Point16 topLeft, Point16 bottomRight,
                      int imageClass, int depth, int32_t rowBytes, int planar, int32_t x, int32_t y, int progress) {
    return importPixels(Kind::Mask, dst, base, planeRows, topLeft, bottomRight, imageClass, depth, rowBytes, planar, x,
                        y, progress);
}

bool exportRgbPixels(const ImageBuffer& src, void* base, int32_t hostWidth, int32_t hostRows, int imageClass, int depth,
                     int32_t rowBytes, int planar, int32_t x, int32_t y, Point16 topLeft, Point16 bottomRight) {
    return exportPixels(Kind::Rgb, src, base, hostWidth, hostRows, imageClass, depth, rowBytes, planar, x, y, topLeft,
                        bottomRight);
}

bool exportCmykPixels(const ImageBuffer& src, void* base, int32_t hostWidth, int32_t hostRows, int imageClass,
                      int depth, int32_t rowBytes, int planar, int32_t x, int32_t y, Point16 topLeft,
                      Point16 bottomRight) {
    return exportPixels(Kind::Cmyk, src, base, hostWidth, hostRows, imageClass, depth, rowBytes, planar, x, y, topLeft,
                        bottomRight);
}

bool exportHsiPixels(const ImageBuffer& src, void* base, int32_t hostWidth, int32_t hostRows, int imageClass, int depth,
                     int32_t rowBytes, int planar, int32_t x, int32_t y, Point16 topLeft, Point16 bottomRight) {
    return exportPixels(Kind::Hsi, src, base, hostWidth, hostRows, imageClass, depth, rowBytes, planar, x, y, topLeft,
                        bottomRight);
}
