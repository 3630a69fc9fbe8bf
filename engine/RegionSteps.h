// The two steps every region goes through once its pixels are in working
// buffers with their margins: shape the selection, then operate. The apply
// driver runs them on each tile, the preview on its whole region at once.
#pragma once

#include "base/Geometry.h"
#include "curves/Curve.h"
#include "engine/OperationPlan.h"
#include "imageops/ImageBuffer.h"
#include "imageops/Soften.h"
#include "services/RunContext.h"

// The three masks of a region, all of the working buffers' size.
struct SelectionMasks {
    ImageBuffer selection;  // the curve weights, shaped in place into the final selection
    ImageBuffer shaped;     // scratch: the weights after the source choice and the opacity, when movesWeights
    ImageBuffer host;       // the host's selection (65535 everywhere without one)
};

// From the HSI form over [0, usedEnd): the curve weights, their edge map when
// chosen, the opacity, contraction or expansion over the region
// [topLeft, bottomRight), and finally the host's selection (none when its
// buffer is empty). False only when the mask filters cannot have their
// scratch memory.
bool shapeSelection(RunContext& run, const OperationPlan& plan, const CurveSet& curves, const ImageBuffer& hsi,
                    Point16 usedEnd, Point16 topLeft, Point16 bottomRight, SelectionMasks& masks);
// True when the selection's shape takes weights from neighbouring pixels
// (edges only, contract or expand), which needs SelectionMasks::shaped.
bool movesWeights(const OperationPlan& plan);
// The same steps after the curve weights, which masks.selection holds.
bool shapeCurveWeights(RunContext& run, const OperationPlan& plan, Point16 topLeft, Point16 bottomRight,
                       SelectionMasks& masks);

// Sharpen or soften of [topLeft, bottomRight) from source into destination
// (buffers of the plan's model) with the selection; the tables must be
// prepared for a soften. False when the user aborted (the run's progress says
// so) or the operation refused its arguments.
bool operateOnRegion(RunContext& run, const OperationPlan& plan, const SoftenTables& tables, const ImageBuffer& source,
                     ImageBuffer& destination, const ImageBuffer& selection, Point16 topLeft, Point16 bottomRight);
