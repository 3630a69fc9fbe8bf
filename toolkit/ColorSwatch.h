// A sunken rectangle showing a chosen colour. Only a visible swatch paints.
#pragma once

#include "toolkit/ColorBox.h"

class ColorSwatch : public Control {
public:
    bool create(int16_t x, int16_t y, int16_t width, int16_t height, Dialog* owner, int id);
    // With a window only: stores the colour and paints when visible.
    void setColor(Rgb16 c);
    Rgb16 color() const { return color_; }
    // Fills the inside of the sunken edge.
    void paint();

private:
    Rgb16 color_ = kInitialControlColor;
};
