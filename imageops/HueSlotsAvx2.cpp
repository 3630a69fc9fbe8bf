// rgbToHsi's hue is ((90 - atan(x) x 180/pi) + offset), moved into 0..360,
// then rounded to sixteen bits; every step after the arctangent is monotonic,
// and so is the slot. Here the arctangent of x = (2R - G - B) / ((G - B)
// sqrt 3), from the integer channels, comes within 1e-10 of the value
// rgbToHsi's doubles and library give (their x is off by at most about 1e-10
// relative, the library by an ulp), and the hue is taken, with rgbToHsi's
// own steps, from that arctangent - 1e-8 and + 1e-8: when both ends land in
// one slot, so does rgbToHsi's hue. Pixels where they do not (a few in a
// million) are converted in full.
#include "imageops/HueSlotsAvx2.h"

#include "imageops/Mask.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)

#include <immintrin.h>

#include <cmath>

namespace {

constexpr double kDegreesPerRadian = 57.295779512896175;   // as rgbToHsi has them
constexpr double kHueUnitsPerDegree = 182.04166666666669;  // 65535 / 360
constexpr double kArctangentMargin = 1e-8;                 // radians

// The sixteen-bit hue and its slot from the hue in degrees, as rgbToHsi
// moves it into 0..360 and rounds it.
__attribute__((target("avx2"))) inline __m128i hueUnits(__m256d hue) {
    const __m256d full = _mm256_set1_pd(360), zero = _mm256_setzero_pd(), half = _mm256_set1_pd(0.5);
    const __m256d above = _mm256_cmp_pd(hue, full, _CMP_GT_OQ), below = _mm256_cmp_pd(hue, zero, _CMP_LT_OQ);
    hue = _mm256_blendv_pd(hue, _mm256_sub_pd(hue, full), above);
    hue = _mm256_blendv_pd(hue, _mm256_add_pd(hue, full), below);
    const __m256d v = _mm256_mul_pd(hue, _mm256_set1_pd(kHueUnitsPerDegree));
    const __m256d rounded =
        _mm256_blendv_pd(_mm256_sub_pd(v, half), _mm256_add_pd(v, half), _mm256_cmp_pd(v, zero, _CMP_GT_OQ));
    return _mm_and_si128(_mm256_cvttpd_epi32(rounded), _mm_set1_epi32(0xFFFF));
}

// maskCurveIndex of four sixteen-bit values in 32-bit lanes.
__attribute__((target("avx2"))) inline __m128i slots(__m128i units) {
    return _mm_srli_epi32(_mm_mullo_epi32(units, _mm_set1_epi32(65473)), 22);
}

// atan(y / x) for 0 <= y <= x, x > 0, within 1e-10: reduced to |u| <=
// tan(pi / 8) by atan(t) = pi/4 + atan((t - 1)/(t + 1)), then the Taylor
// series to u^21 (the rest is below 1e-10).
__attribute__((target("avx2"))) inline __m256d arctangentOfRatio(__m256d y, __m256d x) {
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d t = _mm256_div_pd(y, x);
    const __m256d mid = _mm256_cmp_pd(t, _mm256_set1_pd(0.41421356237309503), _CMP_GT_OQ);
    const __m256d u = _mm256_blendv_pd(t, _mm256_div_pd(_mm256_sub_pd(t, one), _mm256_add_pd(t, one)), mid);
    const __m256d z = _mm256_mul_pd(u, u);
    __m256d sum = _mm256_set1_pd(1.0 / 21);
    for (int n = 9; n >= 0; --n)
        sum = _mm256_add_pd(_mm256_set1_pd((n % 2 ? -1.0 : 1.0) / (2 * n + 1)), _mm256_mul_pd(z, sum));
    return _mm256_add_pd(_mm256_mul_pd(u, sum), _mm256_and_pd(mid, _mm256_set1_pd(0.78539816339744831)));
}

// atan(x) for x = numerator / denominator, both finite and not both 0.
__attribute__((target("avx2"))) inline __m256d arctangent(__m256d numerator, __m256d denominator) {
    const __m256d signBit = _mm256_set1_pd(-0.0);
    const __m256d an = _mm256_andnot_pd(signBit, numerator), ad = _mm256_andnot_pd(signBit, denominator);
    const __m256d big = _mm256_cmp_pd(an, ad, _CMP_GT_OQ);  // |x| > 1: pi/2 - atan(1 / |x|)
    __m256d a = arctangentOfRatio(_mm256_min_pd(an, ad), _mm256_max_pd(an, ad));
    a = _mm256_blendv_pd(a, _mm256_sub_pd(_mm256_set1_pd(1.5707963267948966), a), big);
    return _mm256_or_pd(a, _mm256_and_pd(signBit, _mm256_xor_pd(numerator, denominator)));
}

// The sixteen-bit hues of four pixels from arctangent a + margin (returned)
// and a - margin (otherEnd), given the g < b and g == b lane masks and
// rgbToHsi's hue for g == b (straight).
__attribute__((target("avx2"))) inline __m128i hueEnds(__m256d a, __m256d gBelowB, __m256d gEqualsB, __m256d straight,
                                                       __m128i& otherEnd, __m256d margin) {
    const __m256d ninety = _mm256_set1_pd(90), factor = _mm256_set1_pd(kDegreesPerRadian);
    const __m256d offset = _mm256_and_pd(gBelowB, _mm256_set1_pd(180));
    const __m256d low = _mm256_add_pd(_mm256_sub_pd(ninety, _mm256_mul_pd(_mm256_add_pd(a, margin), factor)), offset);
    const __m256d high = _mm256_add_pd(_mm256_sub_pd(ninety, _mm256_mul_pd(_mm256_sub_pd(a, margin), factor)), offset);
    otherEnd = hueUnits(_mm256_blendv_pd(high, straight, gEqualsB));
    return hueUnits(_mm256_blendv_pd(low, straight, gEqualsB));
}

// Four 32-bit lanes (the low or high half) widened to 64 bits.
__attribute__((target("avx2"))) inline __m256d wide(__m256i mask, int half) {
    return _mm256_castsi256_pd(
        _mm256_cvtepi32_epi64(half ? _mm256_extracti128_si256(mask, 1) : _mm256_castsi256_si128(mask)));
}

__attribute__((target("avx2"))) inline __m256d doubles(__m256i v, int half) {
    return _mm256_cvtepi32_pd(half ? _mm256_extracti128_si256(v, 1) : _mm256_castsi256_si128(v));
}

}  // namespace

