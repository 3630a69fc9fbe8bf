// The weights of a selection that depends on the saturation's curve slot
// alone (flat intensity and hue curves), sixteen pixels at a time with AVX2.
#pragma once

#include <cstddef>
#include <cstdint>

// slotWeight: the weight (0..65535) of each of kCurveSlots saturation slots.
// Writes out[i] for the leading whole groups of sixteen of count RGB pixels,
// the same values the pixel-by-pixel path gives, and returns how many it
// wrote (0 without AVX2 in the build); the caller does the rest.
size_t saturationWeightsAvx2(const uint16_t* rgb, uint16_t* out, size_t count, const int32_t* slotWeight);
