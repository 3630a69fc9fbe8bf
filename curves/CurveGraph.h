// Where a curve's graph lies on its dialog, and the arithmetic of drawing and
// editing it: pixels <-> curve indices and values, the axis ticks and labels,
// the colour bar, the readout texts, the marker and the placing of points
// during a drag. Coordinates are the owner's client pixels; the rectangle's
// right and bottom are exclusive.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Geometry.h"
#include "curves/Curve.h"

// The double nearest 1/1023.
constexpr double kInverse1023 = 0.0009775171065493646;

struct GraphPoint {
    int32_t x = 0;
    int32_t y = 0;
};
inline bool operator==(GraphPoint a, GraphPoint b) { return a.x == b.x && a.y == b.y; }

struct CurveGraph {
    Rect16 rect;

    int32_t width() const { return rect.right - rect.left; }
    int32_t height() const { return rect.bottom - rect.top; }
    // The last column and row relative to the graph: w and h of the mapping.
    int32_t lastColumn() const { return width() - 1; }
    int32_t lastRow() const { return height() - 1; }
    bool contains(Point16 p) const {
        return p.h >= rect.left && p.h < rect.right && p.v >= rect.top && p.v < rect.bottom;
    }

    // Absolute x of curve index i (0..1023).
    int32_t xOfIndex(int32_t i) const;
    // Absolute y of curve value v (0..1).
    int32_t yOfValue(double v) const;
    // Index under graph-relative column x (0..w), within 0..1023.
    int32_t indexOfColumn(int32_t x) const;
    // Value of graph-relative row y (0..h): 1 at the top, 0 at the bottom.
    double valueOfRow(int32_t y) const;
};

// ---- the curve line ----

// The polyline drawn for a curve: from start through each vertex in turn.
// Every filled slot is a vertex; the line ends at the graph's right edge.
struct CurveLine {
    GraphPoint start;
    std::vector<GraphPoint> vertices;
};
CurveLine curveLine(const CurveGraph& graph, const Curve& curve);

// ---- axes ----

struct AxisLabel {
    GraphPoint at;  // the text's reference point (its top lies 9 pixels above)
    const char* text;
};
// Rows of the five vertical ticks, top (full on) to bottom (off).
std::array<int32_t, 5> verticalTickRows(const CurveGraph& graph);
// Labels of the vertical axis: "full", "on", "off".
std::vector<AxisLabel> verticalAxisLabels(const CurveGraph& graph);
// Columns of the horizontal ticks: six hues, or 0 %, 50 % and 100 %.
std::vector<int32_t> horizontalTickColumns(const CurveGraph& graph, int32_t kind);
std::vector<AxisLabel> horizontalAxisLabels(const CurveGraph& graph, int32_t kind);

// Height of the colour bar under the graph, and of the horizontal ticks.
constexpr int32_t kColorBarRows = 7;
constexpr int32_t kHorizontalTickRows = 8;
constexpr int32_t kVerticalTickLength = 4;

// Colour (16-bit red, green, blue) of column j (0..width - 1) of the bar.
std::array<uint16_t, 3> colorBarColor(int32_t kind, int32_t column, int32_t width);

// ---- readouts and marker ----

struct ReadoutTexts {
    std::string x;
    std::string y;
};
// The texts shown for position p: "X: 12.3" with a degree sign (code 176) on
// the hue curve or a percent sign otherwise, "Y: 45%"; empty outside.
ReadoutTexts readoutTexts(const CurveGraph& graph, int32_t kind, Point16 p);

// Column of the marker for a fraction along the axis (clamped into 0..1).
int32_t markerColumn(const CurveGraph& graph, double fraction);
// The marker's outline: a small triangle standing on the graph's bottom edge.
std::array<GraphPoint, 4> markerOutline(const CurveGraph& graph, int32_t x);

// ---- editing ----

// One step of a drag: index and value of the point placed at graph-relative
// (x, y). Unless first, the slots from previousIndex to the index are emptied
// (the previous point among them); then the slots within 5 of the index, and
// the point is placed. A hue curve closes on itself at red: slot 0 and slot
// 1023 agree when either is placed, and slot 1023 always repeats the lowest
// filled slot. Returns the index placed.
int32_t placePointAt(Curve& curve, const CurveGraph& graph, int32_t x, int32_t y, bool first, int32_t previousIndex);
