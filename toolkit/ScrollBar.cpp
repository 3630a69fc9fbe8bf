#include "toolkit/ScrollBar.h"

bool ScrollBar::create(int16_t x, int16_t y, int16_t width, int16_t height, Dialog* owner, int id, int32_t minimum,
                       int32_t maximum, int32_t position) {
    const bool vertical = width < height;
    const DWORD style = vertical ? (SBS_VERT | SBS_LEFTALIGN) : (SBS_HORZ | SBS_TOPALIGN);
    if (!createWindow(owner, ControlScrollBar, "SCROLLBAR", "", style, 0, x, y, vertical ? 14 : width,
                      vertical ? height : 14, id, false))
        return false;
    pageStep_ = (maximum - minimum) / 2;
    setRange(minimum, maximum);
    setPosition(position);
    return true;
}

void ScrollBar::range(int32_t& minimum, int32_t& maximum) const {
    minimum = maximum = 0;
    if (!window_) return;
    INT low = 0, high = 0;
    SendMessageA(window_, SBM_GETRANGE, WPARAM(&low), LPARAM(&high));
    minimum = low;
    maximum = high;
}

void ScrollBar::setRange(int32_t minimum, int32_t maximum) {
    if (window_) SendMessageA(window_, SBM_SETRANGE, WPARAM(minimum), LPARAM(maximum));
}

int32_t ScrollBar::position() const {
    if (!window_) return -1;
    return int32_t(SendMessageA(window_, SBM_GETPOS, 0, 0));
}

void ScrollBar::setPosition(int32_t p) {
    if (!window_) return;
    storedPosition_ = p;
    SendMessageA(window_, SBM_SETPOS, WPARAM(p), TRUE);
}

void ScrollBar::setPageStep(int32_t step) {
    if (window_) pageStep_ = step;
}
