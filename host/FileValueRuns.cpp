#include "host/FileValueRuns.h"

FileValueRuns fileValueRuns(std::vector<uint16_t> hostOf) {
    FileValueRuns runs;
    runs.lastValue = uint32_t(hostOf.size()) - 1;
    runs.hostOf = std::move(hostOf);
    constexpr uint32_t kNone = 0x10000;
    std::vector<uint32_t> first(32769, kNone);
    std::vector<uint8_t> count(32769, 0);
    for (uint32_t v = 0; v <= runs.lastValue; ++v) {
        const uint16_t h = runs.hostOf[v];
        if (h > 32768) return runs;
        if (first[h] == kNone) first[h] = v;
        // A member apart from its run's start would break the mapping's order.
        if (++count[h] > 2 || v != first[h] + count[h] - 1u) return runs;
    }
    runs.first.resize(first.size());
    for (size_t h = 0; h < first.size(); ++h) runs.first[h] = uint16_t(first[h] == kNone ? 0 : first[h]);
    return runs;
}

ExactValues exactValues(const FileValueRuns& runs, const std::vector<uint16_t>& ownValue) {
    ExactValues exact;
    if (runs.first.empty() || ownValue.size() != runs.first.size()) return exact;
    exact.restore.resize(runs.first.size());
    for (size_t h = 0; h < exact.restore.size(); ++h) {
        uint32_t a = 0, b = 0;
        const bool hasA = runs.fileValue(uint16_t(h), false, a), hasB = runs.fileValue(uint16_t(h), true, b);
        exact.restore[h] = uint16_t(hasB && a == ownValue[h] ? b : hasA ? a : ownValue[h]);
    }
    exact.setFor.resize(size_t(runs.lastValue) + 1);
    for (uint32_t v = 0; v <= runs.lastValue; ++v) {
        const uint16_t h = runs.hostOf[v];
        exact.setFor[v] = !(v == exact.restore[h] && v != ownValue[h]);
    }
    return exact;
}

#if (defined(__x86_64__) || defined(__i386__)) && defined(__SSE2__) && defined(__GNUC__)
#include <immintrin.h>
#define CC_X86_VECTORS 1
#endif

namespace {

// 64 samples: host values stored, the bits of the word returned.
uint64_t plainWord(const uint16_t* s, uint16_t* colour) {
    uint64_t word = 0;
    for (unsigned k = 0; k < 64; ++k) {
        colour[k] = plainHost16(s[k]);
        word |= plainBit16(s[k]) << k;
    }
    return word;
}

#if defined(CC_X86_VECTORS)
// Lanes of all ones where a sample's bit is clear: its lowest bit differs
// from whether it exceeds 32768 (a signed compare after flipping the top).
inline __m128i clearLanes(__m128i v) {
    const __m128i above = _mm_cmpgt_epi16(_mm_xor_si128(v, _mm_set1_epi16(-32768)), _mm_setzero_si128());
    return _mm_srai_epi16(_mm_xor_si128(_mm_slli_epi16(v, 15), above), 15);
}

uint64_t sse2Word(const uint16_t* s, uint16_t* colour) {
    uint64_t clear = 0;
    for (unsigned k = 0; k < 64; k += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k + 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(colour + k), _mm_avg_epu16(a, _mm_setzero_si128()));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(colour + k + 8), _mm_avg_epu16(b, _mm_setzero_si128()));
        clear |= uint64_t(unsigned(_mm_movemask_epi8(_mm_packs_epi16(clearLanes(a), clearLanes(b))))) << k;
    }
    return ~clear;
}

__attribute__((target("avx2"))) inline __m256i clearLanes256(__m256i v) {
    const __m256i above = _mm256_cmpgt_epi16(_mm256_xor_si256(v, _mm256_set1_epi16(-32768)), _mm256_setzero_si256());
    return _mm256_srai_epi16(_mm256_xor_si256(_mm256_slli_epi16(v, 15), above), 15);
}

__attribute__((target("avx2"))) uint64_t avx2Word(const uint16_t* s, uint16_t* colour) {
    uint64_t clear = 0;
    for (unsigned k = 0; k < 64; k += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + k));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + k + 16));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(colour + k), _mm256_avg_epu16(a, _mm256_setzero_si256()));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(colour + k + 16), _mm256_avg_epu16(b, _mm256_setzero_si256()));
        // packs works within 128-bit halves; the permute puts a's bytes before b's.
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi16(clearLanes256(a), clearLanes256(b)), 0xD8);
        clear |= uint64_t(unsigned(_mm256_movemask_epi8(packed))) << k;
    }
    return ~clear;
}
#endif

}  // namespace

void takePlain16(const uint16_t* s, size_t n, uint16_t* colour, uint64_t* bits, size_t first, VectorLevel level) {
    level = supportedVectorLevel(level);
    auto one = [&](size_t i) {
        colour[i] = plainHost16(s[i]);
        bits[(first + i) >> 6] |= plainBit16(s[i]) << ((first + i) & 63);
    };
    size_t i = 0;
    for (; i < n && ((first + i) & 63) != 0; ++i) one(i);
    for (; i + 64 <= n; i += 64) {
        uint64_t word = 0;
#if defined(CC_X86_VECTORS)
        if (level == VectorLevel::Avx2)
            word = avx2Word(s + i, colour + i);
        else if (level == VectorLevel::Sse2)
            word = sse2Word(s + i, colour + i);
        else
#endif
            word = plainWord(s + i, colour + i);
        bits[(first + i) >> 6] |= word;
    }
    for (; i < n; ++i) one(i);
}
