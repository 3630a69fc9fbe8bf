// Stored parameter blocks with values no dialog writes, replayed through the
// entry point as a host replays an action: each case is the essence of an
// input the parameter-block fuzzer found. The engine works with whatever it
// finds, so every run must end with a result code, free its buffers and keep
// in-range behaviour as it is.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "entry/PluginMain.h"
#include "host/HostCore.h"
#include "params/FilterParameters.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/TestImages.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInfinity = std::numeric_limits<float>::infinity();

struct RunResult {
    int16 result;
    HostImage image;
    HostStats stats;
};

struct HostileParameters : ::testing::Test {
    FakePlatform platform;

    static FilterParameters defaults(const HostImage& image) {
        FilterParameters p;
        p.setDefaults();
        p.showDialog = 0;
        p.imageClass = imageClassForMode(image.mode);
        return p;
    }

    static RunResult run(const HostImage& image, const FilterParameters& p, int32_t tileWidth = 256,
                         int32_t tileHeight = 256, size_t bufferLimit = size_t(64) << 20) {
        HostCore host;
        host.setImage(image);
        host.setTileSize(tileWidth, tileHeight);
        host.setBufferLimit(bufferLimit);
        std::vector<uint8_t> bytes(kFilterParametersSize);
        writeFilterParameters(p, bytes.data(), bytes.size());
        host.setParameterBytes(bytes);
        int16 result = host.call(PluginMain, filterSelectorPrepare);
        if (result == noErr) result = host.call(PluginMain, filterSelectorStart);
        RunResult r{result, host.image(), host.stats()};
        EXPECT_EQ(r.stats.liveBuffers, 0u) << "every buffer is freed";
        EXPECT_FALSE(r.stats.wroteOutsideOutRect);
        EXPECT_FALSE(r.stats.badRequest);
        return r;
    }

    static void fillCurve(Curve& c, float value) {
        for (float& point : c.points) point = value;
    }
};

// Curve points far above 1 make weights far above the mask's range; they
// select fully, exactly as points of 1.0 do, instead of overflowing the
// rounding into an arbitrary integer.
TEST_F(HostileParameters, HugeCurvePointsSelectFully) {
    const HostImage image = makeTestImage(30, 20, 3, 8, 4);
    FilterParameters full = defaults(image);
    fillCurve(full.curves.hue, 1.0f);
    fillCurve(full.curves.saturation, 1.0f);
    fillCurve(full.curves.intensity, 1.0f);
    const RunResult reference = run(image, full);
    ASSERT_EQ(reference.result, noErr);
    ASSERT_NE(reference.image.samples, image.samples);

    for (float huge : {3.0e38f, 1.0e20f, kInfinity}) {
        FilterParameters p = full;
        fillCurve(p.curves.intensity, huge);
        const RunResult r = run(image, p);
        ASSERT_EQ(r.result, noErr) << huge;
        EXPECT_EQ(r.image.samples, reference.image.samples) << huge;
    }
}

// NaN points (and infinities whose interpolation gives NaN) select nothing
// where they act, as points of 0 do; the run stays well defined and tile
// independent.
TEST_F(HostileParameters, NaNCurvePointsSelectNothing) {
    const HostImage image = makeTestImage(30, 20, 4, 16, 6);
    FilterParameters zero = defaults(image);
    fillCurve(zero.curves.saturation, 0.0f);
    const RunResult unselected = run(image, zero);
    ASSERT_EQ(unselected.result, noErr);
    FilterParameters p = defaults(image);
    fillCurve(p.curves.saturation, kNaN);
    const RunResult r = run(image, p);
    ASSERT_EQ(r.result, noErr);
    EXPECT_EQ(r.image.samples, unselected.image.samples);

    FilterParameters mixed = defaults(image);
    mixed.curves.hue.points[100] = kNaN;
    mixed.curves.intensity.points[300] = kInfinity;
    mixed.curves.intensity.points[700] = -kInfinity;
    const RunResult whole = run(image, mixed);
    const RunResult tiled = run(image, mixed, 7, 5);
    ASSERT_EQ(whole.result, noErr);
    ASSERT_EQ(tiled.result, noErr);
    EXPECT_EQ(whole.image.samples, tiled.image.samples);
}

