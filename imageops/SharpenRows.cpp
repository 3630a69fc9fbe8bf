#include "imageops/SharpenRows.h"

#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace {

template <int N>
struct Lanes {
    typedef double D __attribute__((vector_size(N * 8)));
    typedef int32_t W __attribute__((vector_size(N * 4)));
};

template <int N>
__attribute__((always_inline)) inline void sharpenLanes(const uint16_t* in, uint16_t* out, int stride,
                                                        const uint16_t* mask, const double* s, const double* w,
                                                        const double* d) {
    using D = typename Lanes<N>::D;
    D c, sv, wv, dv;
    for (int j = 0; j < N; ++j) c[j] = in[size_t(j) * stride];
    std::memcpy(&sv, s, sizeof sv);
    std::memcpy(&wv, w, sizeof wv);
    std::memcpy(&dv, d, sizeof dv);
    const D v = (c + wv * sv) / dv;
    const D zero = {}, top = zero + 65535.0;
    D clamped = v > zero ? v : zero;  // NaN compares false: 0
    clamped = clamped > top ? top : clamped;
    const typename Lanes<N>::W t = __builtin_convertvector(clamped, typename Lanes<N>::W);
    for (int j = 0; j < N; ++j)
        if (mask[j]) out[size_t(j) * stride] = uint16_t(t[j]);
}

void plainRow(const uint16_t* in, uint16_t* out, int stride, const uint16_t* mask, const double* s, const double* w,
              const double* d, size_t begin, size_t count) {
    for (size_t i = begin; i < count; ++i)
        if (mask[i]) out[i * stride] = clampTruncate((in[i * stride] + w[i] * s[i]) / d[i]);
}

void rowSse2(const uint16_t* in, uint16_t* out, int stride, const uint16_t* mask, const double* s, const double* w,
             const double* d, size_t count) {
    size_t i = 0;
    for (; i + 2 <= count; i += 2)
        sharpenLanes<2>(in + i * stride, out + i * stride, stride, mask + i, s + i, w + i, d + i);
    plainRow(in, out, stride, mask, s, w, d, i, count);
}

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
// Four pixels with a multiplication by the divisor's reciprocal instead of
// the division. The product q is within 3 units in the last place of the
// exact quotient, as is the rounded division v (2^-53 each step), so where q
// lies more than 2^-40 q from any integer k < q < k + 1, v lies there too and
// the clamped truncation of v is k's clamp to 0..65535. Lanes closer to an
// integer (flat areas give whole quotients) are divided, four at a time, as
// the plain loop divides them.
__attribute__((target("avx2"))) void rowAvx2(const uint16_t* in, uint16_t* out, int stride, const uint16_t* mask,
                                             const double* s, const double* w, const double* d, const double* rd,
                                             size_t count) {
    const __m256d margin = _mm256_set1_pd(1.0 / 1099511627776.0), one = _mm256_set1_pd(1.0);
    const __m256d zero = _mm256_setzero_pd(), top = _mm256_set1_pd(65535.0);
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const uint16_t* c = in + i * stride;
        const __m256d centre = _mm256_set_pd(c[3 * stride], c[2 * stride], c[stride], c[0]);
        const __m256d n = _mm256_add_pd(centre, _mm256_mul_pd(_mm256_loadu_pd(w + i), _mm256_loadu_pd(s + i)));
        const __m256d q = _mm256_mul_pd(n, _mm256_loadu_pd(rd + i));
        const __m256d k = _mm256_floor_pd(q);
        const __m256d eps = _mm256_mul_pd(_mm256_and_pd(q, magnitude), margin);
        // Unselected lanes (kept below) need no division either.
        const __m128i unselected =
            _mm_cmpeq_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(mask + i)), _mm_setzero_si128());
        const __m256d clear =
            _mm256_or_pd(_mm256_castsi256_pd(_mm256_cvtepi16_epi64(unselected)),
                         _mm256_and_pd(_mm256_cmp_pd(_mm256_sub_pd(q, k), eps, _CMP_GT_OQ),
                                       _mm256_cmp_pd(_mm256_sub_pd(_mm256_add_pd(k, one), q), eps, _CMP_GT_OQ)));
        __m256d v = _mm256_min_pd(_mm256_max_pd(k, zero), top);
        if (_mm256_movemask_pd(clear) != 15) {
            // The division's lanes, clamped as clampTruncate does: max gives
            // its second operand, 0, for NaN.
            const __m256d exact = _mm256_div_pd(n, _mm256_loadu_pd(d + i));
            v = _mm256_blendv_pd(_mm256_min_pd(_mm256_max_pd(exact, zero), top), v, clear);
        }
        alignas(16) int32_t lanes[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), _mm256_cvttpd_epi32(v));
        for (int j = 0; j < 4; ++j) {
            uint16_t* o = out + (i + j) * stride;
            *o = mask[i + j] ? uint16_t(lanes[j]) : *o;
        }
    }
    plainRow(in, out, stride, mask, s, w, d, i, count);
}
#endif

}  // namespace

void sharpenChannelRow(const uint16_t* in, uint16_t* out, int stride, const uint16_t* mask, const double* s,
                       const double* w, const double* d, const double* rd, size_t count, VectorLevel level) {
    level = supportedVectorLevel(level);
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
    if (level == VectorLevel::Avx2) return rowAvx2(in, out, stride, mask, s, w, d, rd, count);
#endif
    if (level == VectorLevel::Sse2) return rowSse2(in, out, stride, mask, s, w, d, count);
    plainRow(in, out, stride, mask, s, w, d, 0, count);
}
