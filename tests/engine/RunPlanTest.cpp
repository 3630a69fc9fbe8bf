// The run's plan is worked out from the record alone: its tiles must cover
// the work area exactly once, fetch only inside the image, and fit the
// working buffers with their mirrored margins.
#include <gtest/gtest.h>

#include <vector>

#include "engine/RunPlan.h"

namespace {

FilterParameters settings(Operation operation, int32_t amount) {
    FilterParameters p;
    p.setDefaults();
    p.operation = operation;
    p.amount = amount;
    p.curves.evaluateAll();
    return p;
}

FilterRecord record(int16_t mode, int32_t width, int32_t height, Rect filterRect, int32_t tileW, int32_t tileH) {
    FilterRecord r{};
    r.imageMode = mode;
    r.depth = mode == plugInModeRGB48 ? 16 : 8;
    r.imageSize = Point{int16(height), int16(width)};
    r.filterRect = filterRect;
    r.outTileWidth = int16_t(tileW);
    r.outTileHeight = int16_t(tileH);
    return r;
}

Rect rect(int top, int left, int bottom, int right) {
    return Rect{int16(top), int16(left), int16(bottom), int16(right)};
}

TEST(RunPlan, TilesCoverTheWorkOnceAndFetchInsideTheImage) {
    struct Case {
        int32_t width, height;
        Rect filterRect, work;
        int32_t tileW, tileH;
        Operation operation;
        int32_t amount;
    };
    const Case cases[] = {
        {120, 90, rect(0, 0, 90, 120), rect(0, 0, 90, 120), 32, 32, Operation::Sharpen, 50},
        {120, 90, rect(0, 0, 90, 120), rect(0, 0, 90, 120), 7, 300, Operation::Soften, 100},
        {120, 90, rect(-5, -9, 200, 200), rect(10, 20, 41, 77), 16, 5, Operation::Soften, 60},
        {33, 400, rect(0, 0, 400, 33), rect(0, 0, 400, 33), 1, 1, Operation::Sharpen, 1},
        {500, 3, rect(0, 0, 3, 500), rect(1, 499, 3, 500), 64, 64, Operation::Soften, 100},
        // A host that states no tile size: one tile across the work area,
        // up to the largest side.
        {120, 90, rect(0, 0, 90, 120), rect(0, 0, 90, 120), 0, 0, Operation::Soften, 100},
        {120, 90, rect(0, 0, 90, 120), rect(10, 20, 41, 77), 0, 16, Operation::Sharpen, 50},
        {1100, 20, rect(0, 0, 20, 1100), rect(0, 0, 20, 1100), 0, 0, Operation::Sharpen, 50},
    };
    for (const Case& c : cases) {
        const FilterRecord rec = record(plugInModeRGBColor, c.width, c.height, c.filterRect, c.tileW, c.tileH);
        RunPlan plan;
        ASSERT_TRUE(planImage(rec, plan));
        EXPECT_GE(plan.filterRect.top, 0);
        EXPECT_GE(plan.filterRect.left, 0);
        EXPECT_LE(plan.filterRect.bottom, c.height);
        EXPECT_LE(plan.filterRect.right, c.width);
        ASSERT_TRUE(planTiles(rec, settings(c.operation, c.amount), c.work, plan));
        if (c.tileW == 0) {
            EXPECT_EQ(plan.tileCols, (c.work.right - c.work.left + kUnstatedTileSide - 1) / kUnstatedTileSide);
        }
        if (c.tileH == 0) {
            EXPECT_EQ(plan.tileRows, 1);
        }
        const int32_t r = plan.operation.margin;
        std::vector<int> covered(size_t(c.width) * size_t(c.height), 0);
        for (int32_t row = 0; row < plan.tileRows; ++row)
            for (int32_t col = 0; col < plan.tileCols; ++col) {
                const TilePlacement t = placeTile(plan, row, col);
                for (int32_t y = t.tile.top; y < t.tile.bottom; ++y)
                    for (int32_t x = t.tile.left; x < t.tile.right; ++x) ++covered[size_t(y) * c.width + x];
                // Fetched inside the image; with the missing margins it is the
                // tile grown by r on every side.
                EXPECT_TRUE(t.fetched.top >= 0 && t.fetched.left >= 0 && t.fetched.bottom <= c.height &&
                            t.fetched.right <= c.width);
                EXPECT_EQ(t.fetched.top - t.missing.top, t.tile.top - r);
                EXPECT_EQ(t.fetched.left - t.missing.left, t.tile.left - r);
                EXPECT_EQ(t.fetched.bottom + t.missing.bottom, t.tile.bottom + r);
                EXPECT_EQ(t.fetched.right + t.missing.right, t.tile.right + r);
                // The tile and its margins fit the buffers.
                EXPECT_LE(t.usedEnd.v, plan.bufferHeight);
                EXPECT_LE(t.usedEnd.h, plan.bufferWidth);
                EXPECT_EQ(t.bottomRight.v - t.topLeft.v, t.tile.bottom - t.tile.top);
                EXPECT_EQ(t.bottomRight.h - t.topLeft.h, t.tile.right - t.tile.left);
                EXPECT_EQ(t.topLeft.v, r);
                EXPECT_EQ(t.topLeft.h, r);
            }
        for (int32_t y = 0; y < c.height; ++y)
            for (int32_t x = 0; x < c.width; ++x) {
                const bool inWork = y >= c.work.top && y < c.work.bottom && x >= c.work.left && x < c.work.right;
                ASSERT_EQ(covered[size_t(y) * c.width + x], inWork ? 1 : 0) << x << "," << y;
            }
    }
}

TEST(RunPlan, RefusedRecordsAndSettings) {
    FilterRecord rec = record(plugInModeRGBColor, 40, 30, rect(0, 0, 30, 40), 16, 16);
    EXPECT_EQ(checkRecord(rec), filterBadParameters) << "no advance procedure";
    rec.advanceState = [](void) -> OSErr { return noErr; };
    EXPECT_EQ(checkRecord(rec), noErr);
    rec.outTileWidth = 0;
    EXPECT_EQ(checkRecord(rec), noErr) << "no tile size: the whole filter rectangle";
    rec = record(plugInModeGrayScale, 40, 30, rect(0, 0, 30, 40), 16, 16);
    rec.advanceState = [](void) -> OSErr { return noErr; };
    EXPECT_EQ(checkRecord(rec), filterBadMode);

    RunPlan plan;
    EXPECT_FALSE(planImage(record(plugInModeRGBColor, 0, 30, rect(0, 0, 30, 0), 16, 16), plan));
    // A soften margin wider than the image is refused before any buffer is taken.
    rec = record(plugInModeRGB48, 40, 30, rect(0, 0, 30, 40), 16, 16);
    ASSERT_TRUE(planImage(rec, plan));
    EXPECT_EQ(plan.depth, 16);
    EXPECT_EQ(plan.planes, 3);
    EXPECT_FALSE(planTiles(rec, settings(Operation::Soften, 100000), rec.filterRect, plan));
}

}  // namespace
