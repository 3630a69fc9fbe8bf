// Unsharp mask whose gain rises with the selection weight.
#pragma once

#include <cstdint>

#include "base/Geometry.h"
#include "base/Modes.h"
#include "base/VectorLevel.h"
#include "imageops/ImageBuffer.h"
#include "services/RunContext.h"

// flags: the four channel flags (non-zero = on; the fourth only for CMYK);
// model: the working model. False, nothing written, for an unknown model, a
// rectangle closer than size / 2 to the source's edges or outside it, a
// destination of another size, a mask that does not cover the rectangle or
// missing scratch memory; false after a user abort through the host. A radius
// of 0 (size not above 0) has no neighbourhood: the rectangle is copied.
// Progress goes through the run in its mode. The rows are shared among the
// run's threads; the bytes are the same for every count and every vector
// level.
bool sharpenRegion(RunContext& run, const ImageBuffer& src, ImageBuffer& dst, const ImageBuffer& mask, ColorModel model,
                   const uint8_t flags[4], Point16 topLeft, Point16 bottomRight, double size, double amount,
                   VectorLevel level = widestVectorLevel());
