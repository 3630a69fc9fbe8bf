#include "tests/imageops/ReferenceOps.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace reference {
namespace {

int64_t roundHalfAway(double x) { return int64_t(x > 0 ? x + 0.5 : x - 0.5); }

int32_t radiusFor(double size) {
    if (!(size > 0)) return 0;
    return int32_t(std::ceil(size * 0.5) + 0.1);
}

// Distance in hundredths of a pixel.
int32_t distance(int32_t dy, int32_t dx) { return int32_t(roundHalfAway(std::sqrt(double(dx * dx + dy * dy)) * 100)); }

// Sample indexes of the flags: HSI 0, 1, 4; RGB and YUV 0, 1, 2; CMYK 0..3.
int strideOf(ColorModel model) { return model == ColorModel::HSI ? 5 : (model == ColorModel::CMYK ? 4 : 3); }
int fieldOf(ColorModel model, int flag) { return model == ColorModel::HSI && flag == 2 ? 4 : flag; }
int fieldCount(ColorModel model) { return model == ColorModel::CMYK ? 4 : 3; }

uint16_t* pixel(const ImageBuffer& b, int stride, int32_t x, int32_t y) {
    return b.data + (size_t(y) * b.width + x) * stride;
}

uint16_t clampTruncate(double v) {
    if (!(v > 0)) return 0;
    if (v > 65535) return 65535;
    return uint16_t(v);
}

}  // namespace

void sharpenRegion(const ImageBuffer& src, ImageBuffer& dst, const ImageBuffer& mask, ColorModel model,
                   const uint8_t flags[4], Point16 topLeft, Point16 bottomRight, double size, double amount) {
    const int stride = strideOf(model);
    const int32_t r = radiusFor(size);
    const double n = (2 * r + 1) * (2 * r + 1) - 1;
    const double g = 3.9 * std::exp(-6 * amount) + 1.1;
    for (int32_t y = topLeft.v; y < bottomRight.v; ++y)
        for (int32_t x = topLeft.h; x < bottomRight.h; ++x) {
            const uint16_t* c = pixel(src, stride, x, y);
            uint16_t* o = pixel(dst, stride, x, y);
            const uint16_t m = mask.data[size_t(y) * mask.width + x];
            for (int f = 0; f < fieldCount(model); ++f) {
                const int field = fieldOf(model, f);
                if (m == 0 || !flags[f] || r == 0) {
                    o[field] = c[field];
                    continue;
                }
                const double t = m / 65535.0;
                double s = 0;
                for (int32_t yy = y - r; yy <= y + r; ++yy)
                    for (int32_t xx = x - r; xx <= x + r; ++xx)
                        if (yy != y || xx != x) s += pixel(src, stride, xx, yy)[field];
                const double w = -1 / (((g + 1) - t) * n);
                const double d = 1 + w * n;
                o[field] = clampTruncate((c[field] + w * s) / d);
            }
        }
}

void softenRegion(const ImageBuffer& src, ImageBuffer& dst, const ImageBuffer& mask, ColorModel model,
                  const uint8_t flags[4], Point16 topLeft, Point16 bottomRight, double size) {
    const int stride = strideOf(model);
    const double half = size * 0.5;
    int32_t weight[101];
    for (int i = 0; i <= 100; ++i) weight[i] = int32_t(roundHalfAway(std::exp(-0.0002 * i * i) * 100));
    for (int32_t y = topLeft.v; y < bottomRight.v; ++y)
        for (int32_t x = topLeft.h; x < bottomRight.h; ++x) {
            const uint16_t* c = pixel(src, stride, x, y);
            uint16_t* o = pixel(dst, stride, x, y);
            const uint16_t m = mask.data[size_t(y) * mask.width + x];
            const double rr = (m * half) / 65535;
            for (int f = 0; f < fieldCount(model); ++f) o[fieldOf(model, f)] = c[fieldOf(model, f)];
            if (m == 0 || rr <= 0) continue;
            const int32_t k = int32_t(std::ceil(rr) + 0.1);
            const int32_t step = std::max(int32_t((2 * k) * 0.05), 1);
            int64_t w = 0;
            int64_t sums[4] = {0, 0, 0, 0};
            double sc = 0, ss = 0;
            for (double py = y - k; py < y + k + 0.01; py += step)
                for (double px = x - k; px < x + k + 0.01; px += step) {
                    const int32_t sy = int32_t(roundHalfAway(py)), sx = int32_t(roundHalfAway(px));
                    const int32_t d = distance(std::abs(sy - y), std::abs(sx - x)) / k;
                    if (d > 100) continue;
                    const int32_t sw = weight[d];
                    w += sw;
                    const uint16_t* p = pixel(src, stride, sx, sy);
                    for (int f = 0; f < fieldCount(model); ++f) {
                        if (!flags[f]) continue;
                        if (model == ColorModel::HSI && f == 0) {
                            const double angle = p[0] * 9.587526218051424e-05;
                            sc += sw * std::cos(angle);
                            ss += sw * std::sin(angle);
                        } else {
                            sums[f] += int64_t(p[fieldOf(model, f)]) * sw;
                        }
                    }
                }
            for (int f = 0; f < fieldCount(model); ++f) {
                if (!flags[f]) continue;
                if (model == ColorModel::HSI && f == 0) {
                    double a = std::atan2(ss, sc);
                    if (a < 0) a += 6.283185307;
                    o[0] = uint16_t(a * 10430.219195825479);
                } else {
                    o[fieldOf(model, f)] = uint16_t(sums[f] / w);
                }
            }
        }
}

