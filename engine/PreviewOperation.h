// The filter's selection and operation on a preview: the apply driver's
// region steps on one region of 8-bit planar data, with progress in the
// dialog.
#pragma once

#include "engine/Preview.h"
#include "imageops/PixelTransfer.h"
#include "services/RunContext.h"

// The planes as the host's 8-bit pixels, plane after plane (one plane for the
// selection).
HostPixels planarPixels(const PreviewPlanes& planes);

// Runs the block on rect (plane coordinates) of source into result, with the
// host's selection from mask (255 = selected; null when the document has no
// selection: everything is fully selected) and the HSI form of source in
// hsi (same coordinates). scale is previewScale: the base size is
// min(rect width, rect height) x scale x 0.03. Outside the selection's
// reach result takes the source's pixels; with "Overlay Color" the selection
// is shown tinted over the source. Memory, colour services and progress come
// from run; status texts go to view (may be null). A host result code:
// memFullErr when memory is short, filterBadParameters when the operation
// refuses.
int16 previewOperation(RunContext& run, const FilterParameters& block, const PreviewPlanes& source,
                       PreviewPlanes& result, const PreviewPlanes* mask, const ImageBuffer& hsi, const VRect& rect,
                       double scale, PreviewControls* view);

// The "Overlay Color" view, one sample at a time. The overlay colour in host
// samples of the image class and depth (8: as the preview shows it; CMYK as
// the host stores ink, 255 or 32768 = none), CMYK through the run's colour
// services; false when memory or the conversion fails.
bool overlayColour(RunContext& run, const FilterParameters& block, ImageClass imageClass, int depth, double colour[4]);
// A sample blended towards colour (same units) by a selection weight
// (65535 = all colour), rounded half away from zero.
int32_t overlaySample(double sample, double colour, uint16_t weight);
