// A plain filled rectangle painted on the owner dialog's surface: the
// background of the curve editors and colour patches. Drawing made later on
// the same surface lies on top of it.
#pragma once

#include "toolkit/Control.h"
#include "toolkit/Rgb16.h"

// The colour of a new box or swatch.
constexpr Rgb16 kInitialControlColor{32768, 32768, 32768};

class ColorBox : public Control {
public:
    bool create(int16_t x, int16_t y, int16_t width, int16_t height, Dialog* owner, int id);
    // With a window only: stores the colour and paints (hidden or not).
    void setColor(Rgb16 c);
    Rgb16 color() const { return color_; }
    void paint();

private:
    Rgb16 color_ = kInitialControlColor;
};

// Fills a rectangle of a window's client area with a colour and no outline;
// right and bottom are exclusive. Used by the colour box and the swatch.
void fillOwnerRect(HWND owner, const RECT& r, Rgb16 color);
