#include <cmath>

#include "imageops/ColorModel.h"
#include "imageops/Mask.h"
#include "tests/imageops/ImageOpsTestSupport.h"

namespace {

using Masks = HostTest;

Point16 pt(int v, int h) { return Point16{int16_t(v), int16_t(h)}; }

void setAll(Curve& c, float v) {
    for (float& s : c.samples) s = v;
}

TEST_F(Masks, CurveMaskIsTheProductOfTheThreeCurves) {
    CurveSet curves;
    setAll(curves.hue, 1);
    setAll(curves.saturation, 1);
    setAll(curves.intensity, 1);
    std::mt19937 rng(1);
    OwnedBuffer hsi(run, 4, 3, 5), mask(run, 4, 3, 1);
    fillRandom(hsi, rng);
    ASSERT_TRUE(buildCurveMask(mask.buffer, hsi.buffer, curves, pt(0, 0), pt(3, 4)));
    for (size_t i = 0; i < mask.samples(); ++i) ASSERT_EQ(mask.buffer.data[i], 65535);

    // Any curve at 0 for a pixel's index empties it; halves multiply.
    HsiPixel& p = *reinterpret_cast<HsiPixel*>(hsi.at(1, 1));
    p.saturation = 65535;
    p.intensity = 64;
    p.hue = 0;
    curves.saturation.samples[1023] = 0.5f;
    curves.intensity.samples[0] = 0.5f;
    curves.hue.samples[0] = 0.25f;
    ASSERT_TRUE(buildCurveMask(mask.buffer, hsi.buffer, curves, pt(1, 1), pt(2, 2)));
    EXPECT_EQ(*mask.at(1, 1), uint16_t(roundHalfAway(0.5 * 0.5 * 0.25 * 65535)));
    curves.hue.samples[0] = 0;
    *mask.at(0, 0) = 5;
    ASSERT_TRUE(buildCurveMask(mask.buffer, hsi.buffer, curves, pt(1, 1), pt(2, 2)));
    EXPECT_EQ(*mask.at(1, 1), 0);
    EXPECT_EQ(*mask.at(0, 0), 5);  // outside the rectangle

    OwnedBuffer small(run, 3, 3, 1);
    EXPECT_FALSE(buildCurveMask(small.buffer, hsi.buffer, curves, pt(0, 0), pt(3, 3)));
}

TEST_F(Masks, ScaleMultiplyCopy) {
    OwnedBuffer mask(run, 3, 1, 1), other(run, 3, 1, 1), wrong(run, 1, 3, 1);
    mask.buffer.data[0] = 65535, mask.buffer.data[1] = 40000, mask.buffer.data[2] = 3;
    ASSERT_TRUE(scaleMask(mask.buffer, 1.0));
    EXPECT_EQ(mask.buffer.data[1], 40000);
    ASSERT_TRUE(scaleMask(mask.buffer, 2.0));
    EXPECT_EQ(mask.buffer.data[0], 65535);
    EXPECT_EQ(mask.buffer.data[1], 65535);
    EXPECT_EQ(mask.buffer.data[2], 6);
    ASSERT_TRUE(scaleMask(mask.buffer, 0.5));
    EXPECT_EQ(mask.buffer.data[0], 32767);
    ASSERT_TRUE(scaleMask(mask.buffer, std::nan("")));
    EXPECT_EQ(mask.buffer.data[0], 0);

    mask.buffer.data[0] = 65535, mask.buffer.data[1] = 65535, mask.buffer.data[2] = 1000;
    other.buffer.data[0] = 65280, other.buffer.data[1] = 65535, other.buffer.data[2] = 32768;
    ASSERT_TRUE(multiplyMask(mask.buffer, other.buffer));
    EXPECT_EQ(mask.buffer.data[0], 65280);
    EXPECT_EQ(mask.buffer.data[1], 65535);
    EXPECT_EQ(mask.buffer.data[2], 500);
    EXPECT_FALSE(multiplyMask(mask.buffer, wrong.buffer));
    EXPECT_FALSE(copyMask(wrong.buffer, mask.buffer));
    ASSERT_TRUE(copyMask(other.buffer, mask.buffer));
    EXPECT_EQ(other.copy(), mask.copy());
}

TEST_F(Masks, SampleStatsWidenTheHue) {
    OwnedBuffer hsi(run, 3, 3, 5);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 3; ++x) {
            HsiPixel& p = *reinterpret_cast<HsiPixel*>(hsi.at(x, y));
            p = HsiPixel{0, 65535, 65535, 65535, uint16_t(21845 + x)};
        }
    SampleStats stats;
    sampleRegionStats(hsi.buffer, Rect16{0, 0, 3, 3}, stats);
    EXPECT_EQ(stats.values[0], 910);    // 5 degrees
    EXPECT_EQ(stats.values[1], 64625);  // 355 degrees
    EXPECT_EQ(stats.values[4], 65535);
    EXPECT_EQ(stats.values[8], 21847);
    EXPECT_EQ(stats.values[9], 21845);

    sampleRegionStats(hsi.buffer, Rect16{1, 1, 1, 1}, stats);
    EXPECT_EQ(stats.values[0], 910);
    EXPECT_EQ(stats.values[1], 64625);
    EXPECT_EQ(stats.values[2], 0);
    EXPECT_EQ(stats.values[3], 65535);

    // 359 degrees widens to 4, not 364; a rectangle beyond the buffer is cut.
    reinterpret_cast<HsiPixel*>(hsi.at(2, 2))->hue = uint16_t(roundHalfAway(359 * 65535 / 360.0));
    sampleRegionStats(hsi.buffer, Rect16{-5, -5, 30, 30}, stats);
    EXPECT_EQ(stats.values[0], uint16_t(roundHalfAway(4 * 65535 / 360.0)));
}

}  // namespace
