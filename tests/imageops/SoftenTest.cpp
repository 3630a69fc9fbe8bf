#include <cmath>

#include "imageops/ColorModel.h"
#include "imageops/Soften.h"
#include "tests/imageops/ImageOpsTestSupport.h"
#include "tests/imageops/ReferenceOps.h"

namespace {

class Soften : public HostTest {
protected:
    SoftenTables tables;
    void TearDown() override {
        releaseSoftenTables(tables);
        HostTest::TearDown();
    }
};

Point16 pt(int v, int h) { return Point16{int16_t(v), int16_t(h)}; }
const uint8_t kAll[4] = {1, 1, 1, 1};

int channelsOf(ColorModel model) { return model == ColorModel::HSI ? 5 : (model == ColorModel::CMYK ? 4 : 3); }

TEST_F(Soften, FlatAreasAndUnselectedPixels) {
    std::mt19937 rng(1);
    OwnedBuffer src(run, 30, 30, 4), dst(run, 30, 30, 4), mask(run, 30, 30, 1);
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 30; ++x)
            for (int c = 0; c < 4; ++c) src.at(x, y)[c] = uint16_t(1000 + 20000 * c + 7);
    fillRandom(mask, rng);
    ASSERT_TRUE(prepareSoftenTables(run, tables, 20));
    ASSERT_TRUE(softenRegion(run, tables, src.buffer, dst.buffer, mask.buffer, ColorModel::CMYK, kAll, pt(10, 10),
                             pt(20, 20), 20));
    for (int32_t y = 10; y < 20; ++y)
        for (int32_t x = 10; x < 20; ++x)
            for (int c = 0; c < 4; ++c) ASSERT_EQ(dst.at(x, y)[c], src.at(x, y)[c]);

    fillRandom(src, rng);
    for (size_t i = 0; i < mask.samples(); ++i) mask.buffer.data[i] = 0;
    ASSERT_TRUE(softenRegion(run, tables, src.buffer, dst.buffer, mask.buffer, ColorModel::CMYK, kAll, pt(10, 10),
                             pt(20, 20), 20));
    for (int32_t y = 10; y < 20; ++y)
        for (int32_t x = 10; x < 20; ++x)
            for (int c = 0; c < 4; ++c) ASSERT_EQ(dst.at(x, y)[c], src.at(x, y)[c]);
}

TEST_F(Soften, HueAveragesAroundTheCircle) {
    OwnedBuffer src(run, 9, 9, 5), dst(run, 9, 9, 5), mask(run, 9, 9, 1);
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 9; ++x) src.at(x, y)[0] = 500;
    src.at(4, 4)[0] = 65000;
    *mask.at(4, 4) = 65535;
    ASSERT_TRUE(prepareSoftenTables(run, tables, 4));
    ASSERT_TRUE(
        softenRegion(run, tables, src.buffer, dst.buffer, mask.buffer, ColorModel::HSI, kAll, pt(4, 4), pt(5, 5), 4));
    const uint16_t hue = dst.at(4, 4)[0];
    EXPECT_TRUE(hue < 1000 || hue > 64500) << hue;

    // A flat hue may lose one unit to the final truncation, never more.
    src.at(4, 4)[0] = 172;
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 9; ++x) src.at(x, y)[0] = 172;
    ASSERT_TRUE(
        softenRegion(run, tables, src.buffer, dst.buffer, mask.buffer, ColorModel::HSI, kAll, pt(4, 4), pt(5, 5), 4));
    EXPECT_GE(dst.at(4, 4)[0], 171);
    EXPECT_LE(dst.at(4, 4)[0], 172);
}

