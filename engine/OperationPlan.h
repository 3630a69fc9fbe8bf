// What the selection steps and the operation need, worked out from the
// settings and a base size before any pixel is touched. The apply driver and
// the preview both make one.
#pragma once

#include <cstdint>

#include "base/Modes.h"
#include "params/FilterParameters.h"

struct OperationPlan {
    Operation operation = Operation::Sharpen;
    ColorModel model = ColorModel::RGB;
    double operationSize = 0;    // pixels: the neighbourhood's diameter
    double sharpenStrength = 0;  // amount x 0.01
    int32_t margin = 0;          // r: pixels of context around a region, 0..16383
    SelectionSource source = SelectionSource::FromCurves;
    int32_t opacity = 100;            // percent
    int32_t contractExpand = 0;       // its sign chooses: > 0 expand, < 0 contract
    double contractExpandSize = 0;    // pixels
    double falloff = 0;               // 0..1 in range
    uint8_t flags[4] = {0, 0, 0, 0};  // channel flags in the working model's order
    bool hueMatters = true;           // false: the hue curve is flat, the HSI form needs no hue
};

// baseSize: 3 % of the shorter side of the image (or of the preview scaled
// to the image). The block's curves must be evaluated.
OperationPlan planOperation(const FilterParameters& params, ImageClass imageClass, double baseSize);
