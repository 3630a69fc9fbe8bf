#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "dialog/DialogCommands.h"
#include "dialog/MainControlValues.h"
#include "dialog/SettingsFile.h"

namespace {

namespace fs = std::filesystem;

// The dialog's controls as their plain values; the commands see them only
// through the surface, as they see the window's.
struct FakeDialog : CommandSurface {
    FilterParameters* working = nullptr;
    MainControlValues controls;
    int32_t sampleBoxes[3] = {1, 1, 1};
    int quickItem = 1, renders = 0, redraws = 0;
    bool filledShown[kSnapshotSlots] = {};
    bool answerYes = true;
    int questions = 0;
    std::string errorTitle, errorText;
    std::string openAnswer, saveAnswer;  // empty: the user cancels
    std::string proposedSave, saveExtension;
    std::vector<std::string> openExtensions;

    void applyToControls(const FilterParameters& block) override {
        controls = controlValuesFor(block);
        for (int i = 0; i < 3; ++i) sampleBoxes[i] = block.sampleFlags[i];
        if (&block != working) {
            working->curves = block.curves;
            ++redraws;
            quickItem = 1;
        }
    }
    void readFromControls(FilterParameters& block) override {
        storeControlValues(controls, block);
        if (&block != working) block.curves = working->curves;
    }
    void readSampleBoxes(int32_t flags[3]) override { std::memcpy(flags, sampleBoxes, sizeof sampleBoxes); }
    void refreshPreview() override { ++renders; }
    void redrawCurves() override { ++redraws; }
    void selectQuickCurveItem(int32_t item) override { quickItem = item; }
    void showSnapshotFilled(int slot, bool filled) override { filledShown[slot] = filled; }
    bool askYesNo(const char* text) override {
        EXPECT_STREQ(text, "Are you sure you want to overwrite this snapshot?");
        ++questions;
        return answerYes;
    }
    void showError(const char* title, const char* text) override {
        errorTitle = title;
        errorText = text;
    }
    bool chooseFileToOpen(std::string& path, const std::vector<std::string>& extensions) override {
        openExtensions = extensions;
        path = openAnswer;
        return !openAnswer.empty();
    }
    bool chooseFileToSave(std::string& path, const std::string& extension) override {
        proposedSave = path;
        saveExtension = extension;
        if (saveAnswer.empty()) return false;
        path = saveAnswer;
        return true;
    }
};

// An opened dialog: the working block shown by the controls, the commands
// started.
struct Opened {
    FilterParameters working;
    FakeDialog dialog;
    std::unique_ptr<CommandState> state = std::make_unique<CommandState>();
    Opened() {
        working.setDefaults();
        working.imageClass = ImageClass::RGB;
        dialog.working = &working;
        dialog.applyToControls(working);
        startCommands(*state, dialog, &working);
    }
    // What OK hands back: the controls, the curves and the "Sample" boxes.
    FilterParameters shown() {
        FilterParameters p = working;
        dialog.readFromControls(p);
        dialog.readSampleBoxes(p.sampleFlags);
        return p;
    }
};

// The settings of two blocks agree (signature, showDialog and imageClass are
// not settings).
bool sameSettings(const FilterParameters& a, const FilterParameters& b) {
    FilterParameters x = b;
    FilterParameters::copySettings(&a, &x);
    std::vector<uint8_t> bx(kFilterParametersSize), bb(kFilterParametersSize);
    writeFilterParameters(x, bx.data(), bx.size());
    writeFilterParameters(b, bb.data(), bb.size());
    return bx == bb;
}

void drawOnHue(FilterParameters& p, float v) {
    for (int i = 100; i < 200; ++i) p.curves.hue.points[i] = v;
}

}  // namespace

TEST(DialogCommands, UndoToggleSwapsTheTwoLatestStatesControlsAndCurves) {
    Opened o;
    const FilterParameters opening = o.shown();
    o.dialog.controls.amount = 80;
    recordChange(*o.state, o.dialog);
    const FilterParameters afterAmount = o.shown();
    drawOnHue(o.working, 0.25f);
    o.dialog.controls.operationItem = 2;
    recordChange(*o.state, o.dialog);
    const FilterParameters afterDraw = o.shown();
    EXPECT_EQ(o.dialog.renders, 2);

    undoToggle(*o.state, o.dialog);
    EXPECT_TRUE(sameSettings(o.shown(), afterAmount));
    EXPECT_EQ(o.dialog.renders, 3);
    undoToggle(*o.state, o.dialog);
    EXPECT_TRUE(sameSettings(o.shown(), afterDraw));
    undoToggle(*o.state, o.dialog);
    EXPECT_TRUE(sameSettings(o.shown(), afterAmount));
    EXPECT_FALSE(sameSettings(o.shown(), opening));  // only one step is kept

    // The "Sample" boxes are no part of the undo.
    o.dialog.sampleBoxes[1] = 0;
    undoToggle(*o.state, o.dialog);
    EXPECT_EQ(o.dialog.sampleBoxes[1], 0);
}

