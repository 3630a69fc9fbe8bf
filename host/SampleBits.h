// Runs of bits in packed one-bit-per-item vectors (bit i in word i / 64 at
// place i % 64), handled a whole word at a time where the run covers one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Sets bits [first, first + count).
inline void setBitRun(uint64_t* bits, size_t first, size_t count) {
    size_t i = first;
    const size_t end = first + count;
    for (; i < end && (i & 63) != 0; ++i) bits[i >> 6] |= uint64_t(1) << (i & 63);
    for (; i + 64 <= end; i += 64) bits[i >> 6] = ~uint64_t(0);
    for (; i < end; ++i) bits[i >> 6] |= uint64_t(1) << (i & 63);
}

// How many of bits [first, first + count) are set.
inline size_t countBitRun(const uint64_t* bits, size_t first, size_t count) {
    size_t i = first, n = 0;
    const size_t end = first + count;
    for (; i < end && (i & 63) != 0; ++i) n += (bits[i >> 6] >> (i & 63)) & 1;
    for (; i + 64 <= end; i += 64) n += size_t(__builtin_popcountll(bits[i >> 6]));
    for (; i < end; ++i) n += (bits[i >> 6] >> (i & 63)) & 1;
    return n;
}

// Sets bit first + i for every i < count where a[i] != b[i]. Words the run
// covers only in part are changed atomically, so that runs of other threads
// may share them.
inline void setDifferenceBits(const uint16_t* a, const uint16_t* b, size_t count, uint64_t* bits, size_t first) {
    size_t i = 0;
    uint64_t part = 0;
    for (; i < count && ((first + i) & 63) != 0; ++i) part |= uint64_t(a[i] != b[i]) << ((first + i) & 63);
    if (part) __atomic_fetch_or(&bits[first >> 6], part, __ATOMIC_RELAXED);
    for (; i + 64 <= count; i += 64) {
        uint64_t word = 0;
        for (unsigned k = 0; k < 64; ++k) word |= uint64_t(a[i + k] != b[i + k]) << k;
        bits[(first + i) >> 6] |= word;
    }
    part = 0;
    const size_t tail = i;
    for (; i < count; ++i) part |= uint64_t(a[i] != b[i]) << ((first + i) & 63);
    if (part) __atomic_fetch_or(&bits[(first + tail) >> 6], part, __ATOMIC_RELAXED);
}

// Copies count 16-bit samples (native byte order, any alignment) from bytes
// over to, and sets bit first + i for every sample i it gives another value:
// setDifferenceBits of the old and new samples in the same pass, without a
// copy of the old ones. Words the run covers only in part are changed
// atomically, as there.
inline void storeMarkingDifferences(const uint8_t* bytes, uint16_t* to, size_t count, uint64_t* bits, size_t first) {
    auto one = [&](size_t i) {
        uint16_t v;
        std::memcpy(&v, bytes + 2 * i, 2);
        const uint64_t differs = v != to[i];
        to[i] = v;
        return differs;
    };
    size_t i = 0;
    uint64_t part = 0;
    for (; i < count && ((first + i) & 63) != 0; ++i) part |= one(i) << ((first + i) & 63);
    if (part) __atomic_fetch_or(&bits[first >> 6], part, __ATOMIC_RELAXED);
    for (; i + 64 <= count; i += 64) {
        uint64_t same = 0;
#if defined(__SSE2__)
        // Eight samples a vector; 16 equal-or-not bytes give 16 bits.
        for (unsigned k = 0; k < 64; k += 16) {
            const __m128i* in = reinterpret_cast<const __m128i*>(bytes + 2 * (i + k));
            __m128i* out = reinterpret_cast<__m128i*>(to + i + k);
            const __m128i a = _mm_loadu_si128(in), b = _mm_loadu_si128(in + 1);
            const __m128i eqA = _mm_cmpeq_epi16(a, _mm_loadu_si128(out));
            const __m128i eqB = _mm_cmpeq_epi16(b, _mm_loadu_si128(out + 1));
            _mm_storeu_si128(out, a);
            _mm_storeu_si128(out + 1, b);
            same |= uint64_t(unsigned(_mm_movemask_epi8(_mm_packs_epi16(eqA, eqB)))) << k;
        }
#else
        for (unsigned k = 0; k < 64; ++k) same |= (one(i + k) ^ 1) << k;
#endif
        bits[(first + i) >> 6] |= ~same;
    }
    part = 0;
    const size_t tail = i;
    for (; i < count; ++i) part |= one(i) << ((first + i) & 63);
    if (part) __atomic_fetch_or(&bits[(first + tail) >> 6], part, __ATOMIC_RELAXED);
}
