// Where every control of the main dialog lies, computed from the desktop size
// alone. The Win32 window creates its controls from this table, and the
// Wine tests read the windows back against it.
#pragma once

#include <cstdint>
#include <vector>

// The dialog's client area and the quantities its layout derives from it.
struct MainDialogGeometry {
    int32_t width = 0, height = 0;  // client area, pixels
    int32_t previewWidth = 0;       // (width - 245) / 2
    int32_t previewHeight = 0;      // height - 225
    int32_t rightColumn = 0;        // left edge of the operation column
    int32_t curveColumn = 0;        // left edge of the curve column
    int32_t curveWidth = 0;         // width of a curve pane
    int32_t curveHeight = 0;        // height of a curve pane
};

// Client size for a desktop of screenWidth x screenHeight: 90 % of the width
// (at least 790) by 81 % of the height (at least 670), truncated.
MainDialogGeometry mainDialogGeometry(int32_t screenWidth, int32_t screenHeight);

// Control identifiers of the main dialog. "OK" and "Cancel" keep the system's
// identifiers 1 and 2 so that the dialog manager's Enter maps to "OK".
enum MainControlId : int32_t {
    IdOk = 1,
    IdCancel = 2,
    IdPreviewPane = 100,
    IdPreviewScrollV,
    IdPreviewScrollH,
    IdReadout1,  // four colour readouts, 1..4
    IdReadout2,
    IdReadout3,
    IdReadout4,
    IdTopSwatch,
    IdHueReadout,
    IdSaturationReadout,
    IdIntensityReadout,
    IdZoomCaption,
    IdZoomValue,
    IdZoomArrows,
    IdZoom100,
    IdZoomFit,
    IdPreviewGroup,  // the "Preview" check box titling its frame
    IdOperationResult,
    IdOverlayColor,
    IdOverlaySwatch,
    IdStatusText,
    IdProgressBar,
    IdOperationGroup,
    IdOperationList,
    IdAmountCaption,
    IdAmountSlider,
    IdAmountLess,
    IdAmountMore,
    IdColorSpaceCaption,
    IdColorSpaceList,
    IdChannel1,  // four channel boxes, 1..4
    IdChannel2,
    IdChannel3,
    IdChannel4,
    IdSelectionGroup,
    IdFromCurves,
    IdEdgesOnly,
    IdOpacityCaption,
    IdOpacitySlider,
    IdOpacityMinus,
    IdOpacityZero,
    IdOpacityPlus,
    IdContractCaption,
    IdContractSlider,
    IdContractMinus,
    IdContractZero,
    IdContractPlus,
    IdFalloffCaption,
    IdFalloffSlider,
    IdFalloffZero,
    IdFalloffMax,
    IdSettingsGroup,
    IdSnapshotsCaption,
    IdSnapshot1,                          // five empty-slot buttons, 1..5
    IdSnapshotFilled1 = IdSnapshot1 + 5,  // five filled-slot buttons lying on them
    IdQuickCurvesCaption = IdSnapshotFilled1 + 5,
    IdQuickCurvesList,
    IdLoad,
    IdSave,
    // Curve rows, 8 identifiers per curve: hue, saturation, intensity.
    IdCurveRows,
};

// Parts of one curve row; the identifier is IdCurveRows + 8 x curve + part.
enum CurveRowPart : int32_t {
    CurveCaption = 0,
    CurveXReadout,
    CurveYReadout,
    CurveReset,
    CurveSample,
    CurvePane,
};
constexpr int32_t curveRowId(int curve, CurveRowPart part) { return IdCurveRows + 8 * curve + part; }

// Kinds of control, enough to know how the toolkit sizes each window.
enum class LayoutKind {
    Box,         // colour box, swatch, label, push button, group frame: the size given
    Check,       // check box or radio button: 13 high
    ScrollV,     // vertical scroll bar: as wide as the system's scroll bars
    ScrollH,     // horizontal scroll bar: as high as the system's scroll bars
    Progress,    // 12 high
    List,        // drop list: the closed height is the system's
    Slider,      // trackbar: the size given
    Spinner,     // 13 x 24
    Bitmap,      // bitmap button: its 16 x 16 picture plus 4
    CheckTitle,  // the check box titling a frame: at (x + 10, y), 13 high, as wide as its text
};

struct LayoutEntry {
    int32_t id;
    LayoutKind kind;
    int32_t x, y, width, height;  // as placed, client pixels
};

// Every control of the dialog, in creation order (the "Preview" frame and its
// title check box share the entry IdPreviewGroup; the frame has the given
// rectangle).
std::vector<LayoutEntry> mainDialogLayout(const MainDialogGeometry& g);
// The entry of one identifier; false when the layout has none.
bool findLayoutEntry(const std::vector<LayoutEntry>& layout, int32_t id, LayoutEntry& out);

// The window rectangle the toolkit gives a control placed as the entry says
// (width and height after its own sizing rules). Drop lists, scroll bars and
// titles keep the width or height the system chooses, reported here as -1.
struct WindowBox {
    int32_t x, y, width, height;
};
WindowBox expectedWindowBox(const LayoutEntry& entry);
