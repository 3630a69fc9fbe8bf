#include "engine/OperationPlan.h"

#include <algorithm>
#include <cmath>

OperationPlan planOperation(const FilterParameters& params, ImageClass imageClass, double baseSize) {
    OperationPlan plan;
    plan.operation = params.operation == Operation::Soften ? Operation::Soften : Operation::Sharpen;
    plan.model = colorModelFor(params.colorSpace, imageClass);
    const bool soften = plan.operation == Operation::Soften;
    plan.operationSize = soften ? baseSize * params.amount * 0.01 : baseSize * 0.33;
    double margin = std::trunc(std::ceil(plan.operationSize * 0.5) + 0.1);
    // Out-of-range amounts: no negative margin, and one the buffer arithmetic
    // can hold (the allocation then fails as out of memory).
    if (!(margin > 0)) margin = 0;
    plan.margin = int32_t(std::min(margin, 16383.0));
    plan.sharpenStrength = params.amount * 0.01;

    plan.source = params.selectionSource == SelectionSource::FromCurves ? SelectionSource::FromCurves
                                                                        : SelectionSource::EdgesOnly;
    plan.opacity = params.opacity;
    plan.contractExpand = params.contractExpand;
    plan.contractExpandSize = std::fabs(double(params.contractExpand)) * baseSize * 0.00533;
    plan.falloff = params.falloff * 0.01;

    const int32_t* enabled = params.channelEnabled;
    switch (plan.model) {
        case ColorModel::CMYK:
            for (int i = 0; i < 4; ++i) plan.flags[i] = enabled[i] != 0;
            break;
        case ColorModel::YUV:  // the chrominance flag acts on U and V
            plan.flags[0] = enabled[0] != 0;
            plan.flags[1] = plan.flags[2] = enabled[1] != 0;
            break;
        default:
            for (int i = 0; i < 3; ++i) plan.flags[i] = enabled[i] != 0;
            break;
    }

    // A flat hue curve weighs every hue alike: the selection then needs no hue.
    const float* hue = params.curves.hue.samples;
    plan.hueMatters = !std::all_of(hue, hue + kCurveSlots, [&](float v) { return v == hue[0]; });
    return plan;
}
