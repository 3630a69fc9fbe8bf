#include "dialog/OverlayColorPicker.h"

#include <algorithm>

#include "imageops/ColorModel.h"

bool pickColorThroughHost(RunContext& run, const uint16_t colour[3], uint16_t chosen[3]) {
    if (!run.hasColorServices()) return false;
    ColorServicesInfo& request = run.colorRequest();
    // The size of this build's record: 36 bytes on 32-bit hosts.
    request.infoSize = int32_t(sizeof(ColorServicesInfo));
    request.selector = plugIncolorServicesChooseColor;
    request.sourceSpace = plugIncolorServicesRGBSpace;
    request.resultSpace = plugIncolorServicesRGBSpace;
    request.selectorParameter.pickerPrompt = nullptr;
    for (int c = 0; c < 3; ++c) request.colorComponents[c] = int16_t(to8Bit(colour[c]));
    request.colorComponents[3] = 0;
    if (!run.sendColorRequest()) return false;
    // A host answering outside 0..255 is held to the byte range, so the
    // shifted value stays a colour.
    for (int c = 0; c < 3; ++c) chosen[c] = uint16_t(std::clamp<int32_t>(request.colorComponents[c], 0, 255) << 8);
    return true;
}
