// The arithmetic is rgbToHsiWithoutHue's, operation for operation in the same
// order on each lane (no contraction into fused multiply-adds), so the doubles
// and the bytes are the same.
#include "imageops/HsiRows.h"

namespace {

template <int N>
struct Lanes {
    typedef double D __attribute__((vector_size(N * 8)));
    typedef int64_t M __attribute__((vector_size(N * 8)));  // comparison results
    typedef int32_t W __attribute__((vector_size(N * 4)));
};

// roundHalfAway(x x 65535), then the conversion to sixteen bits.
template <int N>
__attribute__((always_inline)) inline typename Lanes<N>::W scaled(typename Lanes<N>::D x) {
    using D = typename Lanes<N>::D;
    const D t = x * 65535.0;
    const D zero = {};
    const D rounded = t > zero ? t + 0.5 : t - 0.5;
    return __builtin_convertvector(rounded, typename Lanes<N>::W);
}

template <int N>
__attribute__((always_inline)) inline void convertLanes(const uint16_t* rgb, HsiPixel* out) {
    using D = typename Lanes<N>::D;
    using M = typename Lanes<N>::M;
    using W = typename Lanes<N>::W;
    D r, g, b;
    for (int j = 0; j < N; ++j) {
        r[j] = rgb[3 * j];
        g[j] = rgb[3 * j + 1];
        b[j] = rgb[3 * j + 2];
    }
    const M grey = (r == g) & (r == b);
    r = r / 65535.0;
    g = g / 65535.0;
    b = b / 65535.0;
    const D mean = (b + g + r) * (1.0 / 3.0);
    D lo = r, hi = r;
    lo = g < lo ? g : lo;
    lo = b < lo ? b : lo;
    hi = g > hi ? g : hi;
    hi = b > hi ? b : hi;
    const D hsiSaturation = 1 - lo / mean;
    const D minRG = g < r ? g : r, maxRG = r < g ? g : r;
    const D minMaxB = b < maxRG ? b : maxRG;
    const D mid = minRG < minMaxB ? minMaxB : minRG;
    D saturation = ((mid - lo) + (hi - mid)) * 0.5 + (hi - lo);
    const D one = D{} + 1.0;
    saturation = saturation > one ? one : saturation;

    const W greyLanes = __builtin_convertvector(grey, W), zero = {};
    const W hsiS = greyLanes ? zero : scaled<N>(hsiSaturation);
    const W s = greyLanes ? zero : scaled<N>(saturation);
    const W v = scaled<N>(hi);
    const W i = scaled<N>(mean);
    for (int j = 0; j < N; ++j) {
        out[j].hue = 0;
        out[j].hsiSaturation = uint16_t(hsiS[j]);
        out[j].saturation = uint16_t(s[j]);
        out[j].value = uint16_t(v[j]);
        out[j].intensity = uint16_t(i[j]);
    }
}

void rowSse2(const uint16_t* rgb, HsiPixel* out, size_t count) {
    size_t i = 0;
    for (; i + 2 <= count; i += 2) convertLanes<2>(rgb + 3 * i, out + i);
    for (; i < count; ++i) rgbToHsiWithoutHue(rgb + 3 * i, out[i]);
}

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
__attribute__((target("avx2"))) void rowAvx2(const uint16_t* rgb, HsiPixel* out, size_t count) {
    size_t i = 0;
    for (; i + 4 <= count; i += 4) convertLanes<4>(rgb + 3 * i, out + i);
    for (; i < count; ++i) rgbToHsiWithoutHue(rgb + 3 * i, out[i]);
}
#endif

}  // namespace

void rgbToHsiWithoutHueRow(const uint16_t* rgb, HsiPixel* out, size_t count, VectorLevel level) {
    level = supportedVectorLevel(level);
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
    if (level == VectorLevel::Avx2) return rowAvx2(rgb, out, count);
#endif
    if (level == VectorLevel::Sse2) return rowSse2(rgb, out, count);
    for (size_t i = 0; i < count; ++i) rgbToHsiWithoutHue(rgb + 3 * i, out[i]);
}
