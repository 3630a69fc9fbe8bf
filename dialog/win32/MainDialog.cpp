#include "dialog/win32/MainDialog.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <new>

#include "dialog/win32/PixelMapDrawing.h"
#include "imageops/ColorModel.h"
#include "services/HostServices.h"
#include "toolkit/KeyState.h"

namespace {

MainDialog* gActive = nullptr;
// Set once the dialog has been painted; while clear, the colour readout does
// not mark the curve editors.
bool gReady = false;

enum : int32_t { PictureEmptySlot = 132, PictureFilledSlot = 133, CursorSampling = 128, CursorPanning = 129 };
// Radio button groups (the user value of each radio button).
enum : int32_t { GroupShowResult = 1, GroupSelectionSource = 2 };

const char* const kCurveNames[3] = {"Hue", "Saturation", "Intensity"};

// The host's main window: its property, or the platform data's window.
HWND hostMainWindow(const FilterRecord* record) {
    if (!record) return nullptr;
    if (record->propertyProcs && record->propertyProcs->getPropertyProc) {
        intptr value = 0;
        Handle complex = nullptr;
        if (record->propertyProcs->getPropertyProc(kPhotoshopSignature, propHWND, 0, &value, &complex) == noErr &&
            value && IsWindow(reinterpret_cast<HWND>(value)))
            return reinterpret_cast<HWND>(value);
    }
    if (record->platformData && record->platformData->hwnd &&
        IsWindow(reinterpret_cast<HWND>(record->platformData->hwnd)))
        return reinterpret_cast<HWND>(record->platformData->hwnd);
    return nullptr;
}

// Suspends the host's busy cursor for the life of the dialog.
class WatchSuspension {
public:
    explicit WatchSuspension(const FilterRecord* record) {
        if (!record || !record->propertyProcs) return;
        procs_ = record->propertyProcs;
        if (!procs_->getPropertyProc || !procs_->setPropertyProc) return;
        Handle complex = nullptr;
        if (procs_->getPropertyProc(kPhotoshopSignature, propWatchSuspension, 0, &level_, &complex) != noErr) return;
        active_ = procs_->setPropertyProc(kPhotoshopSignature, propWatchSuspension, 0, level_ + 1, nullptr) == noErr;
    }
    ~WatchSuspension() {
        if (active_) procs_->setPropertyProc(kPhotoshopSignature, propWatchSuspension, 0, level_, nullptr);
    }
    WatchSuspension(const WatchSuspension&) = delete;
    WatchSuspension& operator=(const WatchSuspension&) = delete;

private:
    PropertyProcs* procs_ = nullptr;
    intptr level_ = 0;
    bool active_ = false;
};

}  // namespace

MainDialog::MainDialog() {
    // Every block exists from construction: the undo pair and the snapshots.
    for (FilterParameters& p : commands_.snapshots) p.setDefaults();
    commands_.current.setDefaults();
    commands_.previous.setDefaults();
}

MainDialog::~MainDialog() { releasePreview(preview_); }

MainDialog* MainDialog::active() { return gActive; }

bool MainDialog::ready() { return gReady; }

LayoutEntry MainDialog::at(int32_t id) const {
    LayoutEntry e{};
    findLayoutEntry(layout_, id, e);
    return e;
}

int32_t MainDialog::run(FilterRecord* record, FilterParameters* workingParameters) {
    if (!workingParameters) return MainDialogFailed;
    record_ = record;
    working_ = workingParameters;
    WatchSuspension watch(record);
    Canvas hostWindow;
    HWND owner = hostMainWindow(record);
    if (owner) hostWindow.attach(owner);

    const Point16 screen = Canvas::screenSize();
    geometry_ = mainDialogGeometry(screen.h, screen.v);
    layout_ = mainDialogLayout(geometry_);
    // Centred on the desktop, the caption kept on screen.
    const int32_t x = std::max((screen.h - geometry_.width) / 2, int32_t(0));
    const int32_t y = std::max((screen.v - geometry_.height) / 2, int32_t(GetSystemMetrics(SM_CYCAPTION)));

    MainDialog* outer = gActive;
    gActive = this;
    const uint32_t result =
        Dialog::run(kMainDialogTitle, int16_t(x), int16_t(y), int16_t(geometry_.width), int16_t(geometry_.height),
                    owner ? &hostWindow : nullptr, static_cast<HINSTANCE>(moduleInstance));
    gActive = outer;
    releasePreview(preview_);
    snapshotPictures_.free();
    filledPictures_.free();
    if (result == 1) return MainDialogConfirmed;
    if (result == 2) return MainDialogCancelled;
    return MainDialogFailed;
}