void edgeMask(const ImageBuffer& src, ImageBuffer& dst, Point16 topLeft, Point16 bottomRight) {
    const int32_t r = std::min(int32_t(std::ceil(std::min(src.width, src.height) * 0.0025) + 0.1), 100);
    for (int32_t y = topLeft.v; y < bottomRight.v; ++y)
        for (int32_t x = topLeft.h; x < bottomRight.h; ++x) {
            const int32_t c = src.data[size_t(y) * src.width + x];
            double w = 0, s = 0;
            bool any = false;
            for (int32_t yy = std::max<int32_t>(topLeft.v, y - r); yy <= std::min<int32_t>(bottomRight.v - 1, y + r);
                 ++yy)
                for (int32_t xx = std::max<int32_t>(topLeft.h, x - r);
                     xx <= std::min<int32_t>(bottomRight.h - 1, x + r); ++xx) {
                    if (yy == y && xx == x) continue;
                    const int32_t d = distance(std::abs(yy - y), std::abs(xx - x)) / r;
                    if (d > 100) continue;
                    const double wi = 1.0 / d;
                    const int32_t v = src.data[size_t(yy) * src.width + xx];
                    w += wi;
                    s += wi * std::abs(c - v);
                    any = true;
                }
            dst.data[size_t(y) * dst.width + x] = any ? uint16_t(s / w) : 0;
        }
}

namespace {

// The common walk of expansion and contraction over the clipped disc window.
template <typename Value, typename Better>
void discWalk(const ImageBuffer& src, ImageBuffer& dst, Point16 topLeft, Point16 bottomRight, double size,
              uint16_t start, Value value, Better better) {
    const int32_t r = radiusFor(size);
    for (int32_t y = topLeft.v; y < bottomRight.v; ++y)
        for (int32_t x = topLeft.h; x < bottomRight.h; ++x) {
            uint16_t best = start;
            for (int32_t yy = std::max<int32_t>(topLeft.v, y - r); yy <= std::min<int32_t>(bottomRight.v - 1, y + r);
                 ++yy)
                for (int32_t xx = std::max<int32_t>(topLeft.h, x - r);
                     xx <= std::min<int32_t>(bottomRight.h - 1, x + r); ++xx) {
                    const int32_t d = r == 0 ? 0 : distance(std::abs(yy - y), std::abs(xx - x)) / r;
                    if (d > 100) continue;
                    const uint16_t v = value(d, src.data[size_t(yy) * src.width + xx]);
                    if (better(v, best)) best = v;
                }
            dst.data[size_t(y) * dst.width + x] = best;
        }
}

// Values outside 0..65535 (only from falloffs outside 0..1) are clamped.
uint16_t clampValue(double v) {
    if (!(v > 0)) return 0;
    if (v >= 65535) return 65535;
    return uint16_t(v);
}

}  // namespace

void expandMask(const ImageBuffer& src, ImageBuffer& dst, Point16 topLeft, Point16 bottomRight, double size,
                double falloff) {
    if (!std::isfinite(falloff)) falloff = 0;
    discWalk(
        src, dst, topLeft, bottomRight, size, 0,
        [falloff](int32_t d, uint16_t v) { return clampValue((1 - ((d * falloff) * 0.01)) * v); },
        [](uint16_t a, uint16_t b) { return a > b; });
}

void contractMask(const ImageBuffer& src, ImageBuffer& dst, Point16 topLeft, Point16 bottomRight, double size,
                  double falloff) {
    if (!std::isfinite(falloff)) falloff = 0;
    discWalk(
        src, dst, topLeft, bottomRight, size, 65535,
        [falloff](int32_t d, uint16_t v) { return clampValue(v + (((65535 - v) * falloff) * d) * 0.01); },
        [](uint16_t a, uint16_t b) { return a < b; });
}

}  // namespace reference
