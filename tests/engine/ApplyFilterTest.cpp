// Whole runs of the apply driver through the entry point and the stand-in host.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <tuple>

#include "entry/PluginMain.h"
#include "host/HostCore.h"
#include "imageops/ColorModel.h"
#include "params/FilterParameters.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/TestImages.h"

namespace {

struct RunResult {
    int16 result;
    HostImage image;
    HostStats stats;
};

FilterParameters defaults() {
    FilterParameters p;
    p.setDefaults();
    p.showDialog = 0;
    return p;
}

RunResult run(const HostImage& image, FilterParameters p, int32_t tileWidth, int32_t tileHeight,
              const std::vector<uint8_t>& selection = {}, std::function<bool(int32_t, int32_t)> progress = {},
              size_t bufferLimit = 0) {
    HostCore host;
    host.setImage(image);
    host.setTileSize(tileWidth, tileHeight);
    if (bufferLimit) host.setBufferLimit(bufferLimit);
    if (!selection.empty()) host.setSelection(selection);
    host.onProgress = std::move(progress);
    p.imageClass = imageClassForMode(image.mode);
    std::vector<uint8_t> bytes(kFilterParametersSize);
    writeFilterParameters(p, bytes.data(), bytes.size());
    host.setParameterBytes(bytes);
    int16 result = host.call(PluginMain, filterSelectorPrepare);
    if (result == noErr) result = host.call(PluginMain, filterSelectorStart);
    return {result, host.image(), host.stats()};
}

size_t differingSamples(const HostImage& a, const HostImage& b) {
    size_t n = 0;
    for (size_t i = 0; i < a.samples.size(); ++i) n += a.samples[i] != b.samples[i];
    return n;
}

// (operation, colour space, planes, depth)
using Case = std::tuple<Operation, ColorSpace, int, int>;
constexpr Operation Sharpen = Operation::Sharpen, Soften = Operation::Soften;
constexpr ColorSpace Own = ColorSpace::ImageModel, Hsi = ColorSpace::Hsi, Yuv = ColorSpace::Yuv;
struct TileIndependence : ::testing::TestWithParam<Case> {
    FakePlatform platform;
};

TEST_P(TileIndependence, EveryTileSizeGivesTheSameBytes) {
    const auto [operation, colorSpace, planes, depth] = GetParam();
    const HostImage image = makeTestImage(120, 90, planes, depth, 7);
    FilterParameters p = defaults();
    p.operation = operation;
    p.colorSpace = colorSpace;
    p.amount = operation == Operation::Soften ? 100 : 80;
    p.opacity = 150;
    RunResult whole = run(image, p, 120, 90);
    ASSERT_EQ(whole.result, noErr);
    EXPECT_GT(differingSamples(whole.image, image), image.samples.size() / 10) << "the filter changed the image";
    EXPECT_EQ(whole.stats.liveBuffers, 0u);
    EXPECT_FALSE(whole.stats.wroteOutsideOutRect);
    EXPECT_FALSE(whole.stats.badRequest);
    for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {64, 64}, {1000, 3}}) {
        RunResult tiled = run(image, p, w, h);
        ASSERT_EQ(tiled.result, noErr) << w << "x" << h;
        EXPECT_EQ(differingSamples(tiled.image, whole.image), 0u) << "tiles " << w << "x" << h;
        EXPECT_EQ(tiled.stats.liveBuffers, 0u);
        EXPECT_FALSE(tiled.stats.wroteOutsideOutRect);
    }
}

INSTANTIATE_TEST_SUITE_P(AllModels, TileIndependence,
                         ::testing::Values(Case{Sharpen, Own, 3, 8}, Case{Sharpen, Hsi, 3, 16},
                                           Case{Sharpen, Yuv, 3, 8}, Case{Sharpen, Own, 4, 8}, Case{Soften, Own, 3, 16},
                                           Case{Soften, Hsi, 3, 8}, Case{Soften, Yuv, 3, 8}, Case{Soften, Own, 4, 16},
                                           Case{Soften, Hsi, 4, 8}, Case{Sharpen, Yuv, 4, 16}));

// The plug-in's thread count, as a host's environment sets it; restored after.
struct ThreadSetting {
    explicit ThreadSetting(int threads) { setenv("CRISPCALM_THREADS", std::to_string(threads).c_str(), 1); }
    ~ThreadSetting() { unsetenv("CRISPCALM_THREADS"); }
};

