// What sharpen and soften share: the channels a colour model offers to the
// four channel flags, and the acceptance of the rectangle they work on.
#pragma once

#include <cstdint>

#include "base/Geometry.h"
#include "base/Modes.h"
#include "imageops/ImageBuffer.h"

struct ChannelLayout {
    int stride = 0;               // u16 samples per pixel
    int fields = 0;               // channels the flags act on: 3, or 4 for CMYK
    int field[4] = {0, 0, 0, 0};  // sample index of flag 1..4
};

// HSI: hue, hsiSaturation, intensity (fields 0, 1, 4); RGB and YUV: the three
// channels; CMYK: all four. False for any other value.
bool channelLayoutFor(ColorModel model, ChannelLayout& layout);

// True when the rectangle keeps at least half (a distance in pixels) from
// every edge of the source, lies in it, is not reversed, the destination has
// the source's size and the mask covers the rectangle.
bool acceptRegion(const ImageBuffer& src, const ImageBuffer& dst, const ImageBuffer& mask, Point16 topLeft,
                  Point16 bottomRight, double half);
