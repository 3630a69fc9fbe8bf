// The main dialog's control states as plain values, and their mapping to and
// from the filter's parameter block. The Win32 window only moves these values
// into and out of its controls.
#pragma once

#include <cstdint>

#include "params/FilterParameters.h"

// Slider ranges: amount 1..100, opacity and contract/expand 0..20 (10 is the
// middle), falloff 0..100.
constexpr int32_t kAmountMin = 1, kAmountMax = 100, kScaleMax = 20, kFalloffMax = 100;

struct MainControlValues {
    bool operationResult = true;  // "Operation Result" (else "Overlay Color")
    uint16_t overlayColor[3] = {0, 0, 0};
    int32_t operationItem = 1;  // 1 Sharpen, 2 Soften
    int32_t amount = 50;
    int32_t colorSpaceItem = 1;  // 1 the image's model, 2 HSI, 3 YUV
    int32_t channel[4] = {1, 1, 1, 1};
    bool fromCurves = true;       // "From Curves" (else "Edges Only")
    int32_t opacity = 10;         // slider position 0..20
    int32_t contractExpand = 10;  // slider position 0..20
    int32_t falloff = 0;
    int32_t sample[3] = {0, 0, 0};
};

// What the controls show for a block.
MainControlValues controlValuesFor(const FilterParameters& block);
// Writes the controls into a block; the sample flags and the curves are not
// touched.
void storeControlValues(const MainControlValues& values, FilterParameters& block);

// The falloff controls are usable only while the selection is grown or shrunk.
inline bool falloffEnabled(int32_t contractExpandPosition) { return contractExpandPosition != kScaleMax / 2; }

// The colour model of a colour space list position for an image class.
ColorModel colorModelForItem(int32_t colorSpaceItem, ImageClass imageClass);

// How one channel box looks in a colour model.
struct ChannelBox {
    const char* label;  // null: hidden
    bool checked;
};
// The four channel boxes for a colour model (HSI, RGB, CMYK, YUV).
void channelBoxesFor(ColorModel model, ChannelBox out[4]);
// The number of channel boxes that count for a colour space list position.
int32_t channelsInUse(int32_t colorSpaceItem, ImageClass imageClass);
