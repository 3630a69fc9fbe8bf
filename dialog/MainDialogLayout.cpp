#include "dialog/MainDialogLayout.h"

#include <algorithm>

MainDialogGeometry mainDialogGeometry(int32_t screenWidth, int32_t screenHeight) {
    MainDialogGeometry g;
    g.width = std::max(int32_t(0.9 * screenWidth), int32_t(790));
    g.height = std::max(int32_t(0.81 * screenHeight), int32_t(670));
    g.previewWidth = (g.width - 245) / 2;
    g.previewHeight = g.height - 225;
    g.rightColumn = g.previewWidth + 44;
    g.curveColumn = g.previewWidth + 222;
    g.curveWidth = g.width - g.curveColumn - 20;
    g.curveHeight = (g.height - 192) / 3;
    return g;
}

namespace {

using K = LayoutKind;

void addPreviewColumn(const MainDialogGeometry& g, std::vector<LayoutEntry>& out) {
    const int32_t pw = g.previewWidth, ph = g.previewHeight;
    for (int i = 0; i < 4; ++i) out.push_back({IdReadout1 + i, K::Box, 20 + 43 * i, 2, 42, 16});
    out.push_back({IdTopSwatch, K::Box, std::max(pw / 2 + 11, int32_t(192)), 1, 18, 18});
    out.push_back({IdHueReadout, K::Box, pw - 114, 2, 48, 16});
    out.push_back({IdSaturationReadout, K::Box, pw - 65, 2, 42, 16});
    out.push_back({IdIntensityReadout, K::Box, pw - 22, 2, 42, 16});
    out.push_back({IdPreviewPane, K::Box, 20, 20, pw, ph});
    out.push_back({IdPreviewScrollV, K::ScrollV, pw + 20, 20, 11, ph});
    out.push_back({IdPreviewScrollH, K::ScrollH, 20, ph + 20, pw, 11});

    // Zoom row: each piece placed right of the one before.
    const int32_t caption = pw / 2 - 80;
    const int32_t value = caption + 43 + 1;
    const int32_t arrows = value + 45 + 2;
    out.push_back({IdZoomCaption, K::Box, caption, ph + 45, 43, 16});
    out.push_back({IdZoomValue, K::Box, value, ph + 45, 45, 16});
    out.push_back({IdZoomArrows, K::Spinner, arrows, ph + 41, 13, 24});
    out.push_back({IdZoom100, K::Box, arrows + 40, ph + 43, 50, 17});
    out.push_back({IdZoomFit, K::Box, arrows + 40 + 50 + 10, ph + 43, 50, 17});

    const int32_t frame = pw / 2 - 65;
    out.push_back({IdPreviewGroup, K::CheckTitle, frame, ph + 70, 180, 85});
    out.push_back({IdOperationResult, K::Check, frame + 10, ph + 93, 110, 16});
    out.push_back({IdOverlayColor, K::Check, frame + 10, ph + 113, 110, 16});
    out.push_back({IdOverlaySwatch, K::Box, frame + 60, ph + 113, 45, 35});
    out.push_back({IdStatusText, K::Box, pw / 2 - 32, ph + 160, 120, 16});
    out.push_back({IdProgressBar, K::Progress, pw / 2 - 32, ph + 160 + 16 + 2, 110, 12});
}

void addOperationGroup(int32_t x0, std::vector<LayoutEntry>& out) {
    out.push_back({IdOperationGroup, K::Box, x0, 15, 140, 222});
    out.push_back({IdOperationList, K::List, x0 + 10, 37, 120, 100});
    out.push_back({IdAmountCaption, K::Box, x0 + 10, 61, 120, 16});
    out.push_back({IdAmountSlider, K::Slider, x0 + 10, 77, 120, 16});
    out.push_back({IdAmountLess, K::Box, x0 + 10, 95, 35, 16});
    out.push_back({IdAmountMore, K::Box, x0 + 102, 95, 35, 16});
    out.push_back({IdColorSpaceCaption, K::Box, x0 + 10, 113, 120, 16});
    out.push_back({IdColorSpaceList, K::List, x0 + 10, 131, 120, 100});
    for (int i = 0; i < 4; ++i) out.push_back({IdChannel1 + i, K::Check, x0 + 30, 155 + 20 * i, 100, 16});
}

// A slider with its caption above and its scale labels below.
void addScaledSlider(int32_t x0, int32_t y, int32_t captionWidth, int32_t caption, int32_t slider,
                     std::vector<LayoutEntry>& out) {
    out.push_back({caption, K::Box, x0 + 10, y, captionWidth, 16});
    out.push_back({slider, K::Slider, x0 + 10, y + 16, 120, 16});
}

void addSelectionGroup(int32_t x0, std::vector<LayoutEntry>& out) {
    out.push_back({IdSelectionGroup, K::Box, x0, 242, 140, 215});
    out.push_back({IdFromCurves, K::Check, x0 + 10, 262, 120, 16});
    out.push_back({IdEdgesOnly, K::Check, x0 + 10, 280, 120, 16});
    addScaledSlider(x0, 302, 110, IdOpacityCaption, IdOpacitySlider, out);
    out.push_back({IdOpacityMinus, K::Box, x0 + 12, 336, 12, 16});
    out.push_back({IdOpacityZero, K::Box, x0 + 66, 336, 12, 16});
    out.push_back({IdOpacityPlus, K::Box, x0 + 120, 336, 12, 16});
    addScaledSlider(x0, 352, 120, IdContractCaption, IdContractSlider, out);
    out.push_back({IdContractMinus, K::Box, x0 + 12, 386, 12, 16});
    out.push_back({IdContractZero, K::Box, x0 + 66, 386, 12, 16});
    out.push_back({IdContractPlus, K::Box, x0 + 120, 386, 12, 16});
    addScaledSlider(x0, 402, 110, IdFalloffCaption, IdFalloffSlider, out);
    out.push_back({IdFalloffZero, K::Box, x0 + 12, 436, 12, 16});
    out.push_back({IdFalloffMax, K::Box, x0 + 105, 436, 30, 16});
}

void addSettingsGroup(const MainDialogGeometry& g, std::vector<LayoutEntry>& out) {
    const int32_t x0 = g.rightColumn;
    out.push_back({IdSettingsGroup, K::Box, x0, 462, 140, 130});
    out.push_back({IdSnapshotsCaption, K::Box, x0 + 10, 480, 120, 16});
    for (int i = 0; i < 5; ++i) {
        out.push_back({IdSnapshot1 + i, K::Bitmap, x0 + 10 + 25 * i, 496, 20, 20});
        out.push_back({IdSnapshotFilled1 + i, K::Bitmap, x0 + 10 + 25 * i, 496, 20, 20});
    }
    out.push_back({IdQuickCurvesCaption, K::Box, x0 + 10, 522, 120, 16});
    out.push_back({IdQuickCurvesList, K::List, x0 + 10, 540, 120, 100});
    out.push_back({IdLoad, K::Box, x0 + 10, 566, 55, 17});
    out.push_back({IdSave, K::Box, x0 + 75, 566, 55, 17});
    out.push_back({IdCancel, K::Box, x0 + 20, g.height - 40, 100, 20});
    out.push_back({IdOk, K::Box, x0 + 20, g.height - 68, 100, 20});
}

void addCurveColumn(const MainDialogGeometry& g, std::vector<LayoutEntry>& out) {
    const int32_t x1 = g.curveColumn, cw = g.curveWidth, ch = g.curveHeight;
    const int32_t rows[3] = {20, ch + 82, 2 * ch + 147};
    const int32_t panes[3] = {42, ch + 107, 2 * ch + 172};
    for (int c = 0; c < 3; ++c) {
        out.push_back({curveRowId(c, CurveCaption), K::Box, x1, rows[c], 75, 16});
        out.push_back({curveRowId(c, CurveXReadout), K::Box, x1 + 80, rows[c], 65, 16});
        out.push_back({curveRowId(c, CurveYReadout), K::Box, x1 + 155, rows[c], 55, 16});
        out.push_back({curveRowId(c, CurveReset), K::Box, x1 + cw - 50, rows[c] - 3, 50, 17});
        out.push_back({curveRowId(c, CurveSample), K::Check, x1 + cw - 125, rows[c] - 3, 65, 16});
        out.push_back({curveRowId(c, CurvePane), K::Box, x1, panes[c], cw, ch});
    }
}

}  // namespace

