// The editor of one selection curve. It is not a window of its own: it draws
// on the owner dialog's surface, over a colour box whose rectangle is the
// graph area, with tick marks, axis labels and a colour bar under the graph.
// The owner forwards its paint, left-button-down and mouse-move events:
//   painted                 -> paint()
//   left button down        -> track(position)    (returns on release)
//   mouse move              -> showReadout(position), or {0, 65535} to clear
//   mouse over the preview  -> showMarker(fraction); leaving it -> hideMarker()
// After changing the curve by other means (reset, loaded settings, sampling)
// the owner calls redraw(). The marker is drawn in XOR mode; redraw() and
// paint() put a shown marker back on top of the new drawing, anything else
// that repaints the graph must hide it first and show it again afterwards.
#pragma once

#include <cstdint>

#include "base/Geometry.h"
#include "curves/Curve.h"
#include "curves/CurveGraph.h"
#include "toolkit/Rgb16.h"

class ColorBox;
class Dialog;
class Label;

// h of a position that clears the readouts.
constexpr int16_t kNoMousePosition = int16_t(-1);  // 65535 as an unsigned value

class CurveEditor {
public:
    CurveEditor() = default;
    CurveEditor(const CurveEditor&) = delete;
    CurveEditor& operator=(const CurveEditor&) = delete;

    // Binds the editor to its graph: box (whose rectangle is graph, in the
    // owner's client coordinates), the dialog it draws on, the curve it edits
    // (kept by the caller, edited in place) and the two readout labels. Gives
    // the box the graph's grey. False, and nothing bound, when a pointer is
    // null or the graph is smaller than 2 x 2 pixels.
    bool attach(ColorBox* box, Dialog* owner, Rect16 graph, Curve* curve, Label* xReadout, Label* yReadout);
    bool isAttached() const { return canvas_ != nullptr; }
    const CurveGraph& graph() const { return graph_; }

    // Everything: ticks, labels, colour bar, then redraw().
    void paint();
    // The graph's background, the curve line and its points (and the marker
    // when it is shown).
    void redraw();
    // A left-button press at p (owner's client coordinates): places a point
    // there and follows the mouse until the button is released, erasing the
    // points it sweeps over. A press outside the graph does nothing.
    void track(Point16 p);
    // One step of a drag at graph-relative (x, y); first is true for the
    // press itself. Redraws.
    void setPointAt(int32_t x, int32_t y, bool first);
    // Shows the graph coordinates under p in the readouts; empty texts
    // outside the graph. h = kNoMousePosition clears them.
    void showReadout(Point16 p);
    // The position marker at fraction (0..1) along the axis.
    void showMarker(double fraction);
    void hideMarker();
    bool markerShown() const { return markerShown_ != 0; }

    // Colours of the parts the editor draws.
    static constexpr Rgb16 kBackgroundColor{50000, 50000, 50000};
    static constexpr Rgb16 kCurveColor{0, 0, 0};
    static constexpr Rgb16 kPointColor{65280, 0, 0};
    static constexpr Rgb16 kAxisColor{8192, 8192, 8192};

private:
    void drawMarkerTriangle(int32_t x);

    Rgb16 background_ = kBackgroundColor;
    Rgb16 curveColor_ = kCurveColor;
    Rgb16 pointColor_ = kPointColor;
    int16_t labelFontSize_ = 0;  // 0: the system's default GUI font
    ColorBox* box_ = nullptr;
    Dialog* canvas_ = nullptr;
    Curve* curve_ = nullptr;
    CurveGraph graph_{};
    int32_t lastIndex_ = 0;  // index placed by the previous step of a drag
    Label* xReadout_ = nullptr;
    Label* yReadout_ = nullptr;
    Point16 lastMouse_{0, kNoMousePosition};
    uint8_t markerShown_ = 0;
    int32_t markerX_ = 0;
};