TEST_F(Soften, NeedsTablesForItsRadius) {
    OwnedBuffer src(run, 30, 30, 3), dst(run, 30, 30, 3), mask(run, 30, 30, 1);
    EXPECT_FALSE(softenRegion(run, tables, src.buffer, dst.buffer, mask.buffer, ColorModel::RGB, kAll, pt(10, 10),
                              pt(20, 20), 8));
    ASSERT_TRUE(prepareSoftenTables(run, tables, 4));
    EXPECT_FALSE(softenRegion(run, tables, src.buffer, dst.buffer, mask.buffer, ColorModel::RGB, kAll, pt(10, 10),
                              pt(20, 20), 8));
    EXPECT_TRUE(softenRegion(run, tables, src.buffer, dst.buffer, mask.buffer, ColorModel::RGB, kAll, pt(10, 10),
                             pt(20, 20), 3));
    // A size of 0 (stored amount 0) copies and needs no table.
    releaseSoftenTables(tables);
    EXPECT_TRUE(softenRegion(run, tables, src.buffer, dst.buffer, mask.buffer, ColorModel::RGB, kAll, pt(10, 10),
                             pt(20, 20), 0));
    EXPECT_FALSE(softenRegion(run, tables, src.buffer, dst.buffer, mask.buffer, ColorModel::RGB, kAll, pt(4, 10),
                              pt(20, 20), 8));
}

TEST_F(Soften, PrepareReportsAFailedAllocation) {
    host.setBufferLimit(64);
    EXPECT_FALSE(prepareSoftenTables(run, tables, 90));
    host.setBufferLimit(0);
    OwnedBuffer src(run, 30, 30, 3), dst(run, 30, 30, 3), mask(run, 30, 30, 1);
    EXPECT_FALSE(softenRegion(run, tables, src.buffer, dst.buffer, mask.buffer, ColorModel::RGB, kAll, pt(10, 10),
                              pt(20, 20), 8));
    EXPECT_TRUE(prepareSoftenTables(run, tables, 90));
    EXPECT_FALSE(prepareSoftenTables(run, tables, 1e9));  // far beyond any buffer
}

// Every vector level and thread count gives the plain loop's bytes: all
// models and channel choices, masks of equal runs and of noise, every grid
// step up to 4, and rectangles of several bands of rows.
TEST_F(Soften, EveryLevelAndThreadCountMatchesThePlainGrid) {
    std::mt19937 rng(5);
    const ColorModel models[] = {ColorModel::HSI, ColorModel::RGB, ColorModel::CMYK, ColorModel::YUV};
    const uint8_t flagSets[][4] = {{1, 1, 1, 1}, {1, 0, 1, 0}, {0, 1, 1, 1}};
    const VectorLevel levels[] = {VectorLevel::Plain, VectorLevel::Sse2, VectorLevel::Avx2};
    struct Case {
        double size;
        int32_t width, height;  // of the rectangle
    };
    const Case cases[] = {{1.5, 21, 3}, {7, 13, 800}, {20, 21, 3}, {41, 24, 4}, {50, 21, 3}, {70, 19, 2}, {90, 17, 2}};
    for (const Case& c : cases) {
        ASSERT_TRUE(prepareSoftenTables(run, tables, c.size));
        const int32_t r = int32_t(std::ceil(c.size * 0.5) + 0.1);
        const int32_t w = 2 * r + c.width, h = 2 * r + c.height;
        for (ColorModel model : models) {
            const int ch = channelsOf(model);
            OwnedBuffer src(run, w, h, ch), fast(run, w, h, ch), slow(run, w, h, ch), mask(run, w, h, 1);
            for (int pattern = 0; pattern < 3; ++pattern) {
                if (pattern == 2)
                    fillRandom(src, rng);
                else
                    fillPatches(src, rng, 3);
                if (pattern == 0) fillPatches(mask, rng, 9);
                if (pattern == 1) fillRandom(mask, rng);
                if (pattern == 2)
                    for (size_t i = 0; i < mask.samples(); ++i) mask.buffer.data[i] = 65535;
                for (const auto& flags : flagSets) {
                    fillRandom(slow, rng);
                    const std::vector<uint16_t> before = slow.copy();
                    reference::softenRegion(src.buffer, slow.buffer, mask.buffer, model, flags, pt(r, r),
                                            pt(h - r, w - r), c.size);
                    for (VectorLevel level : levels)
                        for (int threads : {1, 2, 3, 7}) {
                            run.setThreads(threads);
                            std::copy(before.begin(), before.end(), fast.buffer.data);
                            ASSERT_TRUE(softenRegion(run, tables, src.buffer, fast.buffer, mask.buffer, model, flags,
                                                     pt(r, r), pt(h - r, w - r), c.size, level));
                            ASSERT_EQ(fast.copy(), slow.copy()) << "model " << int(model) << " size " << c.size
                                                                << " level " << int(level) << " threads " << threads;
                        }
                }
            }
        }
    }
}

