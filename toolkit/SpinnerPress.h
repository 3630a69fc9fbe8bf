// The press of a spinner arrow, carried out by the dialog procedure: the
// pressed half shows pressed while the mouse stays over it, and the press
// completes only when the button is released over the same half.
#pragma once

#include <cstdint>

class Control;
class Spinner;

// 1 (upper) when y (dialog coordinates) lies above the spinner's top + 12,
// else 2 (lower).
int32_t spinnerHalfAt(const Spinner& spinner, int32_t y);

// Records the press on the half under y and paints it pressed.
void beginSpinnerPress(Spinner& spinner, int32_t y);
// True while a press is recorded.
bool spinnerPressActive();
// The mouse moved with the button down to y over `under` (the control under
// the mouse, or null): shows the released look away from the pressed half and
// the pressed look back on it.
void trackSpinnerPress(const Control* under, int32_t y);
// Settles the press: paints the released look and forgets the spinner. When
// the button went up over the pressed half, returns the spinner and sets half
// (1 upper, 2 lower); otherwise null.
Spinner* finishSpinnerPress(const Control* under, int32_t y, int32_t& half);
