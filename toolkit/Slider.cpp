#include "toolkit/Slider.h"

#include <commctrl.h>

int32_t sliderTickFrequency(int32_t span, int32_t tickCount) {
    if (tickCount < 1) return 0;
    for (int32_t k = tickCount; k >= 2; k -= 2)
        if (span % (k - 1) == 0) return span / (k - 1);
    return span;
}

bool Slider::create(int16_t x, int16_t y, int16_t width, int16_t height, Dialog* owner, int id, int32_t minimum,
                    int32_t maximum, int32_t position, bool ticks, int32_t tickCount) {
    if (window_) return false;
    DWORD style = width <= height ? TBS_VERT : TBS_HORZ;
    int32_t count = 0;
    if (!ticks) {
        style |= TBS_NOTICKS | TBS_BOTH;
    } else if (tickCount <= 0) {
        style |= TBS_NOTICKS;
    } else {
        style |= TBS_AUTOTICKS;
        count = tickCount;
    }
    if (!createWindow(owner, ControlSlider, TRACKBAR_CLASSA, "", style, 0, x, y, width, height, id, false))
        return false;
    tickCount_ = count;
    setRange(minimum, maximum);
    setPosition(position);
    return true;
}

void Slider::range(int32_t& minimum, int32_t& maximum) const {
    minimum = maximum = 0;
    if (!window_) return;
    minimum = int32_t(SendMessageA(window_, TBM_GETRANGEMIN, 0, 0));
    maximum = int32_t(SendMessageA(window_, TBM_GETRANGEMAX, 0, 0));
}

void Slider::setRange(int32_t minimum, int32_t maximum) {
    if (!window_) return;
    SendMessageA(window_, TBM_SETRANGEMIN, TRUE, minimum);
    SendMessageA(window_, TBM_SETRANGEMAX, TRUE, maximum);
    const int32_t frequency = sliderTickFrequency(maximum - minimum, tickCount_);
    if (tickCount_ >= 1) SendMessageA(window_, TBM_SETTICFREQ, WPARAM(frequency), 0);
}

int32_t Slider::position() const {
    if (!window_) return -1;
    return int32_t(SendMessageA(window_, TBM_GETPOS, 0, 0));
}

void Slider::setPosition(int32_t p) {
    if (!window_) return;
    storedPosition_ = p;
    SendMessageA(window_, TBM_SETPOS, TRUE, p);
}
