#include "toolkit/ProgressBar.h"

#include <commctrl.h>

bool ProgressBar::create(int16_t x, int16_t y, int16_t width, Dialog* owner, int id) {
    if (!createWindow(owner, ControlProgressBar, PROGRESS_CLASSA, "", PBS_SMOOTH, 0, x, y, width, 12, id, false))
        return false;
    SendMessageA(window_, PBM_SETPOS, 0, 0);
    return true;
}

void ProgressBar::setPosition(int32_t p) {
    if (window_) SendMessageA(window_, PBM_SETPOS, WPARAM(p), 0);
}
