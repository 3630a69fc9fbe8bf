#include "toolkit/ColorBox.h"

#include "toolkit/Dialog.h"

void fillOwnerRect(HWND owner, const RECT& r, Rgb16 color) {
    HDC dc = GetDC(owner);
    if (!dc) return;
    HPEN pen = CreatePen(PS_NULL, 0, 0);
    HBRUSH brush = CreateSolidBrush(rgb16ToColorRef(color));
    if (pen && brush) {
        HGDIOBJ oldPen = SelectObject(dc, pen);
        HGDIOBJ oldBrush = SelectObject(dc, brush);
        // A null pen leaves out the right and bottom edge, so widen by one.
        Rectangle(dc, r.left, r.top, r.right + 1, r.bottom + 1);
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
    }
    if (pen) DeleteObject(pen);
    if (brush) DeleteObject(brush);
    ReleaseDC(owner, dc);
}

bool ColorBox::create(int16_t x, int16_t y, int16_t width, int16_t height, Dialog* owner, int id) {
    if (!createWindow(owner, ControlColorBox, "STATIC", "", SS_ENHMETAFILE, 0, x, y, width, height, id, false))
        return false;
    paint();
    return true;
}

void ColorBox::setColor(Rgb16 c) {
    if (!window_) return;
    color_ = c;
    paint();
}

void ColorBox::paint() {
    if (!window_ || !owner_) return;
    const Rect16 r = rectangle();
    fillOwnerRect(owner_->window(), RECT{r.left, r.top, r.right, r.bottom}, color_);
}
