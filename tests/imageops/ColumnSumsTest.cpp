#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "imageops/ColumnSums.h"

namespace {

// Column sums over 2r + 1 rows moved down one row, and the square sums along
// the row, at every vector level against plain loops: strides of 3 to 5,
// rows whose lengths leave every tail of the vectors, radii on both sides of
// the largest the signed 32-bit lanes hold (r = 90), and samples all at 65535
// (the largest sums) or random.
TEST(ColumnSums, EveryLevelMatchesThePlainSums) {
    struct Case {
        int stride;
        int32_t r, n;  // radius, pixels of the row
        bool full;     // every sample 65535
    };
    const Case cases[] = {{3, 1, 1, false}, {3, 2, 17, false}, {4, 3, 9, false}, {5, 1, 13, false},
                          {3, 90, 5, true}, {4, 90, 3, true},  {3, 91, 4, true}, {3, 7, 33, true}};
    std::mt19937 rng(9);
    for (const Case& c : cases) {
        const int32_t columns = c.n + 2 * c.r, rows = 2 * c.r + 2;
        const size_t samples = size_t(columns) * c.stride;
        std::vector<uint16_t> image(samples * rows + 1);  // one spare sample, read by the four-lane centre
        for (uint16_t& v : image) v = c.full ? 65535 : uint16_t(rng());
        // Plain: rows 0 .. 2r summed, then moved down by one row.
        std::vector<uint32_t> expected(samples + c.stride + 1, 0);
        for (int32_t y = 1; y <= 2 * c.r + 1; ++y)
            for (size_t j = 0; j < samples; ++j) expected[j] += image[size_t(y) * samples + j];
        const int enabled[4] = {0, 1, 2, c.stride - 1};
        for (VectorLevel level : {VectorLevel::Plain, VectorLevel::Sse2, VectorLevel::Avx2}) {
            std::vector<uint32_t> sums(samples + c.stride + 1, 0);
            for (int32_t y = 0; y <= 2 * c.r; ++y)
                moveColumnSums(sums.data(), image.data() + size_t(y) * samples, nullptr, samples, level);
            moveColumnSums(sums.data(), image.data() + size_t(2 * c.r + 1) * samples, image.data(), samples, level);
            ASSERT_EQ(sums, expected) << c.stride << " " << c.r << " level " << int(level);

            const uint16_t* centre = image.data() + size_t(c.r + 1) * samples + size_t(c.r) * c.stride;
            std::vector<double> s(size_t(4) * c.n);
            double* out[4] = {&s[0], &s[size_t(c.n)], &s[2 * size_t(c.n)], &s[3 * size_t(c.n)]};
            rowBoxSums(sums.data(), centre, c.stride, enabled, 4, c.r, size_t(c.n), out, level);
            for (int e = 0; e < 4; ++e)
                for (int32_t i = 0; i < c.n; ++i) {
                    int64_t box = 0;
                    for (int32_t t = 0; t <= 2 * c.r; ++t) box += expected[size_t(i + t) * c.stride + enabled[e]];
                    ASSERT_EQ(out[e][i], double(box - centre[size_t(i) * c.stride + enabled[e]]))
                        << c.stride << " " << c.r << " level " << int(level) << " pixel " << i;
                }
        }
    }
}

}  // namespace
