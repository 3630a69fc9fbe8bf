#include "toolkit/SpinnerPress.h"

#include <windows.h>

#include "toolkit/Spinner.h"

namespace {

struct PressState {
    HWND spinner = nullptr;  // the spinner window pressed
    int32_t half = 0;        // the half pressed
    int32_t shown = 0;       // the half shown pressed, 0 when released
};

PressState& press() {
    static PressState state;
    return state;
}

Spinner* pressedSpinner() {
    Control* c = Control::fromWindow(press().spinner);
    return (c && c->typeCode() == ControlSpinner) ? static_cast<Spinner*>(c) : nullptr;
}

}  // namespace

int32_t spinnerHalfAt(const Spinner& spinner, int32_t y) {
    return y < spinner.rectangle().top + 12 ? SpinnerUpperPressed : SpinnerLowerPressed;
}

void beginSpinnerPress(Spinner& spinner, int32_t y) {
    PressState& s = press();
    s.spinner = spinner.window();
    s.half = spinnerHalfAt(spinner, y);
    s.shown = s.half;
    spinner.paint(s.half);
}

bool spinnerPressActive() { return press().spinner != nullptr; }

void trackSpinnerPress(const Control* under, int32_t y) {
    PressState& s = press();
    Spinner* spinner = pressedSpinner();
    if (!spinner) return;
    const bool overPressedHalf = under == spinner && spinnerHalfAt(*spinner, y) == s.half;
    if (!overPressedHalf && s.shown != SpinnerReleased) {
        spinner->paint(SpinnerReleased);
        s.shown = SpinnerReleased;
    } else if (overPressedHalf && s.shown == SpinnerReleased) {
        spinner->paint(s.half);
        s.shown = s.half;
    }
}

Spinner* finishSpinnerPress(const Control* under, int32_t y, int32_t& half) {
    PressState& s = press();
    Spinner* spinner = pressedSpinner();
    half = 0;
    Spinner* completed = nullptr;
    if (spinner) {
        if (under == spinner && spinnerHalfAt(*spinner, y) == s.half) {
            completed = spinner;
            half = s.half;
        }
        spinner->paint(SpinnerReleased);
    }
    s = PressState{};
    return completed;
}
