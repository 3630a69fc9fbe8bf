// Scaling of one plane of samples between two rectangles, as the preview
// shrinks its zoomed-in view to 1:1 and enlarges the result back.
#pragma once

#include <cstdint>

#include "hostapi/PluginHost.h"

// Copies the source rectangle of a plane onto the destination rectangle of
// another (rectangles in each plane's own coordinates from its base). With
// the ratios rx = source width / destination width and ry likewise, each
// destination sample is the mean, rounded half away from zero, of the block
// of max(1, round(rx)) x max(1, round(ry)) source samples whose corner is
// (top + trunc(dy x ry), left + trunc(dx x rx)); the block is kept inside the
// source rectangle. Depth 8 reads bytes, depth 16 reads host samples
// (0..32768) as trunc(v x 10 / 1285); the destination is always 8 bits.
// False for any other depth, and for an empty or reversed source rectangle
// when the destination is not empty.
bool resamplePlane(const void* source, int32_t sourceRowBytes, const VRect& sourceRect, int depth, uint8_t* destination,
                   int32_t destinationRowBytes, const VRect& destinationRect);
