// RGB to HSI (hue left 0) for many pixels at once, two or four side by side
// in vector registers; every field is the same as rgbToHsiWithoutHue gives.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/VectorLevel.h"
#include "imageops/ColorModel.h"

void rgbToHsiWithoutHueRow(const uint16_t* rgb, HsiPixel* out, size_t count, VectorLevel level);
