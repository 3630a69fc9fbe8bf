// Exact 16-bit file values without a second copy of the image. The host sees
// a 16-bit file's colour samples at half their precision (0..32768), through
// a mapping that never decreases, so the file values that arrive as one host
// value form a run of one or two neighbours. A reader keeps one bit per
// sample saying which member of its run the file held; a writer gives a
// sample the run left unchanged its file value back from that bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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
    // The member bit of file value v (at most lastValue).
    bool memberOf(uint32_t v) const { return v != first[hostOf[v]]; }
};

// Runs of hostOf, a never-decreasing mapping of the file values 0..lastValue
// (hostOf.size() - 1) onto host values 0..32768 or the reverse (CMYK).
// Empty first when a host value gathers more than two file values, which one
// bit cannot tell apart.
FileValueRuns fileValueRuns(std::vector<uint16_t> hostOf);

// One bit per sample, packed.
inline void setSampleBit(std::vector<uint64_t>& bits, size_t i) { bits[i >> 6] |= uint64_t(1) << (i & 63); }
inline bool sampleBit(const std::vector<uint64_t>& bits, size_t i) { return (bits[i >> 6] >> (i & 63)) & 1u; }
inline size_t sampleBitWords(size_t samples) { return (samples + 63) / 64; }
