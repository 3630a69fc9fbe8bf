// The main dialog's commands on the window side: which control runs which
// command, the zoom and scroll commands that move the shown image part, the
// quick curves list, and what the portable commands ask of the window.
#include <algorithm>

#include "dialog/FileDialogRules.h"
#include "dialog/win32/FileDialogs.h"
#include "dialog/win32/MainDialog.h"
#include "toolkit/MessageBox.h"

bool MainDialog::onCommand(Control* control, int32_t modifiers) {
    for (int c = 0; c < 3; ++c) {
        if (control == &curves_[c].reset) {
            resetCurve(commands_, *this, c);
            return true;
        }
        if (control == &curves_[c].sample) return true;  // read when sampling
    }
    for (int i = 0; i < kSnapshotSlots; ++i) {
        if (control == &snapshots_[i] || control == &snapshotsFilled_[i]) {
            snapshotClicked(commands_, *this, i, control == &snapshotsFilled_[i], modifiers);
            return true;
        }
    }
    if (control == &quickCurvesList_) {
        quickCurveChosen(commands_, *this, quickCurvesList_.selection());
    } else if (control == &load_) {
        loadSettings(commands_, *this);
    } else if (control == &save_) {
        saveSettings(commands_, *this);
    } else if (control == &zoomArrows_) {
        showZoom(zoomArrows_.value());
    } else if (control == &zoom100_) {
        showZoom(zoomIndexOfOne(zoom_));
    } else if (control == &zoomFit_) {
        showZoom(0);
    } else if (control == &scrollV_ || control == &scrollH_) {
        scrolled(*static_cast<ScrollBar*>(control));
    } else {
        return false;
    }
    return true;
}

// ---- zoom and scrolling

void MainDialog::showZoom(int32_t index) {
    index = std::clamp(index, int32_t(0), zoom_.lastIndex);
    zoomIndex_ = index;
    zoomArrows_.setValue(index);
    const double z = zoom_.factors[index];
    preview_.zoom = z;
    showZoomText(preview_, zoom_.factors, zoom_.lastIndex + 1, index);
    const int32_t w = record_ ? record_->imageSize.h : 0, h = record_ ? record_->imageSize.v : 0;
    showView(zoomedView(view_.part, geometry_.previewWidth, geometry_.previewHeight, w, h, z));
}

void MainDialog::setScrollBars(const PreviewView& view) {
    scrollV_.setRange(0, view.vertical.maximum);
    scrollV_.setPageStep(view.vertical.page);
    scrollV_.setPosition(view.vertical.position);
    scrollH_.setRange(0, view.horizontal.maximum);
    scrollH_.setPageStep(view.horizontal.page);
    scrollH_.setPosition(view.horizontal.position);
}

void MainDialog::showView(const PreviewView& view) {
    view_ = view;
    setScrollBars(view);
    if (preview_.unprocessed.data) {
        const ImagePart& p = view.part;
        fetchPreview(preview_, VRect{p.top, p.left, p.bottom, p.right});
    }
}

void MainDialog::scrolled(const ScrollBar& bar) {
    const bool vertical = &bar == &scrollV_;
    ScrollState& state = vertical ? view_.vertical : view_.horizontal;
    const int32_t position = bar.position();
    if (position == state.position) return;
    const int32_t move = position - state.position;
    state.position = position;
    ImagePart& p = view_.part;
    if (vertical) {
        p.top += move;
        p.bottom += move;
    } else {
        p.left += move;
        p.right += move;
    }
    if (preview_.unprocessed.data) fetchPreview(preview_, VRect{p.top, p.left, p.bottom, p.right});
}

// ---- quick curves

void MainDialog::fillQuickCurves() {
    quickCurvesList_.clear();
    commands_.quickCurves = QuickCurveList{};
    FolderAccess& access = win32FolderAccess();
    std::string start, folder;
    const bool found = (locateFolder(start, FolderKind::HostApplication) &&
                        findNamedEntry(access, start, kQuickCurveFolderName, &folder, true)) ||
                       (locateFolder(start, FolderKind::ProgramFiles) &&
                        findNamedEntry(access, start, kQuickCurveFolderName, &folder, true));
    // Without the folder the list stays empty.
    if (!found) return;
    commands_.quickCurves = buildQuickCurveList(loadQuickCurveFolder(access, folder));
    for (const std::string& item : commands_.quickCurves.items) quickCurvesList_.addItem(item.c_str());
    quickCurvesList_.setVisibleItems(int32_t(commands_.quickCurves.items.size()));
    quickCurvesList_.select(1);
}

// ---- what the commands ask of the window

void MainDialog::readSampleBoxes(int32_t flags[3]) {
    for (int i = 0; i < 3; ++i) flags[i] = curves_[i].sample.state() == CheckOn ? 1 : 0;
}

void MainDialog::refreshPreview() {
    preview_.parametersChanged = true;
    renderPreview(preview_);
}

void MainDialog::redrawCurves() {
    for (CurveRow& row : curves_)
        if (row.editor.isAttached()) row.editor.redraw();
}

void MainDialog::showSnapshotFilled(int slot, bool filled) {
    snapshots_[slot].show(filled ? 0 : 1);
    snapshots_[slot].enable(filled ? 0 : 1);
    snapshotsFilled_[slot].show(filled ? 1 : 0);
    snapshotsFilled_[slot].enable(filled ? 1 : 0);
}

bool MainDialog::askYesNo(const char* text) { return showMessage("", text, MessageYesNoQuestion); }

void MainDialog::showError(const char* title, const char* text) { showMessage(title, text, MessageStop); }

bool MainDialog::chooseFileToOpen(std::string& path, const std::vector<std::string>& extensions) {
    return ::chooseFileToOpen(path, extensions);
}

bool MainDialog::chooseFileToSave(std::string& path, const std::string& extension) {
    return ::chooseFileToSave(path, extension);
}
