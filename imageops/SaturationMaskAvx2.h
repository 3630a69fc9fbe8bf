// The mask from RGB with AVX2, sixteen pixels at a time: the weights of a
// selection that depends on the saturation's curve slot alone (flat
// intensity and hue curves), and the fields any selection reads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imageops/ColorModel.h"

// slotWeight: the weight (0..65535) of each of kCurveSlots saturation slots.
// Writes out[i] for the leading whole groups of sixteen of count RGB pixels,
// the same values the pixel-by-pixel path gives, and returns how many it
// wrote (0 without AVX2 in the build); the caller does the rest.
size_t saturationWeightsAvx2(const uint16_t* rgb, uint16_t* out, size_t count, const int32_t* slotWeight);
// The fields the mask reads, for the leading whole groups of sixteen of
// count RGB pixels: the hue 0 and intensity rgbToHsiWithoutHue gives, and a
// saturation in the same curve slot as its saturation; the other fields are
// left alone. Returns how many pixels it wrote (0 without AVX2 in the build).
size_t maskFieldsAvx2(const uint16_t* rgb, HsiPixel* out, size_t count);
