#include <cmath>
#include <limits>

#include "imageops/MaskFilters.h"
#include "tests/imageops/ImageOpsTestSupport.h"
#include "tests/imageops/ReferenceOps.h"

namespace {

using MaskFilters = HostTest;

Point16 pt(int v, int h) { return Point16{int16_t(v), int16_t(h)}; }

TEST(MaskFilterRadius, FollowsSizeAndStaysSane) {
    EXPECT_EQ(radiusForSize(4), 2);
    EXPECT_EQ(radiusForSize(0.396), 1);
    EXPECT_EQ(radiusForSize(4.01), 3);
    EXPECT_EQ(radiusForSize(0), 0);
    EXPECT_EQ(radiusForSize(-10), 0);
    EXPECT_EQ(radiusForSize(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(radiusForSize(1e300), 32767);
}

TEST_F(MaskFilters, ExpandGrowsAPixelIntoADisc) {
    OwnedBuffer src(run, 9, 9, 1), dst(run, 9, 9, 1);
    *src.at(4, 4) = 65535;
    ASSERT_TRUE(expandMask(run, src.buffer, dst.buffer, pt(0, 0), pt(9, 9), 4, 0));
    EXPECT_EQ(*dst.at(4, 4), 65535);
    EXPECT_EQ(*dst.at(5, 4), 65535);  // d = 50
    EXPECT_EQ(*dst.at(5, 5), 65535);  // d = 70
    EXPECT_EQ(*dst.at(4, 6), 65535);  // d = 100
    EXPECT_EQ(*dst.at(5, 6), 0);      // d = 112
    EXPECT_EQ(*dst.at(6, 6), 0);      // d = 141

    ASSERT_TRUE(expandMask(run, src.buffer, dst.buffer, pt(0, 0), pt(9, 9), 4, 1.0));
    EXPECT_EQ(*dst.at(4, 4), 65535);
    EXPECT_EQ(*dst.at(3, 4), 32767);
    EXPECT_EQ(*dst.at(3, 3), 19660);
    EXPECT_EQ(*dst.at(4, 2), 0);
}

TEST_F(MaskFilters, ContractShrinksTowardsZeros) {
    OwnedBuffer src(run, 9, 9, 1), dst(run, 9, 9, 1);
    for (size_t i = 0; i < src.samples(); ++i) src.buffer.data[i] = 65535;
    ASSERT_TRUE(contractMask(run, src.buffer, dst.buffer, pt(0, 0), pt(9, 9), 4, 0.5));
    EXPECT_EQ(dst.copy(), src.copy());

    *src.at(4, 4) = 0;
    ASSERT_TRUE(contractMask(run, src.buffer, dst.buffer, pt(0, 0), pt(9, 9), 4, 0));
    EXPECT_EQ(*dst.at(4, 6), 0);
    EXPECT_EQ(*dst.at(5, 5), 0);
    EXPECT_EQ(*dst.at(5, 6), 65535);
}

TEST_F(MaskFilters, FalloffAboveOneNeverWrapsBelowZero) {
    OwnedBuffer src(run, 9, 9, 1), dst(run, 9, 9, 1);
    *src.at(4, 4) = 65535;
    ASSERT_TRUE(expandMask(run, src.buffer, dst.buffer, pt(0, 0), pt(9, 9), 4, 3.0));
    EXPECT_EQ(*dst.at(4, 4), 65535);
    EXPECT_EQ(*dst.at(4, 6), 0);  // 1 - 3 is negative: nothing, not a wrapped 16-bit value
}

TEST_F(MaskFilters, EdgeMapOfSinglePixelAndFlatAreas) {
    OwnedBuffer src(run, 10, 10, 1), dst(run, 10, 10, 1);
    for (size_t i = 0; i < src.samples(); ++i) src.buffer.data[i] = 30000;
    ASSERT_TRUE(edgeMask(run, src.buffer, dst.buffer, pt(0, 0), pt(10, 10)));
    for (size_t i = 0; i < dst.samples(); ++i) ASSERT_EQ(dst.buffer.data[i], 0);

    for (size_t i = 0; i < src.samples(); ++i) src.buffer.data[i] = 0;
    *src.at(5, 5) = 65535;
    ASSERT_TRUE(edgeMask(run, src.buffer, dst.buffer, pt(0, 0), pt(10, 10)));
    // Radius 1: the four direct neighbours weigh 0.01 each, diagonals are out.
    EXPECT_EQ(*dst.at(5, 5), 65535);
    EXPECT_EQ(*dst.at(5, 4), 16383);
    EXPECT_EQ(*dst.at(4, 4), 0);

    // A one-pixel rectangle has no neighbour.
    *dst.at(5, 5) = 7;
    ASSERT_TRUE(edgeMask(run, src.buffer, dst.buffer, pt(5, 5), pt(6, 6)));
    EXPECT_EQ(*dst.at(5, 5), 0);
}

TEST_F(MaskFilters, WindowsStopAtTheRectangle) {
    // Values outside the rectangle must not count: a bright frame around a
    // dark rectangle leaves the rectangle's results dark.
    OwnedBuffer src(run, 12, 12, 1), dst(run, 12, 12, 1);
    for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 12; ++x) *src.at(x, y) = (x < 3 || x >= 9 || y < 3 || y >= 9) ? 65535 : 100;
    ASSERT_TRUE(expandMask(run, src.buffer, dst.buffer, pt(3, 3), pt(9, 9), 6, 0));
    ASSERT_TRUE(edgeMask(run, src.buffer, dst.buffer, pt(3, 3), pt(9, 9)));
    EXPECT_EQ(*dst.at(3, 3), 0);
    ASSERT_TRUE(expandMask(run, src.buffer, dst.buffer, pt(3, 3), pt(9, 9), 6, 0.5));
    for (int32_t y = 3; y < 9; ++y)
        for (int32_t x = 3; x < 9; ++x) EXPECT_EQ(*dst.at(x, y), 100);
    EXPECT_EQ(*dst.at(2, 2), 0);  // nothing written outside
}

TEST_F(MaskFilters, RejectsBadRectanglesAndSizes) {
    OwnedBuffer src(run, 8, 8, 1), dst(run, 8, 8, 1), other(run, 9, 8, 1);
    for (size_t i = 0; i < dst.samples(); ++i) dst.buffer.data[i] = 123;
    const auto before = dst.copy();
    EXPECT_FALSE(edgeMask(run, src.buffer, dst.buffer, pt(0, 0), pt(9, 8)));
    EXPECT_FALSE(expandMask(run, src.buffer, dst.buffer, pt(-1, 0), pt(4, 4), 4, 0));
    EXPECT_FALSE(contractMask(run, src.buffer, dst.buffer, pt(4, 4), pt(2, 6), 4, 0));
    EXPECT_FALSE(expandMask(run, src.buffer, other.buffer, pt(0, 0), pt(4, 4), 4, 0));
    EXPECT_EQ(dst.copy(), before);
    // Odd sizes and falloffs do no harm.
    EXPECT_TRUE(expandMask(run, src.buffer, dst.buffer, pt(0, 0), pt(8, 8), -50, 0));
    EXPECT_TRUE(contractMask(run, src.buffer, dst.buffer, pt(0, 0), pt(8, 8), std::nan(""), std::nan("")));
}

TEST_F(MaskFilters, FailedTableLeavesDestinationAlone) {
    OwnedBuffer src(run, 40, 40, 1), dst(run, 40, 40, 1);
    const auto before = dst.copy();
    host.setBufferLimit(host.stats().liveBufferBytes + 16);
    EXPECT_FALSE(expandMask(run, src.buffer, dst.buffer, pt(0, 0), pt(40, 40), 20, 0));
    EXPECT_FALSE(edgeMask(run, src.buffer, dst.buffer, pt(0, 0), pt(40, 40)));
    host.setBufferLimit(0);
    EXPECT_EQ(dst.copy(), before);
}

// Fast filters against the plain walks, whole buffers compared, margins
// included (the destination starts with the same noise on both sides).
struct Shape {
    int32_t width, height, top, left, bottom, right;
};

void expectSameAsReference(const char* what, const OwnedBuffer& fast, const OwnedBuffer& slow) {
    ASSERT_EQ(fast.copy(), slow.copy()) << what;
}

TEST_F(MaskFilters, ExpandAndContractMatchThePlainWalk) {
    std::mt19937 rng(11);
    const Shape shapes[] = {{23, 17, 0, 0, 17, 23},
                            {40, 31, 3, 5, 27, 33},
                            {110, 30, 2, 3, 27, 107},
                            {7, 5, 1, 1, 4, 6},
                            {30, 110, 3, 2, 107, 27}};
    const double sizes[] = {0.5, 3.9, 8.6, 13, 24};
    const double falloffs[] = {0, 0.37, 1, 1.7, -0.3};
    for (const Shape& s : shapes)
        for (int pattern = 0; pattern < 3; ++pattern) {
            OwnedBuffer src(run, s.width, s.height, 1), fast(run, s.width, s.height, 1),
                slow(run, s.width, s.height, 1);
            if (pattern == 0) fillRandom(src, rng);
            if (pattern == 1) fillPatches(src, rng, 4);
            if (pattern == 2) fillPatches(src, rng, 9);
            for (double size : sizes)
                for (double falloff : falloffs)
                    for (int contract = 0; contract < 2; ++contract) {
                        fillRandom(slow, rng);
                        const std::vector<uint16_t> before = slow.copy();
                        const Point16 tl = pt(s.top, s.left), br = pt(s.bottom, s.right);
                        if (contract)
                            reference::contractMask(src.buffer, slow.buffer, tl, br, size, falloff);
                        else
                            reference::expandMask(src.buffer, slow.buffer, tl, br, size, falloff);
                        for (int threads : {1, 2, 3, 7}) {
                            run.setThreads(threads);
                            std::copy(before.begin(), before.end(), fast.buffer.data);
                            if (contract)
                                ASSERT_TRUE(contractMask(run, src.buffer, fast.buffer, tl, br, size, falloff));
                            else
                                ASSERT_TRUE(expandMask(run, src.buffer, fast.buffer, tl, br, size, falloff));
                            SCOPED_TRACE(testing::Message()
                                         << "size " << size << " falloff " << falloff << " contract " << contract
                                         << " pattern " << pattern << " threads " << threads);
                            expectSameAsReference("reshape", fast, slow);
                        }
                    }
        }
}

TEST_F(MaskFilters, RadiiAboveOneHundredMatchThePlainWalk) {
    // Above 100 true neighbours can have d = 0.
    std::mt19937 rng(12);
    OwnedBuffer src(run, 26, 22, 1), fast(run, 26, 22, 1), slow(run, 26, 22, 1);
    fillPatches(src, rng, 3);
    for (double falloff : {0.0, 0.6, 1.0}) {
        ASSERT_TRUE(expandMask(run, src.buffer, fast.buffer, pt(1, 2), pt(21, 25), 211, falloff));
        reference::expandMask(src.buffer, slow.buffer, pt(1, 2), pt(21, 25), 211, falloff);
        expectSameAsReference("expand", fast, slow);
        ASSERT_TRUE(contractMask(run, src.buffer, fast.buffer, pt(1, 2), pt(21, 25), 211, falloff));
        reference::contractMask(src.buffer, slow.buffer, pt(1, 2), pt(21, 25), 211, falloff);
        expectSameAsReference("contract", fast, slow);
    }
}

TEST_F(MaskFilters, EdgeMapMatchesThePlainWalk) {
    std::mt19937 rng(13);
    // The radius follows the buffer's shorter side: 1 up to 400, 2 up to 800, ...
    const Shape shapes[] = {{30, 20, 0, 0, 20, 30},         {41, 33, 4, 3, 30, 37},           {25, 120, 1, 2, 118, 24},
                            {420, 410, 100, 200, 140, 260}, {1300, 1210, 500, 700, 560, 790}, {5, 3, 0, 0, 3, 5}};
    for (const Shape& s : shapes)
        for (int pattern = 0; pattern < 3; ++pattern) {
            OwnedBuffer src(run, s.width, s.height, 1), fast(run, s.width, s.height, 1),
                slow(run, s.width, s.height, 1);
            if (pattern == 0) fillRandom(src, rng);
            if (pattern == 1) fillPatches(src, rng, 5);
            if (pattern == 2) fillPatches(src, rng, 2);
            fillRandom(slow, rng);
            const std::vector<uint16_t> before = slow.copy();
            const Point16 tl = pt(s.top, s.left), br = pt(s.bottom, s.right);
            reference::edgeMask(src.buffer, slow.buffer, tl, br);
            for (int threads : {1, 2, 3, 7}) {
                run.setThreads(threads);
                std::copy(before.begin(), before.end(), fast.buffer.data);
                ASSERT_TRUE(edgeMask(run, src.buffer, fast.buffer, tl, br));
                SCOPED_TRACE(testing::Message()
                             << s.width << "x" << s.height << " pattern " << pattern << " threads " << threads);
                expectSameAsReference("edge", fast, slow);
            }
        }
}

}  // namespace