TEST(DialogCommands, SampleSetsTheTickedCurvesAndKeepsPointsWithShift) {
    // Hue 90..100 degrees widened by 5 each way, saturation and intensity
    // 40..60 % (index 409..613).
    SampleStats stats{};
    stats.values[0] = uint16_t(105 * 65535 / 360), stats.values[1] = uint16_t(85 * 65535 / 360);
    stats.values[4] = stats.values[8] = 39321, stats.values[5] = stats.values[9] = 26214;
    struct Case {
        int32_t boxes[3];
        bool keep;
    } cases[] = {{{1, 1, 1}, false}, {{0, 1, 0}, false}, {{1, 0, 1}, true}};
    for (const Case& c : cases) {
        Opened o;
        drawOnHue(o.working, 0.25f);  // points 100..199 before the sample
        o.working.curves.saturation.points[900] = 0.5f;
        std::memcpy(o.dialog.sampleBoxes, c.boxes, sizeof c.boxes);
        o.dialog.quickItem = 3;
        const FilterParameters before = o.working;
        sampleTaken(*o.state, o.dialog, stats, c.keep);
        const Curve* now[3] = {&o.working.curves.hue, &o.working.curves.saturation, &o.working.curves.intensity};
        const Curve* old[3] = {&before.curves.hue, &before.curves.saturation, &before.curves.intensity};
        for (int k = 0; k < 3; ++k) {
            const Curve& curve = *now[k];
            if (!c.boxes[k]) {
                EXPECT_EQ(std::memcmp(curve.points, old[k]->points, sizeof curve.points), 0) << k;
                continue;
            }
            const int a = k == 0 ? curveIndexForSample(stats.values[1]) : 409;
            const int b = k == 0 ? curveIndexForSample(stats.values[0]) : 613;
            EXPECT_EQ(curve.samples[a], 1.0f) << k;
            EXPECT_EQ(curve.samples[(a + b) / 2], 1.0f) << k;
            EXPECT_EQ(curve.samples[b], 1.0f) << k;
            // A kept point at the ramp's foot stays where it is.
            if (!c.keep) {
                EXPECT_EQ(curve.samples[a - 71], 0.0f) << k;
            }
            EXPECT_EQ(curve.samples[b + 71], 0.0f) << k;
            // Shift keeps the points away from the plateau; without it the
            // curve is built afresh.
            const bool keptFar = k == 0 ? curve.points[150] == 0.25f : curve.points[900] == 0.5f;
            EXPECT_EQ(keptFar, c.keep && (k == 0 || k == 1)) << k;
        }
        EXPECT_EQ(o.dialog.quickItem, 1);
        EXPECT_EQ(o.dialog.renders, 1);
        // One recorded change: the undo pair's latest state holds the sample.
        EXPECT_EQ(std::memcmp(&o.state->current.curves, &o.working.curves, sizeof(CurveSet)), 0);
    }
}

TEST(DialogCommands, ResetCurveRestoresItsShapeAndTheQuickCurvesList) {
    Opened o;
    FilterParameters standard;
    standard.setDefaults();
    drawOnHue(o.working, 0.5f);
    o.working.curves.intensity.points[3] = 0.5f;
    recordChange(*o.state, o.dialog);
    o.dialog.quickItem = 4;
    resetCurve(*o.state, o.dialog, 0);
    EXPECT_EQ(std::memcmp(o.working.curves.hue.points, standard.curves.hue.points, sizeof standard.curves.hue.points),
              0);
    EXPECT_EQ(o.working.curves.intensity.points[3], 0.5f);  // the others stay
    EXPECT_EQ(o.dialog.quickItem, 1);
    undoToggle(*o.state, o.dialog);
    EXPECT_EQ(o.working.curves.hue.points[150], 0.5f);
}

