// Lane for lane the pixel-by-pixel path: hi and lo of the channels, t =
// 3 (hi - lo), k = min(t / 2, 65535), its slot, and for an odd t whose k and
// k + 1 lie in different slots the full conversion of that pixel. All but
// that conversion, the weights and the intensity fit sixteen-bit lanes.
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

// k = min(3 d / 2, 65535) of sixteen spreads d = hi - lo, and its slot;
// ambiguous gets a bit (the odd bit of each pixel's two bytes) for the
// pixels whose odd t = 3 d leaves the slot to the full conversion.
__attribute__((target("avx2"))) inline __m256i halfTripleSpread(__m256i d, __m256i& slot, uint32_t& ambiguous) {
    // k = d + d / 2 with unsigned saturation; the slot (k x 65473) >> 22 as
    // maskCurveIndex takes it: the sixteen high bits of the product, >> 6.
    const __m256i k = _mm256_adds_epu16(d, _mm256_srli_epi16(d, 1));
    const __m256i factor = _mm256_set1_epi16(int16_t(65473)), ones = _mm256_set1_epi16(-1);
    slot = _mm256_srli_epi16(_mm256_mulhi_epu16(k, factor), 6);
    const __m256i nextSlot = _mm256_srli_epi16(_mm256_mulhi_epu16(_mm256_sub_epi16(k, ones), factor), 6);
    // t = 3 d is odd when d is; k = 65535 has no k + 1 (the sum wraps).
    const __m256i odd = _mm256_slli_epi16(d, 15);
    const __m256i decided = _mm256_or_si256(_mm256_cmpeq_epi16(slot, nextSlot), _mm256_cmpeq_epi16(k, ones));
    ambiguous = uint32_t(_mm256_movemask_epi8(_mm256_andnot_si256(decided, odd)));
    return k;
}

// Sixteen 32-bit values in two halves as sixteen-bit lanes in pixel order
// (packus interleaves the 128-bit halves; the permutation undoes it).
__attribute__((target("avx2"))) inline __m256i narrow(__m256i low, __m256i high) {
    return _mm256_permute4x64_epi64(_mm256_packus_epi32(low, high), 0xD8);
}

// Eight sixteen-bit lanes widened to 32 bits (half 0 low, 1 high).
__attribute__((target("avx2"))) inline __m256i widen(__m256i v, int half) {
    return _mm256_cvtepu16_epi32(half ? _mm256_extracti128_si256(v, 1) : _mm256_castsi256_si128(v));
}

// Sixteen pixels from p: their channels (r, g, b) and, as halfTripleSpread
// gives them, k, its slot and the ambiguous pixels.
struct SixteenPixels {
    __m256i channels[3];
    __m256i k, slot;
    uint32_t ambiguous;
};

__attribute__((target("avx2"))) inline SixteenPixels sixteenPixels(const uint16_t* p) {
    SixteenPixels px;
    const __m256i v[3] = {loadPair(p, p + 24), loadPair(p + 8, p + 32), loadPair(p + 16, p + 40)};
    for (int c = 0; c < 3; ++c) px.channels[c] = channel(v, c);
    const __m256i r = px.channels[0], g = px.channels[1], b = px.channels[2];
    const __m256i hi = _mm256_max_epu16(r, _mm256_max_epu16(g, b));
    const __m256i lo = _mm256_min_epu16(r, _mm256_min_epu16(g, b));
    px.k = halfTripleSpread(_mm256_sub_epi16(hi, lo), px.slot, px.ambiguous);
    return px;
}

}  // namespace

__attribute__((target("avx2"))) size_t saturationWeightsAvx2(const uint16_t* rgb, uint16_t* out, size_t count,
                                                             const int32_t* slotWeight) {
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const uint16_t* p = rgb + 3 * i;
        SixteenPixels px = sixteenPixels(p);
        const __m256i low = _mm256_i32gather_epi32(slotWeight, widen(px.slot, 0), 4);
        const __m256i high = _mm256_i32gather_epi32(slotWeight, widen(px.slot, 1), 4);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), narrow(low, high));
        while (px.ambiguous) {
            const int lane = __builtin_ctz(px.ambiguous) / 2;
            px.ambiguous &= px.ambiguous - 1;
            HsiPixel exact;
            rgbToHsiWithoutHue(p + 3 * lane, exact);
            out[i + size_t(lane)] = uint16_t(slotWeight[maskCurveIndex(exact.saturation)]);
        }
    }
    return i;
}

__attribute__((target("avx2"))) size_t maskFieldsAvx2(const uint16_t* rgb, HsiPixel* out, size_t count) {
    size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const uint16_t* p = rgb + 3 * i;
        SixteenPixels px = sixteenPixels(p);
        const __m256i r = px.channels[0], g = px.channels[1], b = px.channels[2];
        // The intensity (r + g + b + 1) / 3, truncated: a float quotient
        // below 65536 is within 2^-8 of the true one, whose fraction is 0,
        // 1/3 or 2/3, so the truncation is exact.
        __m256i intensity[2];
        for (int half = 0; half < 2; ++half) {
            const __m256i sum = _mm256_add_epi32(_mm256_add_epi32(widen(r, half), widen(g, half)),
                                                 _mm256_add_epi32(widen(b, half), _mm256_set1_epi32(1)));
            intensity[half] = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(sum), _mm256_set1_ps(3.0f)));
        }
        alignas(32) uint16_t saturations[16], intensities[16];
        _mm256_store_si256(reinterpret_cast<__m256i*>(saturations), px.k);
        _mm256_store_si256(reinterpret_cast<__m256i*>(intensities), narrow(intensity[0], intensity[1]));
        for (int j = 0; j < 16; ++j) {
            out[i + j].hue = 0;
            out[i + j].saturation = saturations[j];
            out[i + j].intensity = intensities[j];
        }
        while (px.ambiguous) {
            const int lane = __builtin_ctz(px.ambiguous) / 2;
            px.ambiguous &= px.ambiguous - 1;
            HsiPixel exact;
            rgbToHsiWithoutHue(p + 3 * lane, exact);
            out[i + size_t(lane)].saturation = exact.saturation;
        }
    }
    return i;
}

#else

size_t saturationWeightsAvx2(const uint16_t*, uint16_t*, size_t, const int32_t*) { return 0; }
size_t maskFieldsAvx2(const uint16_t*, HsiPixel*, size_t) { return 0; }

#endif
