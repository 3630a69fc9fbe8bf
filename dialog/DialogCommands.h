// What the main dialog's commands do to its parameters: record a change and
// the one-step undo toggle, curve resets, the five snapshots, quick curves and
// the settings files. The window supplies its controls, preview and message
// boxes through CommandSurface; everything else lives here, so the commands
// run the same with a real window and with a plain block in tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dialog/QuickCurveFile.h"
#include "params/FilterParameters.h"

constexpr int kSnapshotSlots = 5;
constexpr const char* kSnapshotOverwriteQuestion = "Are you sure you want to overwrite this snapshot?";

class CommandSurface {
public:
    virtual ~CommandSurface() = default;
    // Every control from a block; a block other than the working one also
    // brings its curves into the working block, redraws the curve editors and
    // sets "Quick Curves:" back to its first item.
    virtual void applyToControls(const FilterParameters& block) = 0;
    // The controls into a block (not the sample flags); a block other than the
    // working one takes the working curves.
    virtual void readFromControls(FilterParameters& block) = 0;
    // The three "Sample" boxes, 1 checked.
    virtual void readSampleBoxes(int32_t flags[3]) = 0;
    // Marks the parameters changed and renders the preview again.
    virtual void refreshPreview() = 0;
    virtual void redrawCurves() = 0;
    virtual void selectQuickCurveItem(int32_t item) = 0;
    // Shows the filled-slot button of a snapshot slot (0..4) or its empty one.
    virtual void showSnapshotFilled(int slot, bool filled) = 0;
    // Yes/No question with the question icon; true for Yes.
    virtual bool askYesNo(const char* text) = 0;
    // OK box with the stop icon.
    virtual void showError(const char* title, const char* text) = 0;
    virtual bool chooseFileToOpen(std::string& path, const std::vector<std::string>& extensions) = 0;
    virtual bool chooseFileToSave(std::string& path, const std::string& extension) = 0;
};

struct CommandState {
    FilterParameters* working = nullptr;
    FilterParameters current, previous;  // the undo pair: after and before the latest change
    FilterParameters snapshots[kSnapshotSlots];
    bool snapshotFilled[kSnapshotSlots] = {};
    std::string lastSettingsPath;
    QuickCurveList quickCurves;
};

// At opening, once the controls show the working block: snapshots and the undo
// pair start as copies of it, every slot shown empty.
void startCommands(CommandState& state, CommandSurface& surface, FilterParameters* working);
// After every edit that changes parameters.
void recordChange(CommandState& state, CommandSurface& surface);
// Back to the state before the latest change; twice returns to where it was.
void undoToggle(CommandState& state, CommandSurface& surface);
// One curve (0 hue, 1 saturation, 2 intensity) back to its standard shape.
void resetCurve(CommandState& state, CommandSurface& surface, int which);
// A snapshot button clicked: Shift clears, Control recalls, no modifier
// stores (asking first when the slot is filled). filledButton tells which of
// the slot's two buttons was clicked.
void snapshotClicked(CommandState& state, CommandSurface& surface, int slot, bool filledButton, int32_t modifiers);
// A rubber band sampled the preview: the curves whose "Sample" box is ticked
// take a plateau over the sampled span, merged into the existing points when
// keep (Shift at the press) is set, rebuilt otherwise.
void sampleTaken(CommandState& state, CommandSurface& surface, const SampleStats& stats, bool keep);
// The quick curves list chose item n.
void quickCurveChosen(CommandState& state, CommandSurface& surface, int32_t item);
// "Save" and "Load".
void saveSettings(CommandState& state, CommandSurface& surface);
void loadSettings(CommandState& state, CommandSurface& surface);
