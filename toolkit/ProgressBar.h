// A smooth progress bar, 12 pixels high, starting at 0.
#pragma once

#include "toolkit/Control.h"

class ProgressBar : public Control {
public:
    bool create(int16_t x, int16_t y, int16_t width, Dialog* owner, int id);
    void setPosition(int32_t p);
};
