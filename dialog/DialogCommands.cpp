#include "dialog/DialogCommands.h"

#include <cctype>

#include "dialog/SettingsFile.h"

void startCommands(CommandState& state, CommandSurface& surface, FilterParameters* working) {
    state.working = working;
    for (int i = 0; i < kSnapshotSlots; ++i) {
        FilterParameters::copySettings(working, &state.snapshots[i]);
        state.snapshotFilled[i] = false;
        surface.showSnapshotFilled(i, false);
    }
    FilterParameters::copySettings(working, &state.current);
    FilterParameters::copySettings(working, &state.previous);
}

void recordChange(CommandState& state, CommandSurface& surface) {
    surface.refreshPreview();
    FilterParameters::copySettings(&state.current, &state.previous);
    surface.readFromControls(state.current);
}

namespace {

// Sets the controls from a kept block. The "Sample" boxes are not part of the
// kept state (storing never reads them), so they stay as the user set them
// instead of returning to the values the dialog opened with.
void bringBack(FilterParameters& kept, CommandSurface& surface) {
    surface.readSampleBoxes(kept.sampleFlags);
    surface.applyToControls(kept);
}

}  // namespace

void undoToggle(CommandState& state, CommandSurface& surface) {
    bringBack(state.previous, surface);
    recordChange(state, surface);
}

void resetCurve(CommandState& state, CommandSurface& surface, int which) {
    if (!state.working || which < 0 || which > 2) return;
    Curve* curves[3] = {&state.working->curves.hue, &state.working->curves.saturation,
                        &state.working->curves.intensity};
    const int32_t kinds[3] = {CurveHue, CurveSaturation, CurveIntensity};
    curves[which]->reset(kinds[which]);
    surface.redrawCurves();
    surface.selectQuickCurveItem(1);
    recordChange(state, surface);
}

void snapshotClicked(CommandState& state, CommandSurface& surface, int slot, bool filledButton, int32_t modifiers) {
    if (slot < 0 || slot >= kSnapshotSlots) return;
    // The button tells the slot's state: only the shown one can be clicked.
    const bool filled = filledButton;
    if (modifiers & 1) {  // Shift clears; the block itself stays
        if (!filled) return;
        state.snapshotFilled[slot] = false;
        surface.showSnapshotFilled(slot, false);
        return;
    }
    if (modifiers & 4) {  // Control recalls
        if (!filled) return;
        bringBack(state.snapshots[slot], surface);
        recordChange(state, surface);
        return;
    }
    if (filled && !surface.askYesNo(kSnapshotOverwriteQuestion)) return;
    surface.readFromControls(state.snapshots[slot]);
    if (!filled) {
        state.snapshotFilled[slot] = true;
        surface.showSnapshotFilled(slot, true);
    }
}

void sampleTaken(CommandState& state, CommandSurface& surface, const SampleStats& stats, bool keep) {
    if (!state.working) return;
    int32_t use[3];
    surface.readSampleBoxes(use);
    state.working->curves.setFromSample(stats, false, keep, use);
    surface.redrawCurves();
    surface.selectQuickCurveItem(1);
    recordChange(state, surface);
}

void quickCurveChosen(CommandState& state, CommandSurface& surface, int32_t item) {
    if (item < 2 || !state.working) return;
    const QuickCurveRow* row = quickCurveRowForItem(state.quickCurves, item);
    if (!row) {  // a separator
        surface.selectQuickCurveItem(1);
        return;
    }
    applyQuickCurve(row->entry, state.working->curves);
    surface.redrawCurves();
    recordChange(state, surface);
}

namespace {

std::string lowerCase(const char* text) {
    std::string s(text);
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

void saveSettings(CommandState& state, CommandSurface& surface) {
    FilterParameters shown;
    shown.setDefaults();
    surface.readFromControls(shown);
    const std::string extension =
        lowerCase(shown.operation == Operation::Sharpen ? kSharpenSettingsTag : kSoftenSettingsTag);
    std::string path = state.lastSettingsPath;
    if (!surface.chooseFileToSave(path, extension)) return;
    const SettingsOutcome o = saveSettingsToPath(path, shown);
    if (!o.ok()) {
        surface.showError(o.title, o.message);
        return;
    }
    state.lastSettingsPath = path;
}

void loadSettings(CommandState& state, CommandSurface& surface) {
    std::string path;
    if (!surface.chooseFileToOpen(path, {lowerCase(kSharpenSettingsTag), lowerCase(kSoftenSettingsTag)})) return;
    // The file lands on what the dialog shows; on any failure nothing changes.
    FilterParameters loaded;
    loaded.setDefaults();
    surface.readFromControls(loaded);
    const SettingsOutcome o = loadSettingsFromPath(path, loaded);
    if (!o.ok()) {
        surface.showError(o.title, o.message);
        return;
    }
    // The file carries no "Sample" flags: the boxes stay as they are.
    surface.readSampleBoxes(loaded.sampleFlags);
    surface.applyToControls(loaded);
    state.lastSettingsPath = path;
    recordChange(state, surface);
}
