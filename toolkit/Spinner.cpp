#include "toolkit/Spinner.h"

#include <algorithm>

namespace {

void line(HDC dc, int x0, int y0, int x1, int y1) {
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
}

void fill(HDC dc, HPEN pen, HBRUSH brush, int left, int top, int right, int bottom) {
    SelectObject(dc, pen);
    SelectObject(dc, brush);
    Rectangle(dc, left, top, right, bottom);
}

}  // namespace

bool Spinner::create(int16_t x, int16_t y, Dialog* owner, int id, int32_t minimum, int32_t maximum, int32_t value) {
    if (window_ || minimum >= maximum) return false;
    if (!createWindow(owner, ControlSpinner, "STATIC", "", SS_ENHMETAFILE, 0, x, y, 13, 24, id, false)) return false;
    minimum_ = minimum;
    maximum_ = maximum;
    value_ = std::clamp(value, minimum, maximum);
    paint(SpinnerReleased);
    return true;
}

void Spinner::range(int32_t& minimum, int32_t& maximum) const {
    minimum = minimum_;
    maximum = maximum_;
}

void Spinner::setRange(int32_t minimum, int32_t maximum) {
    if (!window_ || minimum >= maximum) return;
    minimum_ = minimum;
    maximum_ = maximum;
}

void Spinner::setValue(int32_t value) {
    if (window_) value_ = std::clamp(value, minimum_, maximum_);
}

void Spinner::paint(int32_t look) {
    if (!window_) return;
    HDC dc = GetDC(window_);
    if (!dc) return;
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    HPEN facePen = CreatePen(PS_SOLID, 1, face);
    HPEN shadowPen = CreatePen(PS_SOLID, 1, shadow);
    HPEN darkPen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_3DDKSHADOW));
    HPEN lightPen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
    HBRUSH faceBrush = CreateSolidBrush(face);
    HBRUSH shadowBrush = CreateSolidBrush(shadow);
    if (facePen && shadowPen && darkPen && lightPen && faceBrush && shadowBrush) {
        HGDIOBJ oldPen = SelectObject(dc, facePen);
        HGDIOBJ oldBrush = SelectObject(dc, faceBrush);
        // Rectangle excludes right and bottom: the inside is x 1..10, y 1..21.
        if (look == SpinnerUpperPressed) {
            fill(dc, facePen, faceBrush, 1, 13, 11, 22);
            fill(dc, shadowPen, shadowBrush, 1, 1, 11, 11);
        } else if (look == SpinnerLowerPressed) {
            fill(dc, facePen, faceBrush, 1, 1, 11, 11);
            fill(dc, shadowPen, shadowBrush, 1, 13, 11, 22);
        } else {
            fill(dc, facePen, faceBrush, 1, 1, 11, 22);
        }
        SelectObject(dc, lightPen);
        MoveToEx(dc, 11, 0, nullptr);
        LineTo(dc, 0, 0);
        LineTo(dc, 0, 23);
        line(dc, 0, 12, 11, 12);
        SelectObject(dc, shadowPen);
        MoveToEx(dc, 11, 1, nullptr);
        LineTo(dc, 11, 22);
        LineTo(dc, 0, 22);
        line(dc, 1, 11, 11, 11);
        SelectObject(dc, darkPen);
        MoveToEx(dc, 12, 0, nullptr);
        LineTo(dc, 12, 23);
        LineTo(dc, -1, 23);
        // Arrows: two rows each with the dark pen, the tip pixel black.
        line(dc, 5, 5, 8, 5);
        line(dc, 4, 6, 9, 6);
        SetPixel(dc, 6, 4, RGB(0, 0, 0));
        line(dc, 5, 17, 8, 17);
        line(dc, 4, 16, 9, 16);
        SetPixel(dc, 6, 18, RGB(0, 0, 0));
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
    }
    for (HGDIOBJ object : {HGDIOBJ(facePen), HGDIOBJ(shadowPen), HGDIOBJ(darkPen), HGDIOBJ(lightPen),
                           HGDIOBJ(faceBrush), HGDIOBJ(shadowBrush)})
        if (object) DeleteObject(object);
    ReleaseDC(window_, dc);
}