bool MainDialog::drawPixels(const PSPixelMap& map, int32_t row, int32_t column) {
    return drawPixelMap(static_cast<HDC>(deviceContext()), map, row, column);
}

uint32_t MainDialog::handleEvent(int32_t code, Control* control, int32_t a, int32_t b) {
    switch (code) {
        case EventInitialised:
            gReady = false;
            return build() ? 0 : MainDialogFailed;
        case EventPainted:
            paintEditors();
            showPreview(preview_);
            gReady = true;
            return 0;
        case EventControlChanged:
            if (onCommand(control, b)) return 0;
            return onControl(control);
        case EventMouseDown:
            return onMouseDown(control, a, b);
        case EventMouseMove:
            onMouseMove(a);
            return 0;
        case EventKeyDown:
            // Enter acts as the default button, "OK"; Control+Z toggles undo.
            if (a == 13) return 1;
            if (a == ' ') onSpaceKey(true);  // a press on the preview pans
            if ((a == 'Z' || a == 'z') && (b & ModifierControl)) undoToggle(commands_, *this);
            return 0;
        case EventKeyUp:
            if (a == ' ') onSpaceKey(false);
            return 0;
        case EventCloseRequest:
            // Whatever ends the dialog, the controls and the "Sample" boxes
            // go back into the block.
            if (working_) {
                readFromControls(*working_);
                readSampleBoxes(working_->sampleFlags);
            }
            return uint32_t(a);
        default:
            return 0;
    }
}

uint32_t MainDialog::onControl(Control* control) {
    if (control == &ok_) return 1;
    if (control == &cancel_) return 2;
    if (control == &previewCheck_) {
        renderPreview(preview_);
        return 0;
    }
    if (control == &colorSpaceList_) {
        relabelChannels(colorModelForItem(colorSpaceList_.selection(), working_->imageClass));
    } else if (control == &contractSlider_) {
        const int32_t enabled = falloffEnabled(contractSlider_.position()) ? 1 : 0;
        falloffCaption_.enable(enabled);
        falloffSlider_.enable(enabled);
        falloffZero_.enable(enabled);
        falloffMax_.enable(enabled);
    }
    // Controls that change parameters; the rest keep only their own state.
    const Control* edits[] = {&operationList_,  &amountSlider_,  &colorSpaceList_,  &channels_[0], &channels_[1],
                              &channels_[2],    &channels_[3],   &fromCurves_,      &edgesOnly_,   &opacitySlider_,
                              &contractSlider_, &falloffSlider_, &operationResult_, &overlayColor_};
    if (std::find(std::begin(edits), std::end(edits), control) != std::end(edits)) recordChange();
    return 0;
}

uint32_t MainDialog::onMouseDown(Control* control, int32_t position, int32_t modifiers) {
    if (control == &overlaySwatch_) {
        pickOverlayColor();
        return 0;
    }
    if (control == &previewPane_ && spaceDown()) {
        panWithMouse(Point16{int16_t(positionY(position)), int16_t(positionX(position))});
        return 0;
    }
    if (control == &previewPane_) {
        sampleWithRubberBand(Point16{int16_t(positionY(position)), int16_t(positionX(position))},
                             (modifiers & ModifierShift) != 0);
        return 0;
    }
    for (CurveRow& row : curves_) {
        if (control != &row.pane || !row.editor.isAttached()) continue;
        Point16 p;
        p.h = int16_t(positionX(position));
        p.v = int16_t(positionY(position));
        row.editor.track(p);
        quickCurvesList_.select(1);
        recordChange();
        return 0;
    }
    return 0;
}

