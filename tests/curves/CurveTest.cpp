#include <gtest/gtest.h>

#include <algorithm>

#include "curves/Curve.h"

namespace {

Curve emptyCurve(int32_t kind) {
    Curve c;
    c.reset(kind);
    std::fill(c.points, c.points + kCurveSlots, NoPoint);
    return c;
}

TEST(CurveEvaluate, EmptyCurveSelectsEverything) {
    Curve c = emptyCurve(CurveSaturation);
    c.evaluate();
    for (float s : c.samples) ASSERT_EQ(s, 1.0f);
}

TEST(CurveEvaluate, SingleHuePointFillsEverywhereAndClosesAtRed) {
    Curve c = emptyCurve(CurveHue);
    c.points[400] = 0.3f;
    c.evaluate();
    for (float s : c.samples) ASSERT_EQ(s, 0.3f);
    EXPECT_EQ(c.points[1023], 0.3f);
}

TEST(CurveEvaluate, LinearBetweenPointsAndFlatOutside) {
    Curve c = emptyCurve(CurveSaturation);
    c.points[100] = 0.2f;
    c.points[200] = 0.6f;
    c.evaluate();
    for (int i = 0; i <= 100; ++i) ASSERT_EQ(c.samples[i], 0.2f) << i;
    for (int i = 200; i < kCurveSlots; ++i) ASSERT_EQ(c.samples[i], 0.6f) << i;
    for (int i = 101; i < 200; ++i) {
        double expected = ((double(i - 100) * (double(0.6f) - double(0.2f))) / 100.0) + double(0.2f);
        ASSERT_EQ(c.samples[i], float(expected)) << i;
        ASSERT_NEAR(c.samples[i], 0.2 + (i - 100) * 0.004, 1e-6);
    }
    EXPECT_EQ(c.points[1023], NoPoint) << "only hue curves close on themselves";
}

TEST(CurveReset, StandardShapes) {
    CurveSet set;
    for (float s : set.hue.samples) ASSERT_EQ(s, 1.0f);
    for (float s : set.intensity.samples) ASSERT_EQ(s, 1.0f);
    EXPECT_EQ(set.hue.points[1023], 1.0f);
    const int hueSlots[] = {0, 170, 341, 511, 682, 852, 1023};
    int filled = 0;
    for (float p : set.hue.points) filled += p != NoPoint;
    EXPECT_EQ(filled, 7);
    for (int i : hueSlots) EXPECT_EQ(set.hue.points[i], 1.0f) << i;
    EXPECT_EQ(set.saturation.points[10], 0.01f);
    EXPECT_EQ(double(set.saturation.points[10]), 0.009999999776482582);
    EXPECT_EQ(set.saturation.samples[0], 0.0f);
    EXPECT_EQ(set.saturation.samples[511], 1.0f);
    EXPECT_EQ(set.saturation.samples[1023], 1.0f);
    EXPECT_EQ(set.hue.kind, CurveHue);
    EXPECT_EQ(set.saturation.kind, CurveSaturation);
    EXPECT_EQ(set.intensity.kind, CurveIntensity);
    EXPECT_EQ(set.intensity.range, 1);
    // Samples rise monotonically from grey to half saturation.
    for (int i = 1; i < kCurveSlots; ++i) ASSERT_GE(set.saturation.samples[i], set.saturation.samples[i - 1]);
}

TEST(CurveEditing, ClearNearKeepsTheCentre) {
    Curve c = emptyCurve(CurveIntensity);
    std::fill(c.points, c.points + 30, 0.5f);
    c.clearNear(5, 10, 10);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(c.points[i], NoPoint);
    EXPECT_EQ(c.points[5], 0.5f);
    for (int i = 6; i <= 15; ++i) EXPECT_EQ(c.points[i], NoPoint);
    EXPECT_EQ(c.points[16], 0.5f);
    c.clearSpan(20, 19);  // reversed span does nothing
    EXPECT_EQ(c.points[20], 0.5f);
}

TEST(CurveSampling, IndexMapping) {
    EXPECT_EQ(curveIndexForSample(65535), 1023);
    EXPECT_EQ(curveIndexForSample(65534), 1022);
    EXPECT_EQ(curveIndexForSample(0), 0);
}

SampleStats uniformStats(uint16_t v) {
    SampleStats s{};
    for (int i = 0; i < 10; ++i) s.values[i] = v;
    return s;
}

TEST(CurveSampling, UniformRegionMakesATriangle) {
    Curve c = emptyCurve(CurveIntensity);
    SampleStats stats = uniformStats(32768);
    c.setFromSample(stats, false, false, 7);
    const int a = curveIndexForSample(32768);
    EXPECT_EQ(c.points[a], 1.0f);
    EXPECT_EQ(c.points[a - 71], 0.0f);
    EXPECT_EQ(c.points[a + 71], 0.0f);
    int filled = 0;
    for (float p : c.points) filled += p != NoPoint;
    EXPECT_EQ(filled, 3);
    EXPECT_EQ(c.samples[a], 1.0f);
    EXPECT_EQ(c.samples[0], 0.0f);
    EXPECT_NEAR(c.samples[a - 35], 35.0 / 71.0 * 0 + (1.0 - 35.0 / 71.0), 1e-6);
}

TEST(CurveSampling, EdgesPlaceNoRampAndInvertSwapsValues) {
    Curve c = emptyCurve(CurveSaturation);
    SampleStats stats{};
    stats.values[4] = 65535;  // saturation maximum -> 1023
    stats.values[5] = 0;      // minimum -> 0
    c.setFromSample(stats, true, false, 7);
    EXPECT_EQ(c.points[0], 0.0f);
    EXPECT_EQ(c.points[1023], 0.0f);
    int filled = 0;
    for (float p : c.points) filled += p != NoPoint;
    EXPECT_EQ(filled, 2);
}

TEST(CurveSampling, KeepLeavesAnExistingRampPoint) {
    Curve c = emptyCurve(CurveIntensity);
    const int a = curveIndexForSample(40000);
    c.points[a - 71] = 0.25f;
    c.points[a + 40] = 0.75f;  // far enough from both main points and ramps
    SampleStats stats = uniformStats(40000);
    c.setFromSample(stats, false, true, 7);
    EXPECT_EQ(c.points[a - 71], 0.25f);
    EXPECT_EQ(c.points[a], 1.0f);
}

TEST(CurveSampling, HueUsesItsOwnPairAndSetHonoursUseFlags) {
    CurveSet set;
    CurveSet before = set;
    SampleStats stats{};
    stats.values[0] = 20000;  // hue max
    stats.values[1] = 10000;  // hue min
    const int32_t use[3] = {1, 0, 0};
    set.setFromSample(stats, false, false, use);
    EXPECT_EQ(set.hue.points[curveIndexForSample(10000)], 1.0f);
    EXPECT_EQ(set.hue.points[curveIndexForSample(20000)], 1.0f);
    EXPECT_EQ(0, memcmp(&set.saturation, &before.saturation, sizeof(Curve)));
    EXPECT_EQ(0, memcmp(&set.intensity, &before.intensity, sizeof(Curve)));
}

}  // namespace
