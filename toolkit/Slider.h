// A trackbar. Only dragging the thumb changes it: the dialog procedure puts
// the thumb back to the stored position after keyboard or page moves.
#pragma once

#include "toolkit/Control.h"

class Slider : public Control {
public:
    // Vertical when width is not greater than height. Without the ticks flag
    // the slider has no ticks; with it and tickCount > 0 it gets about
    // tickCount evenly spaced ticks (see sliderTickFrequency).
    bool create(int16_t x, int16_t y, int16_t width, int16_t height, Dialog* owner, int id, int32_t minimum,
                int32_t maximum, int32_t position, bool ticks, int32_t tickCount);
    void range(int32_t& minimum, int32_t& maximum) const;
    // Sets the range, redraws, then sets the tick frequency.
    void setRange(int32_t minimum, int32_t maximum);
    // -1 without window.
    int32_t position() const;
    // Stores p and moves the thumb there.
    void setPosition(int32_t p);
    // The position the dialog last accepted; -1 without window.
    int32_t storedPosition() const { return window_ ? storedPosition_ : -1; }
    void setStoredPosition(int32_t p) { storedPosition_ = p; }
    int32_t tickCount() const { return tickCount_; }

private:
    int32_t tickCount_ = 0;
    int32_t storedPosition_ = 0;
};

// Tick spacing for a range span and a wanted tick count n: the largest count
// k = n, n - 2, n - 4, ... (k >= 2) for which span is divisible by k - 1 gives
// span / (k - 1); otherwise span (ticks at the ends only). 0 means: set no
// frequency (n < 1).
int32_t sliderTickFrequency(int32_t span, int32_t tickCount);
