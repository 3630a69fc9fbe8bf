// Disc-shaped neighbourhood filters over a mask: the edge map, and the grey
// expansion and contraction with falloff. They read and write only inside
// [topLeft, bottomRight).
#pragma once

#include "base/Geometry.h"
#include "imageops/ImageBuffer.h"
#include "services/RunContext.h"

// r = trunc(ceil(size x 0.5) + 0.1); 0 for a size that is not positive (or
// NaN), at most 32767.
int32_t radiusForSize(double size);

// Source and destination must have the same size and hold the rectangle;
// otherwise, or when scratch memory cannot be obtained, false and nothing is
// written. The edge radius is capped at 100. A falloff that is not finite
// counts as 0; values of a falloff outside 0..1 are kept within 0..65535.
// The rows are shared among the run's threads; the bytes are the same for
// every count.

bool edgeMask(const RunContext& run, const ImageBuffer& src, ImageBuffer& dst, Point16 topLeft, Point16 bottomRight);
bool expandMask(const RunContext& run, const ImageBuffer& src, ImageBuffer& dst, Point16 topLeft, Point16 bottomRight,
                double size, double falloff);
bool contractMask(const RunContext& run, const ImageBuffer& src, ImageBuffer& dst, Point16 topLeft, Point16 bottomRight,
                  double size, double falloff);
