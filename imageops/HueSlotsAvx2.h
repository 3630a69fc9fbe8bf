// Hues good enough for the mask, four pixels at a time with AVX2: the mask
// needs only the curve slot of a pixel's hue, which an arctangent close to
// the library's settles for all but the pixels next to a slot's edge.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imageops/ColorModel.h"

// Sets out[i].hue, for each of count RGB pixels, to a hue in the same curve
// slot (maskCurveIndex) as the hue rgbToHsi gives; the other fields are left
// alone. Without AVX2 in the build it sets rgbToHsi's hue itself.
void maskHuesAvx2(const uint16_t* rgb, HsiPixel* out, size_t count);