// The band's outline in XOR, so that drawing it twice leaves the preview as
// it was; rect is in preview buffer coordinates.
void MainDialog::drawRubberBand(const VRect& rect) {
    const int32_t left = preview_.pane.left, top = preview_.pane.top;
    const int32_t mode = setDrawMode(DrawModeXor);
    const Rgb16 pen = setColor(Rgb16{65535, 65535, 65535});
    frameRect(left + rect.left, top + rect.top, left + rect.right - 1, top + rect.bottom - 1);
    setColor(pen);
    setDrawMode(mode == DrawModeXor ? DrawModeXor : DrawModeCopy);
}

// A press on the preview image: a rubber band follows the mouse until the
// button is released, then its pixels set the curves whose "Sample" box is
// ticked.
void MainDialog::sampleWithRubberBand(Point16 press, bool keep) {
    VRect band{};
    if (!sampleRectangle(preview_, press, press, band)) return;
    for (CurveRow& row : curves_) row.editor.hideMarker();
    drawRubberBand(band);
    for (;;) {
        Point16 where{};
        const int32_t outcome = trackDrag(where);
        if (outcome < 0) return;  // the window has gone
        VRect next{};
        sampleRectangle(preview_, press, where, next);
        if (next.top != band.top || next.left != band.left || next.bottom != band.bottom || next.right != band.right) {
            drawRubberBand(band);
            drawRubberBand(next);
            band = next;
        }
        if (outcome != 2) break;  // the button was released
    }
    drawRubberBand(band);
    SampleStats stats{};
    if (!samplePreview(preview_, band, previewChecked(), stats)) return;
    sampleTaken(commands_, *this, stats, keep);
}

// Space held and the mouse dragged: the image follows the cursor, shown
// unprocessed while it moves; the processed preview is computed once at the
// end for the new view.
void MainDialog::panWithMouse(Point16 press) {
    VRect onImage{};
    if (!sampleRectangle(preview_, press, press, onImage)) return;
    for (CurveRow& row : curves_) row.editor.hideMarker();
    const int32_t checked = previewCheck_.state();
    previewCheck_.setState(CheckOff);
    const PreviewView start = view_;
    const int32_t w = record_ ? record_->imageSize.h : 0, h = record_ ? record_->imageSize.v : 0;
    bool moved = false;
    for (;;) {
        Point16 where{};
        const int32_t outcome = trackDrag(where);
        if (outcome < 0) return;  // the window has gone
        const PreviewView next = pannedView(start, press.h - where.h, press.v - where.v, preview_.zoom, w, h);
        if (next.part.left != view_.part.left || next.part.top != view_.part.top) {
            showView(next);
            moved = true;
        }
        if (outcome != 2) break;  // the button was released
    }
    previewCheck_.setState(checked);
    if (checked == CheckOn && moved) {
        preview_.parametersChanged = true;
        renderPreview(preview_);
    }
}

// After every edit: the change is marked for the preview and the undo pair
// moves on by one.
void MainDialog::recordChange() { ::recordChange(commands_, *this); }

// ---- opening sequence

bool MainDialog::build() {
    preview_.record = record_;
    preview_.block = working_;
    preview_.view = this;
    const LayoutEntry pane = at(IdPreviewPane);
    preview_.pane = VRect{pane.y, pane.x, pane.y + pane.height, pane.x + pane.width};
    // Without its buffers the preview stays empty; the dialog still works.
    const bool buffers = allocatePreviewBuffers(preview_, pane.width, pane.height);
    createPreviewColumn();
    // The fourth colour readout is for the black ink only.
    if (imageClassForMode(record_ ? record_->imageMode : plugInModeRGBColor) != ImageClass::CMYK) readouts_[3].show(0);
    createOperationGroup();
    createSelectionGroup();
    createSettingsGroup();
    createCurveColumn();
    placeFirstView();
    fillColorSpaceList();
    applyToControls(*working_);
    startCommands(commands_, *this, working_);
    show(1);
    setDefaultButton(ok_);
    // The HSI form of the unprocessed preview, one record per pane pixel.
    if (buffers && !allocatePreviewHsi(preview_)) return false;
    paintEditors();
    if (buffers) {
        const ImagePart& p = view_.part;
        fetchPreview(preview_, VRect{p.top, p.left, p.bottom, p.right});
    }
    arrow_.loadSystem(SystemCursorArrow);
    cross_.loadSystem(SystemCursorCross);
    sampling_.loadResource(CursorSampling, this);
    panning_.loadResource(CursorPanning, this);
    arrow_.set();
    return true;
}

