#include "imageops/ColumnSums.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>
#define CC_HAVE_AVX2_COLUMNS 1
#endif

namespace {

void plainMove(uint32_t* sums, const uint16_t* enter, const uint16_t* leave, size_t begin, size_t count) {
    if (leave)
        for (size_t j = begin; j < count; ++j) sums[j] = sums[j] + enter[j] - leave[j];
    else
        for (size_t j = begin; j < count; ++j) sums[j] += enter[j];
}

#if defined(__SSE2__)
// Eight samples: enter - leave as 32-bit lanes (wrapping), added to the sums.
inline void moveEightSse2(uint32_t* sums, const uint16_t* enter, const uint16_t* leave) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(enter));
    const __m128i l = leave ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(leave)) : zero;
    const __m128i low = _mm_sub_epi32(_mm_unpacklo_epi16(e, zero), _mm_unpacklo_epi16(l, zero));
    const __m128i high = _mm_sub_epi32(_mm_unpackhi_epi16(e, zero), _mm_unpackhi_epi16(l, zero));
    __m128i* s = reinterpret_cast<__m128i*>(sums);
    _mm_storeu_si128(s, _mm_add_epi32(_mm_loadu_si128(s), low));
    _mm_storeu_si128(s + 1, _mm_add_epi32(_mm_loadu_si128(s + 1), high));
}

void moveSse2(uint32_t* sums, const uint16_t* enter, const uint16_t* leave, size_t count) {
    size_t j = 0;
    for (; j + 8 <= count; j += 8) moveEightSse2(sums + j, enter + j, leave ? leave + j : nullptr);
    plainMove(sums, enter, leave, j, count);
}
#endif

#if defined(CC_HAVE_AVX2_COLUMNS)
__attribute__((target("avx2"))) inline __m256i widen(const uint16_t* p) {
    return _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

__attribute__((target("avx2"))) void moveAvx2(uint32_t* sums, const uint16_t* enter, const uint16_t* leave,
                                              size_t count) {
    size_t j = 0;
    for (; j + 16 <= count; j += 16) {
        __m256i low = widen(enter + j), high = widen(enter + j + 8);
        if (leave) {
            low = _mm256_sub_epi32(low, widen(leave + j));
            high = _mm256_sub_epi32(high, widen(leave + j + 8));
        }
        __m256i* s = reinterpret_cast<__m256i*>(sums + j);
        _mm256_storeu_si256(s, _mm256_add_epi32(_mm256_loadu_si256(s), low));
        _mm256_storeu_si256(s + 1, _mm256_add_epi32(_mm256_loadu_si256(s + 1), high));
    }
    plainMove(sums, enter, leave, j, count);
}
#endif

void plainBox(const uint32_t* sums, const uint16_t* centre, int stride, int channel, int32_t r, size_t n, double* s) {
    const size_t span = size_t(2 * r + 1) * stride;
    sums += channel;
    centre += channel;
    // Signed, so that the steps and the conversion to double are single instructions.
    int64_t box = 0;
    for (size_t i = 0; i < span; i += stride) box += sums[i];
    for (size_t i = 0; i < n; ++i) {
        s[i] = double(box - centre[i * stride]);
        box += int64_t(sums[i * stride + span]) - int64_t(sums[i * stride]);
    }
}

#if defined(CC_HAVE_AVX2_COLUMNS)
// The samples of one pixel (3 or 4) side by side in 32-bit lanes, whose
// sums stay below 2^31 so that they convert as signed integers.
__attribute__((target("avx2"))) void boxAvx2(const uint32_t* sums, const uint16_t* centre, int stride,
                                             const int* enabled, int count, int32_t r, size_t n, double* const* s) {
    const size_t span = size_t(2 * r + 1) * stride;
    __m128i box = _mm_setzero_si128();
    for (size_t i = 0; i < span; i += stride)
        box = _mm_add_epi32(box, _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + i)));
    alignas(32) double lanes[4];
    for (size_t i = 0; i < n; ++i) {
        const uint32_t* p = sums + i * stride;
        const __m128i c = _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(centre + i * stride)));
        _mm256_store_pd(lanes, _mm256_cvtepi32_pd(_mm_sub_epi32(box, c)));
        for (int e = 0; e < count; ++e) s[e][i] = lanes[enabled[e]];
        box = _mm_add_epi32(box, _mm_sub_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + span)),
                                               _mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
    }
}
#endif

}  // namespace

void rowBoxSums(const uint32_t* sums, const uint16_t* centre, int stride, const int* enabled, int count, int32_t r,
                size_t n, double* const* s, VectorLevel level) {
#if defined(CC_HAVE_AVX2_COLUMNS)
    const int64_t side = 2 * int64_t(r) + 1;
    if (supportedVectorLevel(level) == VectorLevel::Avx2 && (stride == 3 || stride == 4) &&
        side * side * 65535 < (int64_t(1) << 31))
        return boxAvx2(sums, centre, stride, enabled, count, r, n, s);
#endif
    (void)level;
    for (int e = 0; e < count; ++e) plainBox(sums, centre, stride, enabled[e], r, n, s[e]);
}

void moveColumnSums(uint32_t* sums, const uint16_t* enter, const uint16_t* leave, size_t count, VectorLevel level) {
    level = supportedVectorLevel(level);
#if defined(CC_HAVE_AVX2_COLUMNS)
    if (level == VectorLevel::Avx2) return moveAvx2(sums, enter, leave, count);
#endif
#if defined(__SSE2__)
    if (level == VectorLevel::Sse2) return moveSse2(sums, enter, leave, count);
#endif
    plainMove(sums, enter, leave, 0, count);
}
