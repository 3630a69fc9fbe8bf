// The filter's main dialog: a zoomable preview of the image, three curve
// editors that draw the colour selection, the operation and selection
// controls, snapshots, quick curves and settings files. It edits the host's
// parameter block in place; "OK" confirms, "Cancel" or closing the window
// cancels, and either way the controls are written back into the block.
#pragma once

#include <cstdint>
#include <vector>

#include "curves/win32/CurveEditor.h"
#include "dialog/DialogCommands.h"
#include "dialog/MainControlValues.h"
#include "dialog/MainDialogLayout.h"
#include "dialog/PreviewPlacement.h"
#include "engine/Preview.h"
#include "hostapi/PluginHost.h"
#include "params/FilterParameters.h"
#include "toolkit/BitmapPair.h"
#include "toolkit/ButtonControls.h"
#include "toolkit/ColorBox.h"
#include "toolkit/ColorSwatch.h"
#include "toolkit/CursorHandle.h"
#include "toolkit/Dialog.h"
#include "toolkit/DropList.h"
#include "toolkit/Label.h"
#include "toolkit/ProgressBar.h"
#include "toolkit/ScrollBar.h"
#include "toolkit/Slider.h"
#include "toolkit/Spinner.h"

// Results of MainDialog::run.
enum : int32_t { MainDialogConfirmed = 1, MainDialogCancelled = 0, MainDialogFailed = 3 };

constexpr const char* kMainDialogTitle = "Tarvo Crisp+Calm Plug-in";

class MainDialog : public Dialog, private PreviewControls, private CommandSurface {
public:
    MainDialog();
    ~MainDialog() override;

    // Runs the dialog modally on the block: 1 confirmed, 0 cancelled, 3 when
    // it could not be built or ended otherwise.
    int32_t run(FilterRecord* record, FilterParameters* workingParameters);

    uint32_t handleEvent(int32_t code, Control* control, int32_t a, int32_t b) override;

    // Every control from a block, and back (sample flags are not read back).
    void applyToControls(const FilterParameters& block) override;
    void readFromControls(FilterParameters& block) override;

    // The progress bar, 0..100.
    void showProgress(int32_t percent) { setProgress(percent); }
    void setStatus(const char* text);

    // The dialog that is running, or null.
    static MainDialog* active();
    // Set once the running dialog has been painted; until then the colour
    // readout does not mark the curve editors.
    static bool ready();

private:
    struct CurveRow {
        Label caption, xReadout, yReadout;
        PushButton reset;
        CheckBox sample;
        ColorBox pane;
        CurveEditor editor;
    };

    bool build();
    void createPreviewColumn();
    void createOperationGroup();
    void createSelectionGroup();
    void createSettingsGroup();
    void createCurveColumn();
    void placeFirstView();
    void fillColorSpaceList();
    void relabelChannels(ColorModel model);
    // What the preview asks of the dialog.
    void readControls(FilterParameters& block) override { readFromControls(block); }
    bool previewChecked() override { return previewCheck_.state() == CheckOn; }
    void setStatusText(const char* text) override { setStatus(text); }
    void setZoomText(const char* text) override { zoomValue_.setText(text); }
    void setProgress(int percent) override;
    void* displayContext() override { return deviceContext(); }
    void releaseDisplayContext(void*) override {}
    bool drawPixels(const PSPixelMap& map, int32_t row, int32_t column) override;
    void paintEditors();
    MainControlValues currentValues() const;
    // The control placed at id in the layout.
    LayoutEntry at(int32_t id) const;
    uint32_t onControl(Control* control);
    uint32_t onMouseDown(Control* control, int32_t position, int32_t modifiers);
    // The pointer: colour readouts, markers and cursors on every mouse move,
    // the space bar's cursor, and the overlay swatch's colour picker.
    enum class Pointer { Arrow, Cross, Sampling, Panning };
    void onMouseMove(int32_t position);
    void onSpaceKey(bool down);
    bool spaceDown() const;
    void showPointer(Pointer pointer);
    void showColorUnder(int32_t column, int32_t row);
    void clearColorReadouts();
    void pickOverlayColor();
    void sampleWithRubberBand(Point16 press, bool keep);
    void drawRubberBand(const VRect& rect);
    void panWithMouse(Point16 press);
    void recordChange();
    // What the commands ask of the window.
    void readSampleBoxes(int32_t flags[3]) override;
    void refreshPreview() override;
    void redrawCurves() override;
    void selectQuickCurveItem(int32_t item) override { quickCurvesList_.select(item); }
    void showSnapshotFilled(int slot, bool filled) override;
    bool askYesNo(const char* text) override;
    void showError(const char* title, const char* text) override;
    bool chooseFileToOpen(std::string& path, const std::vector<std::string>& extensions) override;
    bool chooseFileToSave(std::string& path, const std::string& extension) override;
    // Commands of the window itself.
    bool onCommand(Control* control, int32_t modifiers);
    void fillQuickCurves();
    void showZoom(int32_t index);
    void showView(const PreviewView& view);
    void setScrollBars(const PreviewView& view);  // ranges, page steps, positions
    void scrolled(const ScrollBar& bar);

    FilterRecord* record_ = nullptr;
    FilterParameters* working_ = nullptr;
    // The undo pair, snapshots, quick curves and the last settings file.
    CommandState commands_;
    MainDialogGeometry geometry_;
    std::vector<LayoutEntry> layout_;
    ZoomTable zoom_;
    int32_t zoomIndex_ = 0;
    PreviewView view_;
    // The preview's buffers, geometry and state.
    Preview preview_;

    ColorBox previewPane_;
    ScrollBar scrollV_, scrollH_;
    Label readouts_[4];
    ColorSwatch topSwatch_;
    Label hsiReadouts_[3];
    Label zoomCaption_, zoomValue_;
    Spinner zoomArrows_;
    PushButton zoom100_, zoomFit_;
    CheckGroup previewCheck_;
    RadioButton operationResult_, overlayColor_;
    ColorSwatch overlaySwatch_;
    Label status_;
    ProgressBar progress_;

    GroupBox operationGroup_;
    DropList operationList_;
    Label amountCaption_, amountLess_, amountMore_;
    Slider amountSlider_;
    Label colorSpaceCaption_;
    DropList colorSpaceList_;
    CheckBox channels_[4];

    GroupBox selectionGroup_;
    RadioButton fromCurves_, edgesOnly_;
    Label opacityCaption_, contractCaption_, falloffCaption_;
    Slider opacitySlider_, contractSlider_, falloffSlider_;
    Label opacityScale_[3], contractScale_[3], falloffZero_, falloffMax_;

    GroupBox settingsGroup_;
    Label snapshotsCaption_, quickCurvesCaption_;
    BitmapPair snapshotPictures_, filledPictures_;
    BitmapButton snapshots_[5], snapshotsFilled_[5];
    DropList quickCurvesList_;
    PushButton load_, save_, ok_, cancel_;

    CurveRow curves_[3];
    CursorHandle arrow_, cross_, sampling_, panning_;
    bool spaceHeld_ = false;
    Pointer pointer_ = Pointer::Arrow;  // the cursor the dialog last showed
    bool colorShown_ = false;           // the colour readouts hold a pixel's values
    uint32_t progressShownAt_ = 0;      // GetTickCount of the bar's last move, ms
};

// Runs the main dialog for the platform table: 1 OK, 0 cancelled, 3 failed.
int runMainDialogWin32(FilterRecord* record, FilterParameters* block);
// Moves the running dialog's progress bar; nothing without one.
void setMainDialogProgress(int percent);
