// A pair of up and down arrows, 13 by 24 pixels, that steps an integer value
// within a range. The dialog procedure carries out presses (SpinnerPress).
#pragma once

#include "toolkit/Control.h"

// Looks of a spinner.
enum : int32_t { SpinnerReleased = 0, SpinnerUpperPressed = 1, SpinnerLowerPressed = 2 };

class Spinner : public Control {
public:
    // Fails unless minimum < maximum; the value is clamped into the range.
    bool create(int16_t x, int16_t y, Dialog* owner, int id, int32_t minimum, int32_t maximum, int32_t value);
    void range(int32_t& minimum, int32_t& maximum) const;
    // With a window and minimum < maximum only.
    void setRange(int32_t minimum, int32_t maximum);
    // -1 without window.
    int32_t value() const { return window_ ? value_ : -1; }
    // Clamped into the range; with a window only.
    void setValue(int32_t value);
    // Paints the released look (0) or a pressed half (1 upper, 2 lower).
    void paint(int32_t look);

private:
    int32_t minimum_ = 0;
    int32_t maximum_ = 0;
    int32_t value_ = 0;
};