// Amounts in 1..100 keep the margin within 1.5 % of the shorter side; a soften
// amount far above gives margins wider than the image, which every tile then
// carries in its buffers whatever the image's size (the fuzzer's case: 136,448
// on 21 x 24 pixels in tiles of 1 x 2 ran for many seconds). Such a block is
// refused at once; the smallest images still run in range.
TEST_F(HostileParameters, SoftenMarginWiderThanTheImageIsRefused) {
    const HostImage image = makeTestImage(21, 24, 4, 16, 2);
    FilterParameters p = defaults(image);
    p.operation = Operation::Soften;
    p.amount = 136448;
    const RunResult refused = run(image, p, 1, 2);
    EXPECT_EQ(refused.result, filterBadParameters);
    EXPECT_EQ(refused.stats.buffersGranted, 0u);
    EXPECT_EQ(refused.image.samples, image.samples);

    for (auto [width, height] : {std::pair{1, 1}, {1, 9}, {9, 1}, {2, 2}}) {
        const HostImage tiny = makeTestImage(width, height, 3, 8, 1);
        FilterParameters q = defaults(tiny);
        q.operation = Operation::Soften;
        q.amount = 100;
        EXPECT_EQ(run(tiny, q, 1, 1).result, noErr) << width << "x" << height;
        q.amount = 3400;  // the margin is 1 pixel up to here on these images
        EXPECT_EQ(run(tiny, q, 1, 1).result, noErr) << width << "x" << height;
    }
}

// A contract/expand size far beyond the tile: once the disc holds the whole
// tile from every pixel, a larger one gives the same selection (the tile's
// maximum or minimum), with or without falloff, since every percentage
// distance inside the tile is then 0. Such sizes must neither take minutes
// (the fuzzer's case: 16 x 16 pixels in tiles of 1 x 16, 1,048,576) nor fail
// on a distance table they do not need.
TEST_F(HostileParameters, ContractExpandFarBeyondTheTileActsOnTheWholeTile) {
    const HostImage image = makeTestImage(16, 16, 3, 8, 3);
    const int32_t huge = std::numeric_limits<int32_t>::max();
    for (int32_t sign : {1, -1}) {
        SCOPED_TRACE(sign > 0 ? "expand" : "contract");
        FilterParameters p = defaults(image);
        p.amount = 100;
        const RunResult unshaped = run(image, p, 1, 17);
        p.contractExpand = sign * 20000;  // a disc just wider than the 1 x 16 tile
        const RunResult reference = run(image, p, 1, 17);
        ASSERT_EQ(reference.result, noErr);
        EXPECT_NE(reference.image.samples, unshaped.image.samples);
        for (auto [size, falloff] : {std::pair{1048576, 0}, {huge, 0}, {huge, 30}, {huge, -5}}) {
            p.contractExpand = sign * size;
            p.falloff = falloff;
            const RunResult r = run(image, p, 1, 17);
            ASSERT_EQ(r.result, noErr) << size << " " << falloff;
            EXPECT_EQ(r.image.samples, reference.image.samples) << size << " " << falloff;
        }
    }
}

// A mask filter that cannot get its memory fails the run with memFullErr
// instead of going on with the unshaped selection as if nothing happened.
TEST_F(HostileParameters, ContractExpandWithoutMemoryFailsTheRun) {
    const HostImage image = makeTestImage(64, 64, 3, 8, 8);
    FilterParameters p = defaults(image);
    const size_t unlimited = size_t(1) << 30;
    const RunResult plain = run(image, p, 64, 64, unlimited);  // the peak without a mask filter
    ASSERT_EQ(plain.result, noErr);
    const size_t plainPeak = plain.stats.peakBufferBytes;
    for (int32_t contractExpand : {3000, -3000}) {
        p.contractExpand = contractExpand;
        p.falloff = 50;
        const RunResult shaped = run(image, p, 64, 64, unlimited);
        ASSERT_EQ(shaped.result, noErr);
        ASSERT_GT(shaped.stats.peakBufferBytes, plainPeak) << "the mask filter takes memory of its own";
        const size_t between = plainPeak + (shaped.stats.peakBufferBytes - plainPeak) / 2;
        const RunResult starved = run(image, p, 64, 64, between);
        EXPECT_EQ(starved.result, memFullErr) << contractExpand;
    }
}

}  // namespace
