// Exact 16-bit file values without a second copy of the image. The host sees
// a 16-bit file's colour samples at half their precision (0..32768), through
// a monotonic mapping, so the file values that arrive as one host value form
// a run of one or two neighbours. One bit per sample (HostImage::changed)
// tells a writer which file value to write: set, its own value for the
// sample's host value, which is right for every sample a run changed and for
// those the file held that value; clear, the other member of the run, which
// the file held. A reader sets the bits of samples whose file value is the
// writer's own; a run sets the bit of every sample it changes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/VectorLevel.h"

struct FileValueRuns {
    std::vector<uint16_t> hostOf;  // file value -> host value, 0..lastValue
    std::vector<uint16_t> first;   // host value (0..32768) -> smallest file value giving it (0 when none does)
    uint32_t lastValue = 65535;    // the largest file value (a PNM file's maximum)

    // The file value a sample of host value h held, given its member bit;
    // false when h has no such member.
    bool fileValue(uint16_t h, bool member, uint32_t& value) const {
        if (h >= first.size()) return false;
        value = uint32_t(first[h]) + (member ? 1u : 0u);
        return value <= lastValue && hostOf[value] == h;
    }
};

// What the bits stand for, given the writer's own file value of each host
// value (ownValue, 32769 entries). Empty restore when runs is empty (nothing
// can be kept exact). A run of two members neither of which is the writer's
// own value (no mapping the readers build has one) keeps its first member
// exact only.
struct ExactValues {
    std::vector<uint16_t> restore;  // host value -> the file value a clear bit stands for
    std::vector<uint8_t> setFor;    // file value (0..lastValue) -> the bit a sample of it is read with
};
ExactValues exactValues(const FileValueRuns& runs, const std::vector<uint16_t>& ownValue);

// Runs of hostOf, a never-decreasing mapping of the file values 0..lastValue
// (hostOf.size() - 1) onto host values 0..32768 or the reverse (CMYK).
// Empty first when a host value gathers more than two file values, which one
// bit cannot tell apart.
FileValueRuns fileValueRuns(std::vector<uint16_t> hostOf);

// One bit per sample, packed.
inline void setSampleBit(std::vector<uint64_t>& bits, size_t i) { bits[i >> 6] |= uint64_t(1) << (i & 63); }
inline bool sampleBit(const std::vector<uint64_t>& bits, size_t i) { return (bits[i >> 6] >> (i & 63)) & 1u; }
inline size_t sampleBitWords(size_t samples) { return (samples + 63) / 64; }

// Gives back the file values of the samples whose bits are clear: for every
// i < n with bit first + i clear, out[i] = restore[h[i]] (h: host values);
// samples with set bits, or host values past restore's end, are left alone.
// Only the clear bits of each word are visited, so that a random pattern of
// bits costs no mispredicted branch per sample.
template <typename T>
void restoreClearSamples(const uint16_t* h, size_t n, const uint64_t* bits, size_t first,
                         const std::vector<uint16_t>& restore, T* out) {
    const size_t size = restore.size();
    for (size_t i = 0; i < n;) {
        const size_t at = first + i;
        const unsigned shift = unsigned(at & 63);
        const size_t span = std::min<size_t>(64 - shift, n - i);
        uint64_t clear = ~bits[at >> 6] >> shift;
        if (span < 64) clear &= (uint64_t(1) << span) - 1;
        if (~clear == 0) {  // a whole word clear (an image the run left alone): no bit search
            for (size_t k = i; k < i + 64; ++k)
                if (h[k] < size) out[k] = T(restore[h[k]]);
            i += 64;
            continue;
        }
        for (; clear; clear &= clear - 1) {
            const size_t k = i + size_t(__builtin_ctzll(clear));
            if (h[k] < size) out[k] = T(restore[h[k]]);
        }
        i += span;
    }
}

// The plain 16-bit mapping of RGB file values, worked out rather than looked
// up: fileToHost16(v) is (v + 1) / 2 rounded down, and hostToFile16 gives v
// back (its bit set) when v is even up to 32768 or odd above it; the other
// member of each run is the one a clear bit stands for.
inline uint16_t plainHost16(uint16_t v) { return uint16_t((uint32_t(v) + 1) >> 1); }
inline uint64_t plainBit16(uint16_t v) { return ((uint64_t(v) ^ uint64_t(v > 32768)) & 1) ^ 1; }

// Host values of n file samples s into colour, and their bits ORed into bits
// from index first on (see FileValueRuns.h), for the plain 16-bit mapping;
// level is lowered to what the processor has.
void takePlain16(const uint16_t* s, size_t n, uint16_t* colour, uint64_t* bits, size_t first,
                 VectorLevel level = widestVectorLevel());