__attribute__((target("avx2"))) void maskHuesAvx2(const uint16_t* rgb, HsiPixel* out, size_t count) {
    const __m256d root3 = _mm256_set1_pd(std::sqrt(3.0)), margin = _mm256_set1_pd(kArctangentMargin);
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const uint16_t* p = rgb + 3 * i;
        const __m256i r = _mm256_setr_epi32(p[0], p[3], p[6], p[9], p[12], p[15], p[18], p[21]);
        const __m256i g = _mm256_setr_epi32(p[1], p[4], p[7], p[10], p[13], p[16], p[19], p[22]);
        const __m256i b = _mm256_setr_epi32(p[2], p[5], p[8], p[11], p[14], p[17], p[20], p[23]);
        const __m256i numerator = _mm256_sub_epi32(_mm256_sub_epi32(_mm256_add_epi32(r, r), g), b);
        const __m256i difference = _mm256_sub_epi32(g, b);
        const __m256i gEqualsB = _mm256_cmpeq_epi32(g, b), gBelowB = _mm256_cmpgt_epi32(b, g);
        // g == b (greys included): 0 degrees when r >= g, else 180, as
        // rgbToHsi gives (0 for a grey).
        const __m256i rBelowG = _mm256_cmpgt_epi32(g, r);
        alignas(16) int32_t hue[8];
        uint32_t straddling = 0;  // a bit for each pixel whose ends lie in different slots
        for (int half = 0; half < 2; ++half) {
            // The g == b lanes divide by 1 instead of 0; their result is not used.
            const __m256d equal = wide(gEqualsB, half);
            const __m256d denominator =
                _mm256_blendv_pd(_mm256_mul_pd(doubles(difference, half), root3), _mm256_set1_pd(1.0), equal);
            const __m256d a = arctangent(doubles(numerator, half), denominator);
            const __m256d straight = _mm256_and_pd(wide(rBelowG, half), _mm256_set1_pd(180));
            __m128i other;
            const __m128i units = hueEnds(a, wide(gBelowB, half), equal, straight, other, margin);
            _mm_store_si128(reinterpret_cast<__m128i*>(hue + 4 * half), units);
            const __m128i same = _mm_cmpeq_epi32(slots(units), slots(other));
            straddling |= uint32_t(~_mm_movemask_ps(_mm_castsi128_ps(same)) & 15) << (4 * half);
        }
        for (int j = 0; j < 8; ++j) out[i + j].hue = uint16_t(hue[j]);
        while (straddling) {
            const int j = __builtin_ctz(straddling);
            straddling &= straddling - 1;
            HsiPixel exact;
            rgbToHsi(p + 3 * j, exact);
            out[i + j].hue = exact.hue;
        }
    }
    for (; i < count; ++i) {
        HsiPixel exact;
        rgbToHsi(rgb + 3 * i, exact);
        out[i].hue = exact.hue;
    }
}

#else

void maskHuesAvx2(const uint16_t* rgb, HsiPixel* out, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        HsiPixel exact;
        rgbToHsi(rgb + 3 * i, exact);
        out[i].hue = exact.hue;
    }
}

#endif