TEST(DialogCommands, SnapshotButtons) {
    struct Case {
        const char* what;
        bool filled;        // the slot's state before the click
        int32_t modifiers;  // 1 Shift, 4 Control
        bool yes;           // answer to the overwrite question
        bool asked, filledAfter, stored, recalled;
    };
    const Case cases[] = {
        {"store in an empty slot", false, 0, true, false, true, true, false},
        {"overwrite, Yes", true, 0, true, true, true, true, false},
        {"overwrite, No keeps the old", true, 0, false, true, true, false, false},
        {"Shift clears", true, 1, true, false, false, false, false},
        {"Shift on empty does nothing", false, 1, true, false, false, false, false},
        {"Control recalls", true, 4, true, false, true, false, true},
        {"Control on empty does nothing", false, 4, true, false, false, false, false},
        {"Shift wins over Control", true, 5, true, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Opened o;
        const FilterParameters opening = o.shown();
        // The slot holds amount 20 and a drawn hue curve when filled.
        o.dialog.controls.amount = 20;
        drawOnHue(o.working, 0.75f);
        recordChange(*o.state, o.dialog);
        if (c.filled) snapshotClicked(*o.state, o.dialog, 2, false, 0);
        const FilterParameters parked = o.state->snapshots[2];
        // Then the dialog moves on.
        o.dialog.controls.amount = 90;
        drawOnHue(o.working, 0.125f);
        recordChange(*o.state, o.dialog);
        const FilterParameters before = o.shown();
        const int renders = o.dialog.renders;

        o.dialog.answerYes = c.yes;
        snapshotClicked(*o.state, o.dialog, 2, c.filled, c.modifiers);
        EXPECT_EQ(o.dialog.questions, c.asked ? 1 : 0);
        EXPECT_EQ(o.state->snapshotFilled[2], c.filledAfter);
        EXPECT_EQ(o.dialog.filledShown[2], c.filledAfter);
        const FilterParameters& slot = o.state->snapshots[2];
        if (c.stored)
            EXPECT_TRUE(sameSettings(slot, before));
        else
            EXPECT_TRUE(sameSettings(slot, c.filled ? parked : opening));
        if (c.recalled) {
            EXPECT_TRUE(sameSettings(o.shown(), parked));
            EXPECT_EQ(o.dialog.quickItem, 1);
            undoToggle(*o.state, o.dialog);  // one undo returns to before the recall
            EXPECT_TRUE(sameSettings(o.shown(), before));
        } else {
            EXPECT_TRUE(sameSettings(o.shown(), before));
            EXPECT_EQ(o.dialog.renders, renders);  // storing records nothing
        }
    }
}

TEST(DialogCommands, QuickCurveItems) {
    QuickCurveEntry a, b;
    a.orderKey = 1;
    a.separator = true;
    a.name = "Skin";
    b.orderKey = 2;
    b.name = "Sky";
    for (int s = 0; s < kCurveSlots; ++s) a.values[0][s] = a.values[1][s] = a.values[2][s] = -1;
    for (int s = 0; s < kCurveSlots; ++s) b.values[0][s] = b.values[1][s] = b.values[2][s] = -1;
    a.values[0][10] = 32767;
    b.values[2][20] = 16384;
    Opened o;
    o.state->quickCurves = buildQuickCurveList({b, a});  // items: Select..., Skin, --------, Sky
    const FilterParameters opening = o.shown();

    quickCurveChosen(*o.state, o.dialog, 1);
    EXPECT_TRUE(sameSettings(o.shown(), opening));
    o.dialog.quickItem = 3;
    quickCurveChosen(*o.state, o.dialog, 3);  // the separator
    EXPECT_EQ(o.dialog.quickItem, 1);
    EXPECT_TRUE(sameSettings(o.shown(), opening));
    EXPECT_EQ(o.dialog.renders, 0);

    quickCurveChosen(*o.state, o.dialog, 2);
    EXPECT_EQ(o.working.curves.hue.points[10], 1.0f);
    EXPECT_EQ(o.working.curves.hue.points[0], NoPoint);
    quickCurveChosen(*o.state, o.dialog, 4);
    EXPECT_FLOAT_EQ(o.working.curves.intensity.points[20], 16384.0f / 32767.0f);
    EXPECT_EQ(o.working.curves.hue.points[10], NoPoint);
    EXPECT_EQ(o.dialog.renders, 2);
    undoToggle(*o.state, o.dialog);
    EXPECT_EQ(o.working.curves.hue.points[10], 1.0f);
}

namespace {

struct TempFolder {
    fs::path path;
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "cc-commands-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ec;
        fs::permissions(path, fs::perms::owner_all, ec);
        fs::remove_all(path, ec);
    }
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream(path / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return (path / name).string();
    }
};

}  // namespace