// Every thread count gives the single thread's bytes, in every colour model,
// depth and operation, with the edge map, contract/expand with falloff and a
// host selection; and the host is called on its own thread only.
TEST(ThreadCounts, EveryCountGivesTheSingleThreadsBytes) {
    FakePlatform platform;
    struct Row {
        Operation operation;
        ColorSpace colorSpace;
        int planes, depth;
        SelectionSource source;
        int contractExpand, falloff;
        bool hostSelection;
        int32_t tileWidth, tileHeight;
    };
    constexpr SelectionSource Curves = SelectionSource::FromCurves, Edges = SelectionSource::EdgesOnly;
    const Row rows[] = {
        {Sharpen, Own, 3, 8, Curves, 0, 0, false, 200, 150},     {Soften, Own, 3, 16, Curves, 0, 0, false, 200, 150},
        {Sharpen, Hsi, 3, 16, Curves, 0, 0, true, 200, 150},     {Soften, Hsi, 3, 8, Curves, 0, 0, false, 64, 48},
        {Sharpen, Yuv, 3, 8, Edges, 0, 0, false, 200, 150},      {Soften, Yuv, 3, 16, Curves, 40, 50, true, 200, 150},
        {Sharpen, Own, 4, 16, Curves, -60, 30, false, 200, 150}, {Soften, Own, 4, 8, Edges, 25, 0, false, 90, 70},
        {Soften, Hsi, 4, 16, Curves, 0, 0, true, 200, 150},      {Sharpen, Yuv, 4, 8, Curves, -30, 100, true, 64, 48},
    };
    const std::thread::id hostThread = std::this_thread::get_id();
    std::vector<uint8_t> selection(200 * 150);
    for (size_t i = 0; i < selection.size(); ++i) selection[i] = uint8_t((i % 200) + (i / 200) * 3);
    for (const Row& row : rows) {
        const HostImage image = makeTestImage(200, 150, row.planes, row.depth, 13);
        FilterParameters p = defaults();
        p.operation = row.operation;
        p.colorSpace = row.colorSpace;
        p.amount = 100;
        p.selectionSource = row.source;
        p.contractExpand = row.contractExpand;
        p.falloff = row.falloff;
        const std::vector<uint8_t> host = row.hostSelection ? selection : std::vector<uint8_t>{};
        HostImage single;
        for (int threads : {1, 2, 3, 7}) {
            ThreadSetting setting(threads);
            bool elsewhere = false;
            RunResult r = run(image, p, row.tileWidth, row.tileHeight, host, [&](int32_t, int32_t) {
                elsewhere = elsewhere || std::this_thread::get_id() != hostThread;
                return false;
            });
            SCOPED_TRACE(::testing::Message()
                         << "operation " << int(row.operation) << " space " << int(row.colorSpace) << " planes "
                         << row.planes << " depth " << row.depth << " threads " << threads);
            ASSERT_EQ(r.result, noErr);
            EXPECT_FALSE(elsewhere) << "progress reported from a worker thread";
            EXPECT_EQ(r.stats.offThreadCalls, 0u) << "the host called from a worker thread";
            EXPECT_GT(r.stats.progressCalls, 0u);
            EXPECT_FALSE(r.stats.badRequest);
            if (threads == 1) {
                EXPECT_GT(differingSamples(r.image, image), 0u) << "the filter changed nothing";
                single = r.image;
            } else {
                EXPECT_EQ(differingSamples(r.image, single), 0u);
            }
        }
    }
}

struct ApplyFilter : ::testing::Test {
    FakePlatform platform;
};

TEST_F(ApplyFilter, HostSelectionConfinesTheWork) {
    const HostImage image = makeTestImage(80, 60, 3, 8, 3);
    std::vector<uint8_t> selection(80 * 60, 0);
    for (int y = 20; y < 30; ++y)
        for (int x = 40; x < 55; ++x) selection[size_t(y) * 80 + x] = 255;
    FilterParameters p = defaults();
    p.amount = 100;
    RunResult r = run(image, p, 16, 16, selection);
    ASSERT_EQ(r.result, noErr);
    size_t inside = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 80; ++x)
            for (int c = 0; c < 3; ++c) {
                const bool selected = selection[size_t(y) * 80 + x] != 0;
                if (!selected)
                    ASSERT_EQ(r.image.at(x, y, c), image.at(x, y, c)) << x << "," << y;
                else
                    inside += r.image.at(x, y, c) != image.at(x, y, c);
            }
    EXPECT_GT(inside, 100u);
    EXPECT_FALSE(r.stats.wroteOutsideOutRect);
}

TEST_F(ApplyFilter, EmptySelectionChangesNothing) {
    const HostImage image = makeTestImage(50, 40, 3, 8);
    RunResult r = run(image, defaults(), 16, 16, std::vector<uint8_t>(50 * 40, 0));
    EXPECT_EQ(r.result, noErr);
    EXPECT_EQ(differingSamples(r.image, image), 0u);
    EXPECT_EQ(r.stats.buffersGranted, 0u);
}

