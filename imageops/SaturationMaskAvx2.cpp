// Lane for lane the arithmetic of the pixel-by-pixel path: hi and lo of the
// channels, t = 3 (hi - lo), k = min(t / 2, 65535), the slot trunc(k x
// kMaskCurveScale) in doubles (a product and a truncation, nothing to fuse),
// and for an odd t whose k and k + 1 lie in different slots the full
// conversion of that pixel.
#include "imageops/SaturationMaskAvx2.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)

#include <immintrin.h>

#include "imageops/ColorModel.h"
#include "imageops/Mask.h"

namespace {

// Byte shuffles that gather channel c of eight interleaved pixels from the
// source vector s (0..2) of three consecutive 16-byte loads into pixel order;
// lanes whose sample lies in another load get 0 (index with the top bit set).
struct ChannelShuffles {
    alignas(16) int8_t bytes[3][3][16];  // [channel][source][byte]

    constexpr ChannelShuffles() : bytes() {
        for (int c = 0; c < 3; ++c)
            for (int s = 0; s < 3; ++s)
                for (int p = 0; p < 8; ++p) {
                    const int sample = 3 * p + c - 8 * s;
                    const bool here = sample >= 0 && sample < 8;
                    bytes[c][s][2 * p] = here ? int8_t(2 * sample) : int8_t(-128);
                    bytes[c][s][2 * p + 1] = here ? int8_t(2 * sample + 1) : int8_t(-128);
                }
    }
};
constexpr ChannelShuffles kShuffles;

__attribute__((target("avx2"))) inline __m256i loadPair(const uint16_t* first, const uint16_t* second) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(first))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(second)), 1);
}

// Channel c of sixteen pixels: pixels 0..7 in the low half, 8..15 in the high.
__attribute__((target("avx2"))) inline __m256i channel(const __m256i v[3], int c) {
    __m256i out = _mm256_setzero_si256();
    for (int s = 0; s < 3; ++s) {
        const __m256i shuffle =
            _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(kShuffles.bytes[c][s])));
        out = _mm256_or_si256(out, _mm256_shuffle_epi8(v[s], shuffle));
    }
    return out;
}

// maskCurveIndex of eight values 0..65536 (the last only ever discarded).
__attribute__((target("avx2"))) inline __m256i slots(__m256i k) {
    const __m256d scale = _mm256_set1_pd(kMaskCurveScale);
    const __m128i low = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(k)), scale));
    const __m128i high = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(k, 1)), scale));
    return _mm256_min_epi32(_mm256_set_m128i(high, low), _mm256_set1_epi32(kCurveSlots - 1));
}

// The weights of eight pixels whose spreads hi - lo are d (32-bit lanes);
// ambiguous gets the lanes whose slot needs the full conversion (all ones).
__attribute__((target("avx2"))) inline __m256i eightWeights(__m256i d, const int32_t* slotWeight, __m256i& ambiguous) {
    const __m256i t = _mm256_add_epi32(d, _mm256_slli_epi32(d, 1));
    const __m256i top = _mm256_set1_epi32(65535), one = _mm256_set1_epi32(1);
    const __m256i k = _mm256_min_epi32(_mm256_srli_epi32(t, 1), top);
    const __m256i slot = slots(k), nextSlot = slots(_mm256_add_epi32(k, one));
    const __m256i odd = _mm256_cmpeq_epi32(_mm256_and_si256(t, one), one);
    const __m256i belowTop = _mm256_cmpgt_epi32(top, k);
    const __m256i sameSlot = _mm256_cmpeq_epi32(slot, nextSlot);
    ambiguous = _mm256_andnot_si256(sameSlot, _mm256_and_si256(odd, belowTop));
    return _mm256_i32gather_epi32(slotWeight, slot, 4);
}

}  // namespace

__attribute__((target("avx2"))) size_t saturationWeightsAvx2(const uint16_t* rgb, uint16_t* out, size_t count,
                                                             const int32_t* slotWeight) {
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const uint16_t* p = rgb + 3 * i;
        const __m256i v[3] = {loadPair(p, p + 24), loadPair(p + 8, p + 32), loadPair(p + 16, p + 40)};
        const __m256i r = channel(v, 0), g = channel(v, 1), b = channel(v, 2);
        const __m256i hi = _mm256_max_epu16(r, _mm256_max_epu16(g, b));
        const __m256i lo = _mm256_min_epu16(r, _mm256_min_epu16(g, b));
        const __m256i d = _mm256_sub_epi16(hi, lo);
        __m256i ambiguousLow, ambiguousHigh;
        const __m256i low = eightWeights(_mm256_cvtepu16_epi32(_mm256_castsi256_si128(d)), slotWeight, ambiguousLow);
        const __m256i high =
            eightWeights(_mm256_cvtepu16_epi32(_mm256_extracti128_si256(d, 1)), slotWeight, ambiguousHigh);
        // packus interleaves the 128-bit halves; the permutation puts the
        // sixteen weights back in pixel order.
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(low, high), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), packed);
        uint32_t ambiguous = uint32_t(_mm256_movemask_ps(_mm256_castsi256_ps(ambiguousLow))) |
                             uint32_t(_mm256_movemask_ps(_mm256_castsi256_ps(ambiguousHigh))) << 8;
        while (ambiguous) {
            const int lane = __builtin_ctz(ambiguous);
            ambiguous &= ambiguous - 1;
            HsiPixel exact;
            rgbToHsiWithoutHue(p + 3 * lane, exact);
            out[i + size_t(lane)] = uint16_t(slotWeight[maskCurveIndex(exact.saturation)]);
        }
    }
    return i;
}

#else

size_t saturationWeightsAvx2(const uint16_t*, uint16_t*, size_t, const int32_t*) { return 0; }

#endif