std::vector<LayoutEntry> mainDialogLayout(const MainDialogGeometry& g) {
    std::vector<LayoutEntry> out;
    out.reserve(100);
    addPreviewColumn(g, out);
    addOperationGroup(g.rightColumn, out);
    addSelectionGroup(g.rightColumn, out);
    addSettingsGroup(g, out);
    addCurveColumn(g, out);
    return out;
}

bool findLayoutEntry(const std::vector<LayoutEntry>& layout, int32_t id, LayoutEntry& out) {
    for (const LayoutEntry& e : layout)
        if (e.id == id) {
            out = e;
            return true;
        }
    return false;
}

WindowBox expectedWindowBox(const LayoutEntry& e) {
    switch (e.kind) {
        case LayoutKind::Check:
            return {e.x, e.y, e.width, 13};
        // Aligned scroll bars take the system's thickness.
        case LayoutKind::ScrollV:
            return {e.x, e.y, -1, e.height};
        case LayoutKind::ScrollH:
            return {e.x, e.y, e.width, -1};
        case LayoutKind::Progress:
            return {e.x, e.y, e.width, 12};
        case LayoutKind::List:
            return {e.x, e.y, e.width, -1};
        case LayoutKind::Spinner:
            return {e.x, e.y, 13, 24};
        case LayoutKind::Bitmap:
            return {e.x, e.y, 20, 20};
        case LayoutKind::CheckTitle:
            return {e.x + 10, e.y, -1, 13};
        default:
            return {e.x, e.y, e.width, e.height};
    }
}