// Tiles of one width side by side, on two threads: each reuses the last
// one's tap layout at its own columns, and together they give the plain
// grid's bytes for the whole rectangle; then a wider tile needs a new layout.
TEST_F(Soften, TilesOfOneWidthMatchThePlainGrid) {
    std::mt19937 rng(7);
    const double size = 20;
    ASSERT_TRUE(prepareSoftenTables(run, tables, size));
    const int32_t r = 10, w = 2 * r + 37, h = 2 * r + 70;
    OwnedBuffer src(run, w, h, 3), fast(run, w, h, 3), slow(run, w, h, 3), mask(run, w, h, 1);
    fillPatches(src, rng, 3);
    fillRandom(mask, rng);
    fillRandom(slow, rng);
    const std::vector<uint16_t> before = slow.copy();
    reference::softenRegion(src.buffer, slow.buffer, mask.buffer, ColorModel::RGB, kAll, pt(r, r), pt(h - r, w - r),
                            size);
    std::copy(before.begin(), before.end(), fast.buffer.data);
    run.setThreads(2);
    for (int32_t x : {r, r + 12, r + 24})
        ASSERT_TRUE(softenRegion(run, tables, src.buffer, fast.buffer, mask.buffer, ColorModel::RGB, kAll, pt(r, x),
                                 pt(h - r, x + 12), size));
    ASSERT_TRUE(softenRegion(run, tables, src.buffer, fast.buffer, mask.buffer, ColorModel::RGB, kAll, pt(r, r + 36),
                             pt(h - r, w - r), size));
    EXPECT_EQ(fast.copy(), slow.copy());
    std::copy(before.begin(), before.end(), fast.buffer.data);
    ASSERT_TRUE(softenRegion(run, tables, src.buffer, fast.buffer, mask.buffer, ColorModel::RGB, kAll, pt(r, r),
                             pt(h - r, w - r), size));
    EXPECT_EQ(fast.copy(), slow.copy());
}

// Radii up to 300 (steps up to 30): the step copies of the larger steps
// would pass the memory budget, and those radii are summed from the source.
TEST_F(Soften, RadiiBeyondTheCopyBudgetMatchThePlainGrid) {
    std::mt19937 rng(6);
    const double size = 600;
    ASSERT_TRUE(prepareSoftenTables(run, tables, size));
    const int32_t r = 300, w = 2 * r + 6, h = 2 * r + 2;
    OwnedBuffer src(run, w, h, 3), fast(run, w, h, 3), slow(run, w, h, 3), mask(run, w, h, 1);
    fillRandom(src, rng);
    fillRandom(mask, rng);
    reference::softenRegion(src.buffer, slow.buffer, mask.buffer, ColorModel::RGB, kAll, pt(r, r), pt(h - r, w - r),
                            size);
    ASSERT_TRUE(softenRegion(run, tables, src.buffer, fast.buffer, mask.buffer, ColorModel::RGB, kAll, pt(r, r),
                             pt(h - r, w - r), size));
    EXPECT_EQ(fast.copy(), slow.copy());
}

}  // namespace
