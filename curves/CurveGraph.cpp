#include "curves/CurveGraph.h"

#include <algorithm>
#include <cstdio>

#include "imageops/ColorModel.h"

namespace {

bool isFilled(float v) { return v != NoPoint; }

// Values taken from another slot to start or end the line: an empty slot
// (-1) counts as 0.
double atLeastZero(float v) { return v < 0.0f ? 0.0 : double(v); }

}  // namespace

int32_t CurveGraph::xOfIndex(int32_t i) const {
    return rect.left + int32_t(double(i) * (double(lastColumn()) * kInverse1023));
}

int32_t CurveGraph::yOfValue(double v) const { return rect.top + int32_t((1.0 - v) * double(lastRow())); }

int32_t CurveGraph::indexOfColumn(int32_t x) const {
    if (lastColumn() <= 0) return 0;
    const int32_t index = int32_t(double(x) / (double(lastColumn()) * kInverse1023));
    return std::clamp(index, 0, kCurveSlots - 1);
}

double CurveGraph::valueOfRow(int32_t y) const {
    if (lastRow() <= 0) return 1.0;
    return 1.0 - double(y) / double(lastRow());
}

CurveLine curveLine(const CurveGraph& graph, const Curve& curve) {
    const float* points = curve.points;
    CurveLine line;
    const bool empty = std::none_of(points, points + kCurveSlots, isFilled);
    double startValue = 0.0;
    if (empty) {
        // An empty curve selects everything: show it at full.
        startValue = 1.0;
    } else if (isFilled(points[0])) {
        startValue = points[0];
    } else if (curve.kind == CurveHue) {
        startValue = atLeastZero(points[kCurveSlots - 1]);
    } else {
        int32_t i = 1;
        while (i < kCurveSlots - 1 && !isFilled(points[i])) ++i;
        startValue = atLeastZero(points[i]);
    }
    line.start = GraphPoint{graph.rect.left, graph.yOfValue(startValue)};
    for (int32_t i = 1; i < kCurveSlots; ++i)
        if (isFilled(points[i])) line.vertices.push_back(GraphPoint{graph.xOfIndex(i), graph.yOfValue(points[i])});
    if (!isFilled(points[kCurveSlots - 1])) {
        int32_t i = kCurveSlots - 2;
        while (i > 0 && !isFilled(points[i])) --i;
        const double endValue = empty ? 1.0 : atLeastZero(points[i]);
        line.vertices.push_back(GraphPoint{graph.rect.left + graph.lastColumn(), graph.yOfValue(endValue)});
    }
    return line;
}

std::array<int32_t, 5> verticalTickRows(const CurveGraph& graph) {
    std::array<int32_t, 5> rows{};
    for (int32_t i = 0; i < 5; ++i) rows[i] = graph.rect.top + int32_t(double(i * graph.lastRow()) * 0.25);
    return rows;
}

std::vector<AxisLabel> verticalAxisLabels(const CurveGraph& graph) {
    const std::array<int32_t, 5> rows = verticalTickRows(graph);
    const int32_t x = graph.rect.left - 25;
    return {{{x, rows[0]}, "full"}, {{x, rows[0] + 10}, "on"}, {{x, rows[4] + 4}, "off"}};
}

std::vector<int32_t> horizontalTickColumns(const CurveGraph& graph, int32_t kind) {
    const int32_t left = graph.rect.left, w = graph.lastColumn();
    std::vector<int32_t> columns;
    if (kind == CurveHue) {
        // The hue of 360 degrees, the same as 0, gets no tick of its own.
        for (int32_t j = 0; j < 6; ++j) columns.push_back(left - int32_t(double(j * w) * -0.16666666666666666));
    } else {
        for (int32_t j = 0; j < 3; ++j) columns.push_back(left + int32_t(double(j * w) * 0.5));
    }
    return columns;
}

