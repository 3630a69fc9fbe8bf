// The selection mask built from the curves, and the simple mask operations.
#pragma once

#include "base/Geometry.h"
#include "base/VectorLevel.h"
#include "curves/Curve.h"
#include "imageops/ImageBuffer.h"

// Reference length of every neighbourhood: 3 % of the shorter side.
double baseSize(double width, double height);
// The curve slot of a value, 0..1023: trunc(v x 0.01560997940032044), the
// double nearest 1023/65535, taken in integers as (v x 65473) >> 22, which
// gives the same for every v.
int32_t maskCurveIndex(uint16_t value);

// Over [topLeft, bottomRight), cut to the buffers; false when the mask and the
// HSI buffer differ in size. threads share the rows, the others from pool
// when given (the same bytes for any count).
bool buildCurveMask(ImageBuffer& mask, const ImageBuffer& hsi, const CurveSet& curves, Point16 topLeft,
                    Point16 bottomRight, int threads = 1, WorkerPool* pool = nullptr);
// The same mask straight from an RGB buffer, a few HSI pixels at a time
// instead of a whole HSI buffer; withHue false leaves the hue 0 as
// rgbToHsiWithoutHue does (for a flat hue curve). level caps the vector
// instructions; the bytes are the same at every level.
bool buildCurveMaskFromRgb(ImageBuffer& mask, const ImageBuffer& rgb, const CurveSet& curves, Point16 topLeft,
                           Point16 bottomRight, bool withHue, int threads = 1, WorkerPool* pool = nullptr,
                           VectorLevel level = widestVectorLevel());
bool copyMask(ImageBuffer& dst, const ImageBuffer& src);
// trunc(value x factor) in 0..65535 (a NaN factor gives 0).
bool scaleMask(ImageBuffer& mask, double factor);
bool multiplyMask(ImageBuffer& mask, const ImageBuffer& other);
// rectangle: top, left, bottom, right; cut to the buffer.
void sampleRegionStats(const ImageBuffer& hsi, Rect16 rect, SampleStats& stats);
