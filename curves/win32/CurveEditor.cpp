#include "curves/win32/CurveEditor.h"

#include <algorithm>

#include "toolkit/ColorBox.h"
#include "toolkit/Dialog.h"
#include "toolkit/Label.h"

bool CurveEditor::attach(ColorBox* box, Dialog* owner, Rect16 graph, Curve* curve, Label* xReadout, Label* yReadout) {
    const CurveGraph candidate{graph};
    if (!box || !owner || !curve || !xReadout || !yReadout || candidate.width() < 2 || candidate.height() < 2)
        return false;
    box->setColor(kBackgroundColor);
    box_ = box;
    canvas_ = owner;
    graph_ = candidate;
    curve_ = curve;
    xReadout_ = xReadout;
    yReadout_ = yReadout;
    background_ = kBackgroundColor;
    curveColor_ = kCurveColor;
    pointColor_ = kPointColor;
    labelFontSize_ = 0;
    markerShown_ = 0;
    lastMouse_ = Point16{0, kNoMousePosition};
    return true;
}

void CurveEditor::paint() {
    if (!canvas_) return;
    Dialog& c = *canvas_;
    const int32_t previousSize = c.setFont(labelFontSize_);
    const Rgb16 previousColor = c.setColor(kAxisColor);
    const Rect16& r = graph_.rect;

    for (int32_t y : verticalTickRows(graph_)) {
        c.moveTo(r.left - 1, y);
        c.lineBy(-(kVerticalTickLength - 1), 0);
    }
    for (const AxisLabel& label : verticalAxisLabels(graph_)) {
        c.moveTo(label.at.x, label.at.y);
        c.drawText(label.text);
    }

    for (int32_t j = 0; j < graph_.width(); ++j) {
        const std::array<uint16_t, 3> rgb = colorBarColor(curve_->kind, j, graph_.width());
        c.setColor(Rgb16{rgb[0], rgb[1], rgb[2]});
        c.moveTo(r.left + j, r.bottom);
        c.lineBy(0, kColorBarRows - 1);
    }

    c.setColor(kAxisColor);
    for (int32_t x : horizontalTickColumns(graph_, curve_->kind)) {
        c.moveTo(x, r.bottom);
        c.lineBy(0, kHorizontalTickRows - 1);
    }
    for (const AxisLabel& label : horizontalAxisLabels(graph_, curve_->kind)) {
        c.moveTo(label.at.x, label.at.y);
        c.drawText(label.text);
    }

    c.setFont(previousSize);
    redraw();
    c.setColor(previousColor);
}

void CurveEditor::redraw() {
    if (!canvas_) return;
    Dialog& c = *canvas_;
    const Rect16& r = graph_.rect;
    box_->paint();

    c.setClip(r.left, r.top, r.right, r.bottom);
    c.setColor(curveColor_);
    const CurveLine line = curveLine(graph_, *curve_);
    c.moveTo(line.start.x, line.start.y);
    for (const GraphPoint& p : line.vertices) c.lineTo(p.x, p.y);
    c.resetClip();

    c.setClip(r.left, r.top, r.right, r.bottom);
    c.setColor(pointColor_);
    for (int32_t i = 0; i < kCurveSlots; ++i) {
        if (curve_->points[i] == NoPoint) continue;
        const int32_t x = graph_.xOfIndex(i), y = graph_.yOfValue(curve_->points[i]);
        c.frameEllipse(x - 2, y - 2, x + 2, y + 2);
    }
    c.resetClip();
    // The background covered a marker shown over the old drawing; it goes on
    // top again, so that hiding it later removes it instead of drawing one.
    if (markerShown_) drawMarkerTriangle(markerX_);
}

void CurveEditor::track(Point16 p) {
    if (!canvas_) return;
    const int32_t left = graph_.rect.left, top = graph_.rect.top;
    if (!graph_.contains(p)) return;
    setPointAt(p.h - left, p.v - top, true);
    for (;;) {
        Point16 where{};
        const int32_t outcome = canvas_->trackDrag(where);
        if (outcome < 0) return;  // the window has gone
        const int32_t x = std::clamp<int32_t>(where.h - left, 0, graph_.lastColumn());
        const int32_t y = std::clamp<int32_t>(where.v - top, 0, graph_.lastRow());
        setPointAt(x, y, false);
        showReadout(Point16{int16_t(y + top), int16_t(x + left)});
        if (outcome != 2) return;  // the button was released
    }
}

void CurveEditor::setPointAt(int32_t x, int32_t y, bool first) {
    if (!curve_) return;
    lastIndex_ = placePointAt(*curve_, graph_, x, y, first, lastIndex_);
    redraw();
}

void CurveEditor::showReadout(Point16 p) {
    if (!xReadout_) return;
    if (p.h == kNoMousePosition) {
        xReadout_->setText("");
        yReadout_->setText("");
        lastMouse_.h = kNoMousePosition;
        return;
    }
    if (p.h == lastMouse_.h && p.v == lastMouse_.v) return;
    const ReadoutTexts texts = readoutTexts(graph_, curve_->kind, p);
    xReadout_->setText(texts.x.c_str());
    yReadout_->setText(texts.y.c_str());
    lastMouse_ = p;
}

void CurveEditor::showMarker(double fraction) {
    if (!canvas_) return;
    if (markerShown_) hideMarker();
    const int32_t x = markerColumn(graph_, fraction);
    drawMarkerTriangle(x);
    markerX_ = x;
    markerShown_ = 1;
}

void CurveEditor::hideMarker() {
    if (!canvas_ || !markerShown_) return;
    drawMarkerTriangle(markerX_);
    markerShown_ = 0;
}

void CurveEditor::drawMarkerTriangle(int32_t x) {
    Dialog& c = *canvas_;
    const Rect16& r = graph_.rect;
    c.setClip(r.left, r.top, r.right, r.bottom);
    const int32_t previousMode = c.setDrawMode(DrawModeXor);
    const Rgb16 previousColor = c.setColor(Rgb16{65535, 65535, 65535});
    const std::array<GraphPoint, 4> outline = markerOutline(graph_, x);
    c.moveTo(outline[0].x, outline[0].y);
    for (size_t i = 1; i < outline.size(); ++i) c.lineTo(outline[i].x, outline[i].y);
    c.setColor(previousColor);
    if (previousMode == DrawModeCopy || previousMode == DrawModeXor) c.setDrawMode(previousMode);
    c.resetClip();
}
