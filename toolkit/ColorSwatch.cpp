#include "toolkit/ColorSwatch.h"

#include "toolkit/Dialog.h"

bool ColorSwatch::create(int16_t x, int16_t y, int16_t width, int16_t height, Dialog* owner, int id) {
    if (!createWindow(owner, ControlColorSwatch, "STATIC", "", SS_ENHMETAFILE, WS_EX_CLIENTEDGE, x, y, width, height,
                      id, false))
        return false;
    paint();
    return true;
}

void ColorSwatch::setColor(Rgb16 c) {
    if (!window_) return;
    color_ = c;
    paint();
}

void ColorSwatch::paint() {
    if (!window_ || !owner_ || !IsWindowVisible(window_)) return;
    // The client rectangle, inside the edge, in the owner's coordinates.
    RECT r{};
    GetClientRect(window_, &r);
    MapWindowPoints(window_, owner_->window(), reinterpret_cast<POINT*>(&r), 2);
    fillOwnerRect(owner_->window(), r, color_);
}
