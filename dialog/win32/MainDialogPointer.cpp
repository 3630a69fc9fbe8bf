// The main dialog's pointer: on every mouse move the colour under it on the
// preview image goes into the readouts, the top swatch and the curve
// editors' markers, and the cursor tells what a press would do there
// (sample, or pan with the space bar held; edit a curve; nothing). A press on
// the overlay swatch opens the host's colour picker.
#include <memory>

#include "dialog/ColorReadout.h"
#include "dialog/OverlayColorPicker.h"
#include "dialog/win32/MainDialog.h"
#include "toolkit/KeyState.h"

bool MainDialog::spaceDown() const { return spaceHeld_ || isKeyDown(KeySpace); }

void MainDialog::showPointer(Pointer pointer) {
    pointer_ = pointer;
    switch (pointer) {
        case Pointer::Arrow:
            arrow_.set();
            break;
        case Pointer::Cross:
            cross_.set();
            break;
        case Pointer::Sampling:
            sampling_.set();
            break;
        case Pointer::Panning:
            panning_.set();
            break;
    }
}

void MainDialog::onSpaceKey(bool down) {
    spaceHeld_ = down;
    if (down && pointer_ == Pointer::Sampling) showPointer(Pointer::Panning);
    if (!down && pointer_ == Pointer::Panning) showPointer(Pointer::Sampling);
}

void MainDialog::onMouseMove(int32_t position) {
    if (position == kMouseOutside) {
        // Gone from the dialog: the cursor belongs to another window now.
        pointer_ = Pointer::Arrow;
        for (CurveRow& row : curves_) row.editor.showReadout(Point16{0, kNoMousePosition});
        clearColorReadouts();
        return;
    }
    const Point16 p{int16_t(positionY(position)), int16_t(positionX(position))};
    int32_t column = 0, row = 0;
    if (previewImagePixel(preview_, p, column, row)) {
        const bool panning = spaceDown();
        showPointer(panning ? Pointer::Panning : Pointer::Sampling);
        if (!panning) showColorUnder(column, row);
        for (CurveRow& r : curves_) r.editor.showReadout(p);
        if (!panning) return;  // the readouts and markers stay as set
    } else {
        CurveRow* over = nullptr;
        for (CurveRow& r : curves_)
            if (r.editor.isAttached() && r.editor.graph().contains(p)) over = &r;
        showPointer(over ? Pointer::Cross : Pointer::Arrow);
        if (over) {
            over->editor.showReadout(p);
        } else {
            for (CurveRow& r : curves_) r.editor.showReadout(p);
        }
    }
    clearColorReadouts();
}

// The pixel under the mouse, from the preview shown: the processed one with
// "Preview" checked, else the unprocessed one.
void MainDialog::showColorUnder(int32_t column, int32_t row) {
    if (!preview_.run) return;
    const PreviewPlanes& shown = previewChecked() ? preview_.processed : preview_.unprocessed;
    ColorReadout readout;
    if (!readPreviewPixel(*preview_.run, shown, column, row, readout)) return;
    for (int i = 0; i < 4; ++i) readouts_[i].setText(readout.channels[i].c_str());
    for (int i = 0; i < 3; ++i) hsiReadouts_[i].setText(readout.hsi[i].c_str());
    colorShown_ = true;
    if (!readout.hasColor) return;
    topSwatch_.setColor(Rgb16{readout.swatch[0], readout.swatch[1], readout.swatch[2]});
    // Not before the dialog has been shown: the editors' graphs are not on
    // the screen yet.
    if (!ready()) return;
    for (int i = 0; i < 3; ++i) curves_[i].editor.showMarker(readout.markers[i]);
}

void MainDialog::clearColorReadouts() {
    for (CurveRow& row : curves_) row.editor.hideMarker();
    if (!colorShown_) return;  // already empty: no texts to repaint
    for (Label& l : readouts_) l.setText("");
    for (Label& l : hsiReadouts_) l.setText("");
    colorShown_ = false;
}

// The host's colour picker starts from the swatch's colour; a colour picked
// becomes the overlay colour and is recorded as a change, a cancelled picker
// changes nothing.
void MainDialog::pickOverlayColor() {
    std::unique_ptr<RunContext> own;
    RunContext* run = preview_.run.get();
    if (!run) {
        own = std::make_unique<RunContext>(record_);
        run = own.get();
    }
    const Rgb16 swatch = overlaySwatch_.color();
    const uint16_t colour[3] = {swatch.red, swatch.green, swatch.blue};
    uint16_t chosen[3] = {0, 0, 0};
    if (!pickColorThroughHost(*run, colour, chosen)) return;
    overlaySwatch_.setColor(Rgb16{chosen[0], chosen[1], chosen[2]});
    recordChange();
}