void MainDialog::createPreviewColumn() {
    LayoutEntry e = at(IdPreviewPane);
    previewPane_.create(int16_t(e.x), int16_t(e.y), int16_t(e.width), int16_t(e.height), this, IdPreviewPane);
    previewPane_.setColor(Rgb16{59110, 59110, 59110});  // the grey of an empty preview (230)
    for (int i = 0; i < 4; ++i) {
        e = at(IdReadout1 + i);
        readouts_[i].create(e.x, e.y, e.width, e.height, "", this, e.id, AlignLeft);
    }
    e = at(IdTopSwatch);
    topSwatch_.create(e.x, e.y, e.width, e.height, this, e.id);
    Label* hsi[3] = {&hsiReadouts_[0], &hsiReadouts_[1], &hsiReadouts_[2]};
    for (int i = 0; i < 3; ++i) {
        e = at(IdHueReadout + i);
        hsi[i]->create(e.x, e.y, e.width, e.height, "", this, e.id, AlignLeft);
    }
    e = at(IdPreviewScrollV);
    scrollV_.create(e.x, e.y, e.width, e.height, this, e.id, 0, 100, 0);
    e = at(IdPreviewScrollH);
    scrollH_.create(e.x, e.y, e.width, e.height, this, e.id, 0, 100, 0);

    e = at(IdZoomCaption);
    zoomCaption_.create(e.x, e.y, e.width, e.height, "Zoom:", this, e.id, AlignLeft);
    e = at(IdZoomValue);
    zoomValue_.create(e.x, e.y, e.width, e.height, "", this, e.id, AlignLeft);
    e = at(IdZoomArrows);
    zoomArrows_.create(e.x, e.y, this, e.id, 0, 9, 0);
    e = at(IdZoom100);
    zoom100_.create(e.x, e.y, e.width, e.height, "100%", this, e.id);
    e = at(IdZoomFit);
    zoomFit_.create(e.x, e.y, e.width, e.height, "Fit", this, e.id);

    e = at(IdPreviewGroup);
    previewCheck_.create(e.x, e.y, e.width, e.height, "Preview", this, e.id);
    previewCheck_.setState(CheckOn);
    e = at(IdOperationResult);
    operationResult_.create(e.x, e.y, e.width, "Operation Result", this, e.id);
    operationResult_.setUserValue(GroupShowResult);
    e = at(IdOverlayColor);
    overlayColor_.create(e.x, e.y, e.width, "Overlay Color", this, e.id);
    overlayColor_.setUserValue(GroupShowResult);
    e = at(IdOverlaySwatch);
    overlaySwatch_.create(e.x, e.y, e.width, e.height, this, e.id);
    e = at(IdStatusText);
    status_.create(e.x, e.y, e.width, e.height, "", this, e.id, AlignLeft);
    e = at(IdProgressBar);
    progress_.create(e.x, e.y, e.width, this, e.id);
}

