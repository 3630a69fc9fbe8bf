// Unsharp mask whose gain rises with the selection weight.
#pragma once

#include <cstdint>

#include "base/Geometry.h"
#include "imageops/ImageBuffer.h"

// flags: the four channel flags (non-zero = on; the fourth only for CMYK);
// model: ColorModel code. False, nothing written, for an unknown model, a
// rectangle closer than size / 2 to the source's edges or outside it, a
// destination of another size, a mask that does not cover the rectangle or
// missing scratch memory; false after a user abort through the host. A radius
// of 0 (size not above 0) has no neighbourhood: the rectangle is copied.
bool sharpenRegion(const ImageBuffer& src, ImageBuffer& dst, const ImageBuffer& mask, int model, const uint8_t flags[4],
                   Point16 topLeft, Point16 bottomRight, double size, double amount, uint8_t progressMode);
