// Scaling of one plane between rectangles, and the preview's zoom texts and
// placement arithmetic.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/Preview.h"
#include "engine/ResamplePlane.h"

namespace {

std::vector<uint8_t> ramp(int32_t width, int32_t height) {
    std::vector<uint8_t> plane(size_t(width) * size_t(height));
    for (size_t i = 0; i < plane.size(); ++i) plane[i] = uint8_t((i * 37 + i / 5) % 256);
    return plane;
}

TEST(ResamplePlane, EqualSizesCopyAndWholeRatiosAverageOrRepeat) {
    const std::vector<uint8_t> src = ramp(8, 6);
    std::vector<uint8_t> copy(48), half(12), twice(16 * 12);
    ASSERT_TRUE(resamplePlane(src.data(), 8, VRect{0, 0, 6, 8}, 8, copy.data(), 8, VRect{0, 0, 6, 8}));
    EXPECT_EQ(copy, src);
    ASSERT_TRUE(resamplePlane(src.data(), 8, VRect{0, 0, 6, 8}, 8, half.data(), 4, VRect{0, 0, 3, 4}));
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 4; ++x) {
            const int sum = src[size_t(2 * y) * 8 + size_t(2 * x)] + src[size_t(2 * y) * 8 + size_t(2 * x + 1)] +
                            src[size_t(2 * y + 1) * 8 + size_t(2 * x)] + src[size_t(2 * y + 1) * 8 + size_t(2 * x + 1)];
            EXPECT_EQ(half[size_t(y) * 4 + size_t(x)], (sum + 2) / 4) << x << "," << y;  // halves go up
        }
    ASSERT_TRUE(resamplePlane(src.data(), 8, VRect{0, 0, 6, 8}, 8, twice.data(), 16, VRect{0, 0, 12, 16}));
    for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 16; ++x)
            EXPECT_EQ(twice[size_t(y) * 16 + size_t(x)], src[size_t(y / 2) * 8 + size_t(x / 2)]);
}

TEST(ResamplePlane, RectanglesAreHonouredAndBlocksStayInside) {
    // 5 columns onto 2: ratio 2.5 gives blocks of 3 at columns 0 and 2.
    const uint8_t src[2][5] = {{10, 20, 30, 40, 50}, {0, 0, 0, 0, 0}};
    std::vector<uint8_t> dst(4 * 3, 0xEE);
    ASSERT_TRUE(resamplePlane(src, 5, VRect{0, 0, 1, 5}, 8, dst.data(), 4, VRect{1, 1, 2, 3}));
    EXPECT_EQ(dst, (std::vector<uint8_t>{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 20, 40, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
    // A source rectangle away from the base.
    ASSERT_TRUE(resamplePlane(src, 5, VRect{0, 3, 1, 5}, 8, dst.data(), 4, VRect{0, 0, 1, 1}));
    EXPECT_EQ(dst[0], 45);
}

TEST(ResamplePlane, SixteenBitSamplesAndRefusals) {
    const uint16_t src[4] = {32768, 16384, 0, 1285};
    uint8_t out[4];
    ASSERT_TRUE(resamplePlane(src, 8, VRect{0, 0, 1, 4}, 16, out, 4, VRect{0, 0, 1, 4}));
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(out[1], 127);  // 127.5 truncated
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(out[3], 10);
    EXPECT_FALSE(resamplePlane(src, 8, VRect{0, 0, 1, 4}, 12, out, 4, VRect{0, 0, 1, 4}));
    EXPECT_FALSE(resamplePlane(src, 8, VRect{0, 2, 1, 2}, 8, out, 4, VRect{0, 0, 1, 4}));
    EXPECT_TRUE(resamplePlane(src, 8, VRect{0, 0, 1, 4}, 8, out, 4, VRect{0, 0, 0, 4}));
}

TEST(PreviewText, ZoomFactorsReadAsPercentages) {
    const struct {
        double zoom;
        const char* text;
    } cases[] = {{0.05, "5.00%"},  {0.0625, "6.25%"}, {0.0563333, "5.63%"}, {0.1, "10.0%"},
                 {0.125, "12.5%"}, {0.2499, "25.0%"}, {0.25, "25%"},        {1.0 / 3, "33%"},
                 {0.994, "99%"},   {0.996, "100%"},   {16, "1600%"}};
    for (const auto& c : cases) EXPECT_EQ(zoomText(c.zoom), c.text) << c.zoom;
}

TEST(PreviewGeometry, ThePartIsScaledCappedAndCentred) {
    const struct {
        int32_t paneWidth, paneHeight;
        double zoom;
        VRect part;
        PreviewPlacement expected;  // left, top, width, height
    } cases[] = {
        {338, 445, 338.0 / 6000, {0, 0, 4000, 6000}, {0, 110, 338, 225}},
        {741, 649, 741.0 / 6000, {0, 0, 4000, 6000}, {0, 77, 741, 494}},
        {338, 445, 2.0, {1000, 2000, 1222, 2169}, {0, 0, 338, 444}},
        {338, 445, 1.0, {0, 0, 90, 120}, {109, 177, 120, 90}},
        {338, 445, 1.0, {0, 0, 0, 120}, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const PreviewPlacement p = placePreview(c.paneWidth, c.paneHeight, c.zoom, c.part);
        EXPECT_EQ(p.left, c.expected.left);
        EXPECT_EQ(p.top, c.expected.top);
        EXPECT_EQ(p.width, c.expected.width);
        EXPECT_EQ(p.height, c.expected.height);
    }
    // The operation sees the image's size scaled by the zoom.
    const PreviewPlacement fit = placePreview(338, 445, 338.0 / 6000, VRect{0, 0, 4000, 6000});
    EXPECT_NEAR(previewScale(338.0 / 6000, 6000, 4000, fit) * 225, 338.0 / 6000 * 4000, 1e-9);
    EXPECT_EQ(previewScale(1, 10, 10, PreviewPlacement{}), 0);
}

}  // namespace
