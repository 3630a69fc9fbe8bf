#include "engine/RegionSteps.h"

#include "imageops/Mask.h"
#include "imageops/MaskFilters.h"
#include "imageops/Sharpen.h"

bool shapeSelection(RunContext& run, const OperationPlan& plan, const CurveSet& curves, const ImageBuffer& hsi,
                    Point16 usedEnd, Point16 topLeft, Point16 bottomRight, SelectionMasks& masks) {
    buildCurveMask(masks.selection, hsi, curves, Point16{0, 0}, usedEnd, run.threads(), &run.workers());
    return shapeCurveWeights(run, plan, topLeft, bottomRight, masks);
}

bool movesWeights(const OperationPlan& plan) {
    return plan.source != SelectionSource::FromCurves || plan.contractExpand != 0;
}

bool shapeCurveWeights(RunContext& run, const OperationPlan& plan, Point16 topLeft, Point16 bottomRight,
                       SelectionMasks& masks) {
    if (!movesWeights(plan)) {
        // Each weight stays where it is: the opacity scales them in place.
        if (plan.opacity != 100) scaleMask(masks.selection, plan.opacity * 0.01);
        if (masks.host.data) multiplyMask(masks.selection, masks.host);
        return true;
    }
    bool shaped = true;
    if (plan.source == SelectionSource::FromCurves)
        copyMask(masks.shaped, masks.selection);
    else
        shaped = edgeMask(run, masks.selection, masks.shaped, topLeft, bottomRight);
    if (plan.opacity != 100) scaleMask(masks.shaped, plan.opacity * 0.01);
    if (plan.contractExpand > 0)
        shaped = shaped && expandMask(run, masks.shaped, masks.selection, topLeft, bottomRight, plan.contractExpandSize,
                                      plan.falloff);
    else if (plan.contractExpand < 0)
        shaped = shaped && contractMask(run, masks.shaped, masks.selection, topLeft, bottomRight,
                                        plan.contractExpandSize, plan.falloff);
    else
        copyMask(masks.selection, masks.shaped);
    if (!shaped) return false;
    if (masks.host.data) multiplyMask(masks.selection, masks.host);
    return true;
}

bool operateOnRegion(RunContext& run, const OperationPlan& plan, const SoftenTables& tables, const ImageBuffer& source,
                     ImageBuffer& destination, const ImageBuffer& selection, Point16 topLeft, Point16 bottomRight) {
    if (plan.operation == Operation::Soften)
        return softenRegion(run, tables, source, destination, selection, plan.model, plan.flags, topLeft, bottomRight,
                            plan.operationSize);
    return sharpenRegion(run, source, destination, selection, plan.model, plan.flags, topLeft, bottomRight,
                         plan.operationSize, plan.sharpenStrength);
}