TEST_F(ApplyFilter, AbortKeepsEarlierTilesAndFreesEverything) {
    const HostImage image = makeTestImage(400, 300, 3, 8, 5);
    FilterParameters p = defaults();
    p.operation = Operation::Soften;
    p.amount = 100;
    int reports = 0;
    RunResult r = run(image, p, 400, 40, {}, [&](int32_t, int32_t) { return ++reports >= 3; });
    EXPECT_EQ(r.result, userCanceledErr);
    EXPECT_EQ(r.stats.liveBuffers, 0u);
    // The first band of rows was written, the last one was never reached.
    size_t firstBand = 0, lastBand = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 400; ++x) firstBand += r.image.at(x, y, 0) != image.at(x, y, 0);
    for (int y = 260; y < 300; ++y)
        for (int x = 0; x < 400; ++x) lastBand += r.image.at(x, y, 0) != image.at(x, y, 0);
    EXPECT_GT(firstBand, 0u);
    EXPECT_EQ(lastBand, 0u);
}

TEST_F(ApplyFilter, SixteenBitAndCmykSamplesRoundTripThroughTheWorkingRange) {
    FilterParameters p = defaults();
    for (int32_t& c : p.channelEnabled) c = 0;  // nothing filtered: only the transfers act
    for (auto [planes, depth] : {std::pair{3, 8}, {3, 16}, {4, 8}, {4, 16}}) {
        HostImage image = makeTestImage(37, 23, planes, depth, 11);
        image.samples[0] = depth == 16 ? 32768 : 255;
        image.samples[1] = depth == 16 ? 32767 : 0;
        RunResult r = run(image, p, 16, 16);
        ASSERT_EQ(r.result, noErr);
        EXPECT_EQ(r.image.samples, image.samples) << planes << " planes, " << depth << " bits";
    }
}

TEST_F(ApplyFilter, YuvChrominanceActsOnBothColourDifferences) {
    // Muted colours around mid grey, so that sharpened colours stay in gamut.
    HostImage image = makeTestImage(90, 70, 3, 16, 9);
    for (uint16_t& s : image.samples) s = uint16_t(12000 + s / 4);
    FilterParameters p = defaults();
    p.colorSpace = ColorSpace::Yuv;
    p.curves.saturation.reset(CurveIntensity);  // select every colour, greys included
    p.amount = 100;
    p.channelEnabled[0] = 0;
    p.channelEnabled[1] = 1;
    RunResult r = run(image, p, 32, 32);
    ASSERT_EQ(r.result, noErr);
    size_t uChanged = 0, vChanged = 0, yChanged = 0;
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 90; ++x) {
            uint16_t before[3], after[3], yuvBefore[3], yuvAfter[3];
            for (int c = 0; c < 3; ++c) {
                before[c] = uint16_t((image.at(x, y, c) * 65535u + 16384u) / 32768u);
                after[c] = uint16_t((r.image.at(x, y, c) * 65535u + 16384u) / 32768u);
            }
            rgbToYuv(before, yuvBefore);
            rgbToYuv(after, yuvAfter);
            uChanged += std::abs(yuvAfter[1] - yuvBefore[1]) > 600;
            vChanged += std::abs(yuvAfter[2] - yuvBefore[2]) > 600;
            yChanged += std::abs(yuvAfter[0] - yuvBefore[0]) > 600;
        }
    EXPECT_GT(uChanged, 50u);
    EXPECT_GT(vChanged, 50u);
    EXPECT_LT(yChanged * 4, uChanged + vChanged) << "luminance moves only where sharpened colours leave the gamut";
}

TEST_F(ApplyFilter, TooLittleMemoryIsReportedAndNothingLeaks) {
    const HostImage image = makeTestImage(64, 64, 3, 8);
    RunResult r = run(image, defaults(), 64, 64, {}, {}, 20000);
    EXPECT_EQ(r.result, memFullErr);
    EXPECT_EQ(r.stats.liveBuffers, 0u);
    EXPECT_EQ(differingSamples(r.image, image), 0u);
}

TEST_F(ApplyFilter, ZeroTileSizeTakesTheWholeRectangleInOneRequest) {
    const HostImage image = makeTestImage(40, 30, 3, 8);
    const RunResult tiled = run(image, defaults(), 16, 16);
    const RunResult whole = run(image, defaults(), 0, 0);
    ASSERT_EQ(whole.result, noErr);
    EXPECT_EQ(whole.stats.advanceCalls, 1u) << "one request";
    EXPECT_EQ(differingSamples(whole.image, tiled.image), 0u);
}

TEST_F(ApplyFilter, OutOfRangeStoredValuesEndInAResult) {
    const HostImage image = makeTestImage(60, 40, 3, 8);
    FilterParameters p = defaults();
    for (int32_t amount : {0, -5, 1000000, 2147483647}) {
        for (Operation operation : {Operation::Sharpen, Operation::Soften, Operation(7)}) {
            p.amount = amount;
            p.operation = operation;
            p.contractExpand = -2147483647 - 1;
            p.opacity = -3;
            RunResult r = run(image, p, 32, 32);
            EXPECT_TRUE(r.result == noErr || r.result == memFullErr || r.result == filterBadParameters)
                << amount << " " << int(operation) << " gave " << r.result;
            EXPECT_EQ(r.stats.liveBuffers, 0u);
            EXPECT_FALSE(r.stats.wroteOutsideOutRect);
        }
    }
}

}  // namespace
