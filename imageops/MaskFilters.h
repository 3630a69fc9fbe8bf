// Disc-shaped neighbourhood filters over a mask: the edge map, and the grey
// expansion and contraction with falloff. They read and write only inside
// [topLeft, bottomRight).
#pragma once

#include "imageops/Geometry.h"
#include "imageops/ImageBuffer.h"

// r = trunc(ceil(size x 0.5) + 0.1)
int32_t radiusForSize(double size);

bool edgeMask(const ImageBuffer& src, ImageBuffer& dst, Point16 topLeft, Point16 bottomRight);
bool expandMask(const ImageBuffer& src, ImageBuffer& dst, Point16 topLeft, Point16 bottomRight, double size,
                double falloff);
bool contractMask(const ImageBuffer& src, ImageBuffer& dst, Point16 topLeft, Point16 bottomRight, double size,
                  double falloff);
