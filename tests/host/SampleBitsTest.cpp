#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "host/SampleBits.h"

namespace {

bool bitAt(const std::vector<uint64_t>& bits, size_t i) { return (bits[i >> 6] >> (i & 63)) & 1; }

// Runs starting and ending inside words, on word edges, and spanning several
// words agree with one bit at a time; bits outside a run are left alone.
TEST(SampleBits, RunsAgreeWithOneBitAtATime) {
    std::mt19937 rng(9);
    const size_t runs[][2] = {{0, 0}, {0, 64}, {3, 5}, {63, 2}, {64, 128}, {5, 300}, {100, 1}, {1, 383}};
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
    }
}

}  // namespace
