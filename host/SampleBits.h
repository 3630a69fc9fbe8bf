// Runs of bits in packed one-bit-per-item vectors (bit i in word i / 64 at
// place i % 64), handled a whole word at a time where the run covers one.
#pragma once

#include <cstddef>
#include <cstdint>

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
