// The curve editor's arithmetic: pixel mapping, placing points during a drag,
// the drawn line, axes, colour bar, readouts and marker.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "curves/CurveGraph.h"

namespace {

// 256 x 101 pixels at (40, 30): column 255 is index 1023, row 25 is 0.75.
const CurveGraph kGraph{Rect16{30, 40, 131, 296}};

Curve curveWith(int32_t kind, const std::map<int, float>& filled) {
    Curve c;
    c.reset(kind);
    std::fill(c.points, c.points + kCurveSlots, NoPoint);
    for (const auto& [i, v] : filled) c.points[i] = v;
    return c;
}

std::map<int, float> filledSlots(const Curve& c) {
    std::map<int, float> out;
    for (int i = 0; i < kCurveSlots; ++i)
        if (c.points[i] != NoPoint) out[i] = c.points[i];
    return out;
}

TEST(CurveGraph, PixelsMapToIndicesAndValues) {
    EXPECT_EQ(kGraph.indexOfColumn(255), 1023);
    EXPECT_EQ(kGraph.indexOfColumn(128), 513);
    EXPECT_EQ(kGraph.indexOfColumn(0), 0);
    EXPECT_EQ(kGraph.valueOfRow(0), 1.0);
    EXPECT_EQ(kGraph.valueOfRow(100), 0.0);
    EXPECT_EQ(kGraph.valueOfRow(25), 0.75);
    EXPECT_EQ(kGraph.xOfIndex(0), 40);
    EXPECT_EQ(kGraph.yOfValue(1.0), 30);
    EXPECT_EQ(kGraph.yOfValue(0.0), 130);
    // Every column maps to an index that maps back to that column or just
    // left of it, for the editors' real width too.
    for (const CurveGraph& g : {kGraph, CurveGraph{Rect16{0, 560, 159, 901}}}) {
        int32_t previous = -1;
        for (int32_t x = 0; x <= g.lastColumn(); ++x) {
            const int32_t i = g.indexOfColumn(x);
            ASSERT_GE(i, previous);
            ASSERT_LE(g.xOfIndex(i) - g.rect.left, x);
            ASSERT_GE(g.xOfIndex(i) - g.rect.left, x - 1);
            previous = i;
        }
        EXPECT_EQ(previous, 1023);
    }
}

struct DragCase {
    const char* name;
    int32_t kind;
    std::map<int, float> before;
    std::vector<GraphPoint> steps;  // graph-relative; the first is the press
    std::map<int, float> after;
};

TEST(CurveGraph, PlacingPointsAlongADrag) {
    const DragCase cases[] = {
        {"a click removes points within 5 slots only",
         CurveSaturation,
         {{0, 0.f}, {94, .1f}, {95, .2f}, {105, .3f}, {106, .4f}, {1023, 1.f}},
         {{25, 25}},  // index 100
         {{0, 0.f}, {94, .1f}, {100, .75f}, {106, .4f}, {1023, 1.f}}},
        {"a drag erases what it sweeps, the press point included",
         CurveIntensity,
         {{0, 1.f}, {200, .5f}, {511, 1.f}, {1023, 1.f}},
         {{25, 0}, {60, 50}, {75, 100}},  // indices 100, 240, 300
         {{0, 1.f}, {300, 0.f}, {511, 1.f}, {1023, 1.f}}},
        {"dragging back erases in the other direction",
         CurveIntensity,
         {{0, 1.f}, {150, .5f}, {1023, 1.f}},
         {{75, 0}, {25, 50}},  // 300, then 100
         {{0, 1.f}, {100, .5f}, {1023, 1.f}}},
        {"a hue point at red is also the point at 360 degrees",
         CurveHue,
         {{300, .2f}, {1023, .2f}},
         {{0, 25}},
         {{0, .75f}, {300, .2f}, {1023, .75f}}},
        {"a hue point at 360 degrees is also the point at red",
         CurveHue,
         {{0, 1.f}, {300, .2f}, {1023, 1.f}},
         {{255, 50}},
         {{0, .5f}, {300, .2f}, {1023, .5f}}},
        {"leaving 360 degrees keeps the red point it made",
         CurveHue,
         {{300, .2f}, {1023, .2f}},
         {{255, 50}, {250, 0}},  // 1023, then 1002
         {{0, .5f}, {300, .2f}, {1002, 1.f}, {1023, .5f}}},
        {"slot 1023 repeats the lowest filled hue slot",
         CurveHue,
         {{0, 1.f}, {2, .3f}, {1023, 1.f}},
         {{1, 75}},  // index 4 clears 0 and 2
         {{4, .25f}, {1023, .25f}}},
    };
    for (const DragCase& c : cases) {
        Curve curve = curveWith(c.kind, c.before);
        int32_t last = 0;
        for (size_t s = 0; s < c.steps.size(); ++s)
            last = placePointAt(curve, kGraph, c.steps[s].x, c.steps[s].y, s == 0, last);
        EXPECT_EQ(filledSlots(curve), c.after) << c.name;
    }
}

TEST(CurveGraph, LineRunsThroughThePointsEdgeToEdge) {
    const int right = kGraph.rect.left + 255;
    struct Case {
        const char* name;
        int32_t kind;
        std::map<int, float> points;
        CurveLine expected;
    } cases[] = {
        {"from the first point, on to the right edge",
         CurveSaturation,
         {{400, .5f}, {800, .25f}},
         {{40, 80}, {{kGraph.xOfIndex(400), 80}, {kGraph.xOfIndex(800), 105}, {right, 105}}}},
        {"a hue curve starts at the value of slot 1023",
         CurveHue,
         {{400, .5f}, {1023, .25f}},
         {{40, 105}, {{kGraph.xOfIndex(400), 80}, {kGraph.xOfIndex(1023), 105}}}},
        {"an empty curve selects everything and is drawn at full", CurveIntensity, {}, {{40, 30}, {{right, 30}}}},
    };
    for (const Case& c : cases) {
        const CurveLine line = curveLine(kGraph, curveWith(c.kind, c.points));
        EXPECT_EQ(line.start, c.expected.start) << c.name;
        EXPECT_EQ(line.vertices, c.expected.vertices) << c.name;
    }
}

TEST(CurveGraph, AxesTicksAndLabels) {
    const CurveGraph g{Rect16{20, 560, 179, 901}};  // 341 x 159
    EXPECT_EQ(verticalTickRows(g), (std::array<int32_t, 5>{20, 59, 99, 138, 178}));
    EXPECT_EQ(horizontalTickColumns(g, CurveHue), (std::vector<int32_t>{560, 616, 673, 730, 786, 843}));
    EXPECT_EQ(horizontalTickColumns(g, CurveIntensity), (std::vector<int32_t>{560, 730, 900}));
    const std::vector<AxisLabel> hues = horizontalAxisLabels(g, CurveHue);
    ASSERT_EQ(hues.size(), 6u);
    EXPECT_EQ(hues[0].at, (GraphPoint{542, 195}));
    EXPECT_STREQ(hues[0].text, "    Red");
    EXPECT_STREQ(hues[5].text, "Magenta");
    const std::vector<AxisLabel> percents = horizontalAxisLabels(g, CurveSaturation);
    EXPECT_EQ(percents[2].at, (GraphPoint{888, 195}));
    EXPECT_STREQ(percents[1].text, " 50%");
    const std::vector<AxisLabel> vertical = verticalAxisLabels(g);
    EXPECT_EQ(vertical[1].at, (GraphPoint{535, 30}));
    EXPECT_EQ(vertical[2].at, (GraphPoint{535, 182}));
}

TEST(CurveGraph, ColorBarRunsAlongItsChannel) {
    const int width = 341;
    std::array<uint16_t, 3> previous{};
    for (int j = 0; j < width; ++j) {
        const auto hue = colorBarColor(CurveHue, j, width);
        ASSERT_GE(*std::max_element(hue.begin(), hue.end()), 65534) << j;  // pure hues
        ASSERT_LE(*std::min_element(hue.begin(), hue.end()), 1) << j;
        const auto grey = colorBarColor(CurveIntensity, j, width);
        ASSERT_TRUE(grey[0] == grey[1] && grey[1] == grey[2]) << j;
        ASSERT_GE(grey[0], previous[0]) << j;
        previous = grey;
        const auto saturation = colorBarColor(CurveSaturation, j, width);
        ASSERT_GE(saturation[2], saturation[0]) << j;  // a blue that deepens
    }
    EXPECT_EQ(colorBarColor(CurveHue, 0, width), (std::array<uint16_t, 3>{65535, 0, 0}));
    EXPECT_EQ(colorBarColor(CurveIntensity, 0, width), (std::array<uint16_t, 3>{0, 0, 0}));
    EXPECT_EQ(colorBarColor(CurveSaturation, 0, width), (std::array<uint16_t, 3>{24995, 24995, 24995}));
}

TEST(CurveGraph, ReadoutTexts) {
    struct Case {
        int32_t kind;
        Point16 p;  // v, h
        const char* x;
        const char* y;
    } cases[] = {
        {CurveHue, {30, 295}, "X: 360.0\xB0", "Y: 100%"},
        {CurveSaturation, {130, 295}, "X: 100.0%", "Y: 0%"},
        {CurveIntensity, {55, 40}, "X: 0.0%", "Y: 75%"},
        {CurveHue, {30, 296}, "", ""},
        {CurveHue, {29, 100}, "", ""},
        {CurveHue, {131, 100}, "", ""},
    };
    for (const Case& c : cases) {
        const ReadoutTexts t = readoutTexts(kGraph, c.kind, c.p);
        EXPECT_EQ(t.x, c.x) << c.p.h << "," << c.p.v;
        EXPECT_EQ(t.y, c.y) << c.p.h << "," << c.p.v;
    }
}

TEST(CurveGraph, MarkerStandsOnTheBottomEdge) {
    EXPECT_EQ(markerColumn(kGraph, 0.0), 40);
    EXPECT_EQ(markerColumn(kGraph, 1.0), 295);
    EXPECT_EQ(markerColumn(kGraph, 0.5), 168);  // 127.5 rounds away from zero
    EXPECT_EQ(markerColumn(kGraph, -3.0), 40);
    EXPECT_EQ(markerColumn(kGraph, 7.0), 295);
    const auto outline = markerOutline(kGraph, 100);
    EXPECT_EQ(outline[0], (GraphPoint{100, 130}));
    EXPECT_EQ(outline[1], (GraphPoint{97, 127}));
    EXPECT_EQ(outline[3], (GraphPoint{101, 129}));
}

}  // namespace