std::vector<AxisLabel> horizontalAxisLabels(const CurveGraph& graph, int32_t kind) {
    static const char* const kHues[] = {"    Red", " Yellow", "  Green", "  Cyan", "   Blue", "Magenta"};
    static const char* const kPercents[] = {"  0%", " 50%", "100%"};
    const std::vector<int32_t> columns = horizontalTickColumns(graph, kind);
    const int32_t shift = kind == CurveHue ? 18 : 12;
    const int32_t y = graph.rect.bottom + 16;
    std::vector<AxisLabel> labels;
    for (size_t j = 0; j < columns.size(); ++j)
        labels.push_back({{columns[j] - shift, y}, kind == CurveHue ? kHues[j] : kPercents[j]});
    return labels;
}

std::array<uint16_t, 3> colorBarColor(int32_t kind, int32_t column, int32_t width) {
    // Hue, saturation and value at the bar's two ends, 0..65535 each.
    struct Ends {
        double a[3], b[3];
    };
    static const Ends kHueEnds{{0, 65535, 65535}, {65535, 65535, 65535}};
    static const Ends kSaturationEnds{{38226, 0, 24995}, {38226, 65535, 65535}};
    static const Ends kIntensityEnds{{43685, 0, 0}, {43685, 0, 65535}};
    const Ends& ends = kind == CurveHue ? kHueEnds : kind == CurveSaturation ? kSaturationEnds : kIntensityEnds;
    const double t = double(column) / double(width);
    uint16_t c[3];
    for (int k = 0; k < 3; ++k) c[k] = uint16_t(int32_t(ends.a[k] * (1.0 - t) + ends.b[k] * t));
    HsiPixel hsv{};
    hsv.hue = c[0];
    hsv.hsiSaturation = c[1];
    hsv.value = c[2];
    uint16_t rgb[3];
    hsvToRgb(hsv, rgb);
    return {rgb[0], rgb[1], rgb[2]};
}

ReadoutTexts readoutTexts(const CurveGraph& graph, int32_t kind, Point16 p) {
    ReadoutTexts texts;
    if (!graph.contains(p) || graph.lastColumn() <= 0 || graph.lastRow() <= 0) return texts;
    const double x = double(p.h - graph.rect.left) * 100.0 / double(graph.lastColumn());
    const double y = (1.0 - double(p.v - graph.rect.top) / double(graph.lastRow())) * 100.0;
    char buffer[64];
    if (kind == CurveHue)
        std::snprintf(buffer, sizeof buffer, "X: %.1f%c", x * 3.6, char(176));
    else
        std::snprintf(buffer, sizeof buffer, "X: %.1f%%", x);
    texts.x = buffer;
    std::snprintf(buffer, sizeof buffer, "Y: %.0f%%", y);
    texts.y = buffer;
    return texts;
}

int32_t markerColumn(const CurveGraph& graph, double fraction) {
    const double f = std::clamp(fraction, 0.0, 1.0);
    return graph.rect.left + int32_t(roundHalfAway(f * double(graph.lastColumn())));
}

std::array<GraphPoint, 4> markerOutline(const CurveGraph& graph, int32_t x) {
    const int32_t bottom = graph.rect.bottom;
    return {GraphPoint{x, bottom - 1}, GraphPoint{x - 3, bottom - 4}, GraphPoint{x + 3, bottom - 4},
            GraphPoint{x + 1, bottom - 2}};
}

int32_t placePointAt(Curve& curve, const CurveGraph& graph, int32_t x, int32_t y, bool first, int32_t previousIndex) {
    constexpr int32_t last = kCurveSlots - 1;
    const int32_t index = graph.indexOfColumn(x);
    if (!first) curve.clearSpan(std::min(previousIndex, index), std::max(previousIndex, index));
    curve.clearNear(index, 5, 5);
    curve.points[index] = float(graph.valueOfRow(y));
    if (curve.kind == CurveHue) {
        if (index == 0)
            curve.points[last] = curve.points[0];
        else if (index == last)
            curve.points[0] = curve.points[last];
        int32_t lowest = 0;
        while (lowest < last && !isFilled(curve.points[lowest])) ++lowest;
        curve.points[last] = curve.points[lowest];
    }
    return index;
}
