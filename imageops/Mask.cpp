#include "imageops/Mask.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "imageops/ColorModel.h"
#include "imageops/HsiRows.h"
#include "imageops/HueSlotsAvx2.h"
#include "imageops/SaturationMaskAvx2.h"
#include "threads/BandRun.h"

double baseSize(double width, double height) { return std::min(width, height) * 0.03; }

namespace {

// maskCurveIndex for v in 0..65536 (65536 gives 1023 as 65535 does).
constexpr uint32_t curveSlot(uint32_t v) { return (v * 65473) >> 22; }

}  // namespace

int32_t maskCurveIndex(uint16_t value) { return int32_t(curveSlot(value)); }

namespace {

// The curve weight of each of n pixels.
void curveWeights(const HsiPixel* in, uint16_t* out, int32_t n, const CurveSet& curves) {
    const float* intensityCurve = curves.intensity.samples;
    const float* saturationCurve = curves.saturation.samples;
    const float* hueCurve = curves.hue.samples;
    for (int32_t x = 0; x < n; ++x) {
        const HsiPixel& p = in[x];
        const double weight = double(intensityCurve[maskCurveIndex(p.intensity)]) *
                              double(saturationCurve[maskCurveIndex(p.saturation)]) *
                              double(hueCurve[maskCurveIndex(p.hue)]) * 65535;
        // Curve samples lie in 0..1; the clamp only guards against damaged
        // curves, and comes before the rounding so that huge or NaN weights
        // never reach the integer conversion (NaN gives 0).
        out[x] = !(weight > 0) ? 0 : weight >= 65535 ? 65535 : uint16_t(roundHalfAway(weight));
    }
}

// True when every slot of the curve holds the same sample (NaN never does).
bool flatCurve(const Curve& curve) {
    return std::all_of(curve.samples + 1, curve.samples + kCurveSlots, [&](float v) { return v == curve.samples[0]; });
}

// With a flat intensity curve, and a flat hue curve or none that matters, a
// pixel's weight depends on its saturation's curve slot alone: the weight of
// every slot, the product taken as curveWeights takes it.
// (32-bit entries, for the vector gathers).
struct SlotWeights {
    int32_t weight[kCurveSlots];

    explicit SlotWeights(const CurveSet& curves) {
        const double intensity = curves.intensity.samples[0], hue = curves.hue.samples[maskCurveIndex(0)];
        for (int slot = 0; slot < kCurveSlots; ++slot) {
            const double w = intensity * double(curves.saturation.samples[slot]) * hue * 65535;
            weight[slot] = !(w > 0) ? 0 : w >= 65535 ? 65535 : int32_t(roundHalfAway(w));
        }
    }
};

// The saturation of rgbToHsiWithoutHue is (hi - lo) x 1.5 / 65535 up to a few
// units in the last place of a double (0 for greys, clamped to 1), then
// roundHalfAway(x 65535): twice that, t = 3 (hi - lo), is an integer, so an
// even t rounds to t / 2 however the doubles fall, an odd t to t / 2 or one
// more. When both lie in the same curve slot the slot is known without the
// doubles; otherwise (about one pixel in 128) the pixel is converted. The
// test for an odd t has no branch, as half the pixels go each way.
uint16_t saturationWeight(const uint16_t* rgb, const SlotWeights& slots) {
    const uint32_t r = rgb[0], g = rgb[1], b = rgb[2];
    const uint32_t hi = std::max(r, std::max(g, b)), lo = std::min(r, std::min(g, b));
    const uint32_t t = 3 * (hi - lo);
    const uint32_t k = std::min(t >> 1, 65535u);
    const uint32_t slot = curveSlot(k), nextSlot = curveSlot(k + 1);
    if (!((t & 1) & (nextSlot != slot))) return uint16_t(slots.weight[slot]);
    HsiPixel exact;
    rgbToHsiWithoutHue(rgb, exact);
    return uint16_t(slots.weight[maskCurveIndex(exact.saturation)]);
}

constexpr int32_t kMaskPieceRows = 32;  // rows per piece of work for one thread
constexpr int32_t kChunkPixels = 256;   // HSI pixels converted at a time, on the stack

}  // namespace

bool buildCurveMask(ImageBuffer& mask, const ImageBuffer& hsi, const CurveSet& curves, Point16 topLeft,
                    Point16 bottomRight, int threads, WorkerPool* pool) {
    // The mask is addressed with the HSI buffer's width, so both must match;
    // the rectangle is cut to the buffers.
    if (!mask.data || !hsi.data || mask.width != hsi.width || mask.height != hsi.height) return false;
    const int32_t top = std::max<int32_t>(topLeft.v, 0), left = std::max<int32_t>(topLeft.h, 0);
    const int32_t bottom = std::min<int32_t>(bottomRight.v, hsi.height);
    const int32_t right = std::min<int32_t>(bottomRight.h, hsi.width);
    if (right <= left) return true;
    const size_t rows = size_t(std::max(bottom - top, 0));
    forEachPiece(
        threads, rows, kMaskPieceRows,
        [&](size_t first, size_t end) {
            for (int32_t y = top + int32_t(first); y < top + int32_t(end); ++y) {
                const size_t rowStart = size_t(y) * size_t(hsi.width);
                curveWeights(reinterpret_cast<const HsiPixel*>(hsi.data) + rowStart + left, mask.data + rowStart + left,
                             right - left, curves);
            }
        },
        pool);
    return true;
}

