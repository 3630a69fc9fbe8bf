// A scroll bar, 14 pixels thick. The dialog procedure moves it by one for the
// arrows and by the page step for the page areas, within the range.
#pragma once

#include "toolkit/Control.h"

class ScrollBar : public Control {
public:
    // Vertical when width is less than height. The page step starts at
    // (maximum - minimum) / 2.
    bool create(int16_t x, int16_t y, int16_t width, int16_t height, Dialog* owner, int id, int32_t minimum,
                int32_t maximum, int32_t position);
    void range(int32_t& minimum, int32_t& maximum) const;
    void setRange(int32_t minimum, int32_t maximum);
    // -1 without window.
    int32_t position() const;
    // Stores p and moves the thumb there.
    void setPosition(int32_t p);
    int32_t storedPosition() const { return window_ ? storedPosition_ : -1; }
    // -1 without window.
    int32_t pageStep() const { return window_ ? pageStep_ : -1; }
    void setPageStep(int32_t step);

private:
    int32_t pageStep_ = 0;
    int32_t storedPosition_ = 0;
};
