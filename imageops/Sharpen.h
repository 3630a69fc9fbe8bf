// Unsharp mask whose gain rises with the selection weight.
#pragma once

#include <cstdint>

#include "imageops/Geometry.h"
#include "imageops/ImageBuffer.h"

// flags: the four channel flags (non-zero = on); model: ColorModel code.
bool sharpenRegion(const ImageBuffer& src, ImageBuffer& dst, const ImageBuffer& mask, int model,
                   const uint8_t flags[4], Point16 topLeft, Point16 bottomRight, double size, double amount,
                   uint8_t progressMode);