void MainDialog::createOperationGroup() {
    LayoutEntry e = at(IdOperationGroup);
    operationGroup_.create(e.x, e.y, e.width, e.height, "Operation", this, e.id);
    e = at(IdOperationList);
    operationList_.create(e.x, e.y, e.width, this, e.id);
    operationList_.addItem("Sharpen");
    operationList_.addItem("Soften");
    e = at(IdAmountCaption);
    amountCaption_.create(e.x, e.y, e.width, e.height, "Amount:", this, e.id, AlignLeft);
    e = at(IdAmountSlider);
    amountSlider_.create(e.x, e.y, e.width, e.height, this, e.id, kAmountMin, kAmountMax, 50, true, 9);
    e = at(IdAmountLess);
    amountLess_.create(e.x, e.y, e.width, e.height, "less", this, e.id, AlignLeft);
    e = at(IdAmountMore);
    amountMore_.create(e.x, e.y, e.width, e.height, "more", this, e.id, AlignLeft);
    e = at(IdColorSpaceCaption);
    colorSpaceCaption_.create(e.x, e.y, e.width, e.height, "Color Space:", this, e.id, AlignLeft);
    e = at(IdColorSpaceList);
    colorSpaceList_.create(e.x, e.y, e.width, this, e.id);
    for (int i = 0; i < 4; ++i) {
        e = at(IdChannel1 + i);
        channels_[i].create(e.x, e.y, e.width, "", this, e.id, false);
    }
}

void MainDialog::createSelectionGroup() {
    LayoutEntry e = at(IdSelectionGroup);
    selectionGroup_.create(e.x, e.y, e.width, e.height, "Color Selection", this, e.id);
    e = at(IdFromCurves);
    fromCurves_.create(e.x, e.y, e.width, "From Curves", this, e.id);
    fromCurves_.setUserValue(GroupSelectionSource);
    e = at(IdEdgesOnly);
    edgesOnly_.create(e.x, e.y, e.width, "Edges Only", this, e.id);
    edgesOnly_.setUserValue(GroupSelectionSource);

    struct ScaledSlider {
        int32_t caption, slider;
        const char* text;
        Label* label;
        Slider* control;
        int32_t maximum, position, ticks;
    };
    const ScaledSlider sliders[3] = {
        {IdOpacityCaption, IdOpacitySlider, "Opacity:", &opacityCaption_, &opacitySlider_, kScaleMax, 10, 3},
        {IdContractCaption, IdContractSlider, "Contract/Expand:", &contractCaption_, &contractSlider_, kScaleMax, 10,
         3},
        {IdFalloffCaption, IdFalloffSlider, "Falloff:", &falloffCaption_, &falloffSlider_, kFalloffMax, 0, 2},
    };
    for (const ScaledSlider& s : sliders) {
        e = at(s.caption);
        s.label->create(e.x, e.y, e.width, e.height, s.text, this, e.id, AlignLeft);
        e = at(s.slider);
        s.control->create(e.x, e.y, e.width, e.height, this, e.id, 0, s.maximum, s.position, true, s.ticks);
        if (s.slider == IdOpacitySlider || s.slider == IdContractSlider) {
            Label* scale = s.slider == IdOpacitySlider ? opacityScale_ : contractScale_;
            const int32_t first = s.slider == IdOpacitySlider ? IdOpacityMinus : IdContractMinus;
            const char* marks[3] = {"-", "0", "+"};
            for (int i = 0; i < 3; ++i) {
                e = at(first + i);
                scale[i].create(e.x, e.y, e.width, e.height, marks[i], this, e.id, AlignLeft);
            }
        }
    }
    e = at(IdFalloffZero);
    falloffZero_.create(e.x, e.y, e.width, e.height, "0", this, e.id, AlignLeft);
    e = at(IdFalloffMax);
    falloffMax_.create(e.x, e.y, e.width, e.height, "max", this, e.id, AlignLeft);
}

void MainDialog::createSettingsGroup() {
    LayoutEntry e = at(IdSettingsGroup);
    settingsGroup_.create(e.x, e.y, e.width, e.height, "Settings", this, e.id);
    e = at(IdSnapshotsCaption);
    snapshotsCaption_.create(e.x, e.y, e.width, e.height, "Snapshots:", this, e.id, AlignLeft);
    snapshotPictures_.load(PictureEmptySlot, this, 0);
    filledPictures_.load(PictureFilledSlot, this, 0);
    for (int i = 0; i < 5; ++i) {
        e = at(IdSnapshot1 + i);
        snapshots_[i].create(e.x, e.y, snapshotPictures_, this, e.id);
        e = at(IdSnapshotFilled1 + i);
        snapshotsFilled_[i].create(e.x, e.y, filledPictures_, this, e.id);
        snapshotsFilled_[i].show(0);
        snapshotsFilled_[i].enable(0);
    }
    e = at(IdQuickCurvesCaption);
    quickCurvesCaption_.create(e.x, e.y, e.width, e.height, "Quick Curves:", this, e.id, AlignLeft);
    e = at(IdQuickCurvesList);
    quickCurvesList_.create(e.x, e.y, e.width, this, e.id);
    fillQuickCurves();
}