bool buildCurveMaskFromRgb(ImageBuffer& mask, const ImageBuffer& rgb, const CurveSet& curves, Point16 topLeft,
                           Point16 bottomRight, bool withHue, int threads, WorkerPool* pool, VectorLevel level) {
    if (!mask.data || !rgb.data || mask.width != rgb.width || mask.height != rgb.height) return false;
    const int32_t top = std::max<int32_t>(topLeft.v, 0), left = std::max<int32_t>(topLeft.h, 0);
    const int32_t bottom = std::min<int32_t>(bottomRight.v, rgb.height);
    const int32_t right = std::min<int32_t>(bottomRight.h, rgb.width);
    if (right <= left) return true;
    level = supportedVectorLevel(level);
    const size_t rows = size_t(std::max(bottom - top, 0));
    if (flatCurve(curves.intensity) && (!withHue || flatCurve(curves.hue))) {
        const SlotWeights slots(curves);
        forEachPiece(
            threads, rows, kMaskPieceRows,
            [&](size_t first, size_t end) {
                for (int32_t y = top + int32_t(first); y < top + int32_t(end); ++y) {
                    const size_t rowStart = size_t(y) * size_t(rgb.width);
                    const uint16_t* in = rgb.data + rowStart * RgbChannels;
                    uint16_t* out = mask.data + rowStart;
                    int32_t x = left;
                    if (level == VectorLevel::Avx2)
                        x += int32_t(saturationWeightsAvx2(in + size_t(x) * RgbChannels, out + x, size_t(right - x),
                                                           slots.weight));
                    for (; x < right; ++x) out[x] = saturationWeight(in + size_t(x) * RgbChannels, slots);
                }
            },
            pool);
        return true;
    }
    forEachPiece(
        threads, rows, kMaskPieceRows,
        [&](size_t first, size_t end) {
            HsiPixel chunk[kChunkPixels];
            for (int32_t y = top + int32_t(first); y < top + int32_t(end); ++y) {
                const size_t rowStart = size_t(y) * size_t(rgb.width);
                for (int32_t x = left; x < right; x += kChunkPixels) {
                    const int32_t n = std::min(kChunkPixels, right - x);
                    const uint16_t* in = rgb.data + (rowStart + size_t(x)) * RgbChannels;
                    // With AVX2 only the fields the weight reads are made,
                    // each exact to its curve slot, the hue apart.
                    if (level == VectorLevel::Avx2) {
                        const size_t done = maskFieldsAvx2(in, chunk, size_t(n));
                        rgbToHsiWithoutHueRow(in + done * RgbChannels, chunk + done, size_t(n) - done, level);
                        if (withHue) maskHuesAvx2(in, chunk, size_t(n));
                    } else if (withHue) {
                        for (int32_t i = 0; i < n; ++i) rgbToHsi(in + i * RgbChannels, chunk[i]);
                    } else {
                        rgbToHsiWithoutHueRow(in, chunk, size_t(n), level);
                    }
                    curveWeights(chunk, mask.data + rowStart + size_t(x), n, curves);
                }
            }
        },
        pool);
    return true;
}

bool copyMask(ImageBuffer& dst, const ImageBuffer& src) {
    if (dst.width != src.width || dst.height != src.height) return false;
    if (!dst.data || !src.data) return dst.data == src.data;
    if (dst.data != src.data) std::memcpy(dst.data, src.data, size_t(src.width) * size_t(src.height) * 2);
    return true;
}

bool scaleMask(ImageBuffer& mask, double factor) {
    if (!mask.data) return false;
    const size_t n = size_t(mask.width) * size_t(mask.height);
    for (size_t i = 0; i < n; ++i) {
        const double v = mask.data[i] * factor;
        // Written so that a NaN factor empties the mask instead of converting NaN.
        mask.data[i] = !(v > 0) ? 0 : (v >= 65535 ? 65535 : uint16_t(v));
    }
    return true;
}

bool multiplyMask(ImageBuffer& mask, const ImageBuffer& other) {
    if (mask.width != other.width || mask.height != other.height || !mask.data || !other.data) return false;
    const size_t n = size_t(mask.width) * size_t(mask.height);
    for (size_t i = 0; i < n; ++i) mask.data[i] = uint16_t(uint32_t(mask.data[i]) * other.data[i] / 65535);
    return true;
}

void sampleRegionStats(const ImageBuffer& hsi, Rect16 rect, SampleStats& stats) {
    for (int f = 0; f < 5; ++f) {
        stats.values[2 * f] = 0;
        stats.values[2 * f + 1] = 65535;
    }
    const int32_t top = std::max<int32_t>(rect.top, 0), left = std::max<int32_t>(rect.left, 0);
    const int32_t bottom = std::min<int32_t>(rect.bottom, hsi.height);
    const int32_t right = std::min<int32_t>(rect.right, hsi.width);
    if (hsi.data) {
        for (int32_t y = top; y < bottom; ++y) {
            const uint16_t* p = hsi.data + (size_t(y) * size_t(hsi.width) + size_t(left)) * HsiChannels;
            for (int32_t x = left; x < right; ++x, p += HsiChannels) {
                for (int f = 0; f < 5; ++f) {
                    stats.values[2 * f] = std::max(stats.values[2 * f], p[f]);
                    stats.values[2 * f + 1] = std::min(stats.values[2 * f + 1], p[f]);
                }
            }
        }
    }
    // Widen the hue range by 5 degrees at each end, around the circle.
    double high = stats.values[0] * 360.0 / 65535 + 5.0;
    if (high >= 360) high = std::fmod(high, 360.0);
    stats.values[0] = uint16_t(roundHalfAway(high * 65535 * 0.002777777777777778));
    double low = stats.values[1] * 360.0 / 65535 - 5.0;
    if (low < 0) low += 360;
    stats.values[1] = uint16_t(roundHalfAway(low * 65535 * 0.002777777777777778));
}