TEST(DialogCommands, SettingsSaveAndLoadBack) {
    TempFolder t;
    Opened o;
    o.dialog.controls.operationItem = 2;
    o.dialog.controls.amount = 33;
    o.dialog.controls.contractExpand = 0;
    drawOnHue(o.working, 1.0f);
    recordChange(*o.state, o.dialog);
    const FilterParameters saved = o.shown();

    saveSettings(*o.state, o.dialog);  // cancelled
    EXPECT_EQ(o.dialog.proposedSave, "");
    EXPECT_EQ(o.dialog.saveExtension, "qzr4");
    EXPECT_FALSE(fs::exists(t.path / "a.qzr4"));
    o.dialog.saveAnswer = (t.path / "a.qzr4").string();
    saveSettings(*o.state, o.dialog);
    EXPECT_EQ(o.state->lastSettingsPath, o.dialog.saveAnswer);
    EXPECT_EQ(fs::file_size(t.path / "a.qzr4"), kSettingsFileSize);
    saveSettings(*o.state, o.dialog);
    EXPECT_EQ(o.dialog.proposedSave, o.dialog.saveAnswer);  // proposes the last name

    // Everything changes, then the file comes back; the sample boxes stay.
    o.dialog.controls = MainControlValues{};
    drawOnHue(o.working, 0.0f);
    o.dialog.sampleBoxes[0] = 0;
    recordChange(*o.state, o.dialog);
    const FilterParameters changed = o.shown();
    o.state->lastSettingsPath.clear();
    o.dialog.openAnswer = (t.path / "a.qzr4").string();
    loadSettings(*o.state, o.dialog);
    EXPECT_EQ(o.dialog.openExtensions, (std::vector<std::string>{"qzr3", "qzr4"}));
    FilterParameters want = saved;  // with its points as the file keeps them
    const std::vector<uint8_t> bytes = writeSettingsFile(saved);
    ASSERT_EQ(readSettingsFile(bytes.data(), bytes.size(), want), SettingsStatus::Ok);
    want.sampleFlags[0] = 0;
    EXPECT_TRUE(sameSettings(o.shown(), want));
    EXPECT_EQ(o.dialog.sampleBoxes[0], 0);
    EXPECT_EQ(o.state->lastSettingsPath, o.dialog.openAnswer);
    EXPECT_EQ(o.dialog.errorText, "");
    undoToggle(*o.state, o.dialog);
    EXPECT_TRUE(sameSettings(o.shown(), changed));

    // A folder that is not there: the save message, nothing written.
    o.dialog.saveAnswer = (t.path / "missing" / "b.qzr3").string();
    saveSettings(*o.state, o.dialog);
    EXPECT_EQ(o.dialog.errorTitle, "File Save Error");
    EXPECT_EQ(o.dialog.errorText, "There was an error saving the file");
    EXPECT_EQ(o.state->lastSettingsPath, (t.path / "a.qzr4").string());
}

TEST(DialogCommands, BadSettingsFilesChangeNothing) {
    TempFolder t;
    std::vector<uint8_t> good = writeSettingsFile([] {
        FilterParameters p;
        p.setDefaults();
        p.amount = 99;
        return p;
    }());
    std::vector<uint8_t> truncated(good.begin(), good.end() - 1), wrongTag = good, future = good;
    wrongTag[3] = 'X';
    future[6] = 3;
    const std::string unreadable = t.write("locked.qzr3", good);
    fs::permissions(unreadable, fs::perms::none);
    const bool root = geteuid() == 0;  // root reads it anyway
    struct Case {
        std::string path;
        const char* text;
    };
    const Case cases[] = {
        {t.write("short.qzr3", truncated), "There was a problem parsing the file"},
        {t.write("empty.qzr3", {}), "There was a problem parsing the file"},
        {t.write("tag.qzr3", wrongTag), "Incorrect file type"},
        {t.write("future.qzr3", future),
         "This file was created with a newer version of the plug-in than the one you have"},
        {(t.path / "gone.qzr3").string(), "There was a problem opening the file"},
        {t.path.string(), "There was a problem opening the file"},
        {unreadable, root ? "" : "There was a problem opening the file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Opened o;
        o.state->lastSettingsPath = "earlier.qzr3";
        o.dialog.controls.amount = 7;
        drawOnHue(o.working, 0.5f);
        recordChange(*o.state, o.dialog);
        const FilterParameters before = o.shown();
        const FilterParameters previous = o.state->previous;
        o.dialog.openAnswer = c.path;
        loadSettings(*o.state, o.dialog);
        EXPECT_EQ(o.dialog.errorText, c.text);
        if (*c.text == 0) continue;
        EXPECT_EQ(o.dialog.errorTitle, "Error");
        EXPECT_TRUE(sameSettings(o.shown(), before));
        EXPECT_TRUE(sameSettings(o.state->previous, previous));
        EXPECT_EQ(o.state->lastSettingsPath, "earlier.qzr3");
    }
}