void MainDialog::createCurveColumn() {
    LayoutEntry e = at(IdLoad);
    load_.create(e.x, e.y, e.width, e.height, "Load", this, e.id);
    e = at(IdSave);
    save_.create(e.x, e.y, e.width, e.height, "Save", this, e.id);
    e = at(IdCancel);
    cancel_.create(e.x, e.y, e.width, e.height, "Cancel", this, e.id);
    e = at(IdOk);
    ok_.create(e.x, e.y, e.width, e.height, "OK", this, e.id);

    Curve* bound[3] = {&working_->curves.hue, &working_->curves.saturation, &working_->curves.intensity};
    for (int c = 0; c < 3; ++c) {
        CurveRow& row = curves_[c];
        e = at(curveRowId(c, CurveCaption));
        row.caption.create(e.x, e.y, e.width, e.height, kCurveNames[c], this, e.id, AlignLeft);
        e = at(curveRowId(c, CurveXReadout));
        row.xReadout.create(e.x, e.y, e.width, e.height, "", this, e.id, AlignLeft);
        e = at(curveRowId(c, CurveYReadout));
        row.yReadout.create(e.x, e.y, e.width, e.height, "", this, e.id, AlignLeft);
        e = at(curveRowId(c, CurveReset));
        row.reset.create(e.x, e.y, e.width, e.height, "Reset", this, e.id);
        e = at(curveRowId(c, CurveSample));
        row.sample.create(e.x, e.y, e.width, "Sample", this, e.id, false);
        e = at(curveRowId(c, CurvePane));
        row.pane.create(e.x, e.y, e.width, e.height, this, e.id);
        Rect16 graph;
        graph.top = int16_t(e.y);
        graph.left = int16_t(e.x);
        graph.bottom = int16_t(e.y + e.height);
        graph.right = int16_t(e.x + e.width);
        row.editor.attach(&row.pane, this, graph, bound[c], &row.xReadout, &row.yReadout);
    }
}

void MainDialog::placeFirstView() {
    const int32_t w = record_ ? record_->imageSize.h : 0, h = record_ ? record_->imageSize.v : 0;
    const double fit = fitFactor(geometry_.previewWidth, geometry_.previewHeight, w, h);
    zoom_ = makeZoomTable(fit);
    zoomIndex_ = 0;
    zoomArrows_.setRange(0, std::max(zoom_.lastIndex, int32_t(1)));
    zoomArrows_.setValue(0);
    view_ = initialView(geometry_.previewWidth, geometry_.previewHeight, w, h, fit);
    preview_.zoom = zoom_.factors[0];
    showZoomText(preview_, zoom_.factors, zoom_.lastIndex + 1, 0);
    setScrollBars(view_);
}

void MainDialog::fillColorSpaceList() {
    const ImageClass imageClass = imageClassForMode(record_ ? record_->imageMode : plugInModeRGBColor);
    const bool cmyk = imageClass == ImageClass::CMYK;
    working_->imageClass = cmyk ? ImageClass::CMYK : ImageClass::RGB;
    colorSpaceList_.clear();
    colorSpaceList_.addItem(cmyk ? "CMYK" : "RGB");
    colorSpaceList_.addItem("HSI");
    colorSpaceList_.addItem("YUV");
    colorSpaceList_.setVisibleItems(3);
}

void MainDialog::relabelChannels(ColorModel model) {
    ChannelBox boxes[4];
    channelBoxesFor(model, boxes);
    for (int i = 0; i < 4; ++i) {
        channels_[i].show(boxes[i].label ? 1 : 0);
        if (boxes[i].label) channels_[i].setText(boxes[i].label);
        channels_[i].setState(boxes[i].checked ? CheckOn : CheckOff);
    }
}

