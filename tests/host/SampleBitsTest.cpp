#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "host/FileValueRuns.h"
#include "host/SampleBits.h"

namespace {

bool bitAt(const std::vector<uint64_t>& bits, size_t i) { return (bits[i >> 6] >> (i & 63)) & 1; }

// Word patterns: none, all, alternating, lone bits at either end, random.
std::vector<uint64_t> wordPatterns(std::mt19937& rng) {
    std::vector<uint64_t> words = {0, ~uint64_t(0), 0x5555555555555555u, 0xAAAAAAAAAAAAAAAAu, 1, uint64_t(1) << 63};
    for (int i = 0; i < 6; ++i) words.push_back((uint64_t(rng()) << 32) ^ rng());
    return words;
}

// Runs starting and ending inside words, on word edges, and spanning several
// words agree with one bit at a time; bits outside a run are left alone.
TEST(SampleBits, RunsAgreeWithOneBitAtATime) {
    std::mt19937 rng(9);
    const size_t runs[][2] = {{0, 0},   {0, 64},  {3, 5},   {63, 2},  {64, 128}, {5, 300},
                              {100, 1}, {1, 383}, {0, 384}, {64, 63}, {127, 193}};
    for (const auto& run : runs) {
        std::vector<uint64_t> bits(6);
        for (uint64_t& w : bits) w = (uint64_t(rng()) << 32) ^ rng();
        const std::vector<uint64_t> before = bits;
        size_t expectedCount = 0;
        for (size_t i = run[0]; i < run[0] + run[1]; ++i) expectedCount += bitAt(before, i);
        EXPECT_EQ(countBitRun(bits.data(), run[0], run[1]), expectedCount) << run[0] << "+" << run[1];

        setBitRun(bits.data(), run[0], run[1]);
        for (size_t i = 0; i < 384; ++i) {
            const bool inside = i >= run[0] && i < run[0] + run[1];
            ASSERT_EQ(bitAt(bits, i), inside || bitAt(before, i)) << i;
        }

        std::vector<uint16_t> a(run[1]), b(run[1]);
        for (size_t i = 0; i < run[1]; ++i) a[i] = b[i] = uint16_t(rng());
        for (size_t i = 0; i < run[1]; i += 1 + rng() % 7) b[i] ^= uint16_t(1 + rng() % 65535);
        std::vector<uint64_t> diff(6, 0);
        setDifferenceBits(a.data(), b.data(), run[1], diff.data(), run[0]);
        for (size_t i = 0; i < 384; ++i) {
            const bool differs = i >= run[0] && i < run[0] + run[1] && a[i - run[0]] != b[i - run[0]];
            ASSERT_EQ(bitAt(diff, i), differs) << i;
        }
        // Storing b's bytes (at an odd address) over a marks the same bits
        // in one pass and leaves b's values.
        std::vector<uint8_t> bytes(2 * run[1] + 1);
        if (run[1]) std::memcpy(bytes.data() + 1, b.data(), 2 * run[1]);
        std::vector<uint64_t> marked(6, 0);
        storeMarkingDifferences(bytes.data() + 1, a.data(), run[1], marked.data(), run[0]);
        EXPECT_EQ(marked, diff);
        EXPECT_EQ(a, b);
    }
}

// Restoring clear bits only agrees with testing every sample's bit, for runs
// at any place in a word, host values past the table included; samples of
// set bits and bytes outside the run are never written.
TEST(SampleBits, ClearBitsRestoreAsOneSampleAtATime) {
    std::mt19937 rng(11);
    std::vector<uint16_t> restore(32769);
    for (uint16_t& v : restore) v = uint16_t(rng());
    const std::vector<uint64_t> words = wordPatterns(rng);
    const size_t firsts[] = {0, 1, 37, 63, 64, 65, 130}, lengths[] = {0, 1, 2, 63, 64, 65, 127, 128, 200, 300};
    for (size_t w = 0; w < words.size(); ++w) {
        std::vector<uint64_t> bits(8);
        for (size_t k = 0; k < bits.size(); ++k) bits[k] = words[(w + k) % words.size()];
        for (size_t first : firsts) {
            for (size_t n : lengths) {
                std::vector<uint16_t> h(n + 1);
                for (uint16_t& v : h) v = uint16_t(rng() % 33000);  // a few past 32768
                std::vector<uint16_t> fast(n + 1, 7), plain(n + 1, 7);
                for (size_t i = 0; i < n; ++i)
                    if (!bitAt(bits, first + i) && h[i] < restore.size()) plain[i] = restore[h[i]];
                restoreClearSamples(h.data(), n, bits.data(), first, restore, fast.data());
                ASSERT_EQ(fast, plain) << w << " " << first << "+" << n;
            }
        }
    }
}

}  // namespace