void MainDialog::paintEditors() {
    for (CurveRow& row : curves_)
        if (row.editor.isAttached()) row.editor.paint();
}

// ---- controls and the block

void MainDialog::applyToControls(const FilterParameters& block) {
    const MainControlValues v = controlValuesFor(block);
    operationResult_.setChecked(v.operationResult ? 1 : 0);
    overlayColor_.setChecked(v.operationResult ? 0 : 1);
    overlaySwatch_.setColor(Rgb16{v.overlayColor[0], v.overlayColor[1], v.overlayColor[2]});
    operationList_.select(v.operationItem);
    amountSlider_.setPosition(v.amount);
    colorSpaceList_.select(v.colorSpaceItem);
    relabelChannels(colorModelForItem(v.colorSpaceItem, working_ ? working_->imageClass : ImageClass::RGB));
    for (int i = 0; i < 4; ++i) channels_[i].setState(v.channel[i] ? CheckOn : CheckOff);
    fromCurves_.setChecked(v.fromCurves ? 1 : 0);
    edgesOnly_.setChecked(v.fromCurves ? 0 : 1);
    opacitySlider_.setPosition(v.opacity);
    contractSlider_.setPosition(v.contractExpand);
    falloffSlider_.setPosition(v.falloff);
    for (int i = 0; i < 3; ++i) curves_[i].sample.setState(v.sample[i] ? CheckOn : CheckOff);
    const int32_t enabled = block.contractExpand != 0 ? 1 : 0;
    falloffCaption_.enable(enabled);
    falloffSlider_.enable(enabled);
    falloffZero_.enable(enabled);
    falloffMax_.enable(enabled);
    if (working_ && &block != working_) {
        working_->curves = block.curves;
        for (CurveRow& row : curves_)
            if (row.editor.isAttached()) row.editor.redraw();
        quickCurvesList_.select(1);
    }
}

MainControlValues MainDialog::currentValues() const {
    MainControlValues v;
    v.operationResult = operationResult_.isChecked() == 1;
    const Rgb16 overlay = overlaySwatch_.color();
    v.overlayColor[0] = overlay.red;
    v.overlayColor[1] = overlay.green;
    v.overlayColor[2] = overlay.blue;
    v.operationItem = operationList_.selection();
    v.amount = amountSlider_.position();
    v.colorSpaceItem = colorSpaceList_.selection();
    for (int i = 0; i < 4; ++i) v.channel[i] = channels_[i].state() == CheckOn ? 1 : 0;
    v.fromCurves = fromCurves_.isChecked() == 1;
    v.opacity = opacitySlider_.position();
    v.contractExpand = contractSlider_.position();
    v.falloff = falloffSlider_.position();
    return v;
}

void MainDialog::readFromControls(FilterParameters& block) {
    storeControlValues(currentValues(), block);
    if (working_ && &block != working_) block.curves = working_->curves;
}

void MainDialog::setStatus(const char* text) { status_.setText(text ? text : ""); }

// Every move of the bar repaints it at once, which costs more than the rows
// of a preview between two percent steps: while the preview works the bar
// moves at most every 50 ms, so that a preview that takes longer shows its
// progress and a quick one is not slowed down by it. Its return to 0 at the
// end always shows.
void MainDialog::setProgress(int percent) {
    const uint32_t now = GetTickCount();
    if (percent != 0 && now - progressShownAt_ < 50) return;
    progressShownAt_ = now;
    progress_.setPosition(percent);
}

int runMainDialogWin32(FilterRecord* record, FilterParameters* block) {
    // Seven parameter blocks live in the dialog: too large for the host's stack.
    std::unique_ptr<MainDialog> dialog(new (std::nothrow) MainDialog);
    return dialog ? dialog->run(record, block) : MainDialogFailed;
}

void setMainDialogProgress(int percent) {
    if (MainDialog* d = MainDialog::active()) d->showProgress(percent);
}
