#include "dialog/MainControlValues.h"

#include "imageops/ColorModel.h"

MainControlValues controlValuesFor(const FilterParameters& b) {
    MainControlValues v;
    v.operationResult = b.showResult == 1;
    for (int i = 0; i < 3; ++i) v.overlayColor[i] = b.overlayColor[i];
    v.operationItem = int32_t(b.operation);  // list positions are the stored codes
    v.amount = b.amount;
    v.colorSpaceItem = int32_t(b.colorSpace);
    for (int i = 0; i < 4; ++i) v.channel[i] = b.channelEnabled[i];
    v.fromCurves = b.selectionSource == SelectionSource::FromCurves;
    v.opacity = int32_t(b.opacity * 20 * 0.005);
    v.contractExpand = int32_t((b.contractExpand * 0.01 + 1) * 20 * 0.5);
    v.falloff = b.falloff;
    for (int i = 0; i < 3; ++i) v.sample[i] = b.sampleFlags[i];
    return v;
}

void storeControlValues(const MainControlValues& v, FilterParameters& b) {
    b.showResult = v.operationResult ? 1 : 0;
    for (int i = 0; i < 3; ++i) b.overlayColor[i] = v.overlayColor[i];
    b.operation = Operation(v.operationItem);
    b.amount = v.amount;
    b.colorSpace = ColorSpace(v.colorSpaceItem);
    for (int i = 0; i < 4; ++i) b.channelEnabled[i] = v.channel[i];
    b.selectionSource = v.fromCurves ? SelectionSource::FromCurves : SelectionSource::EdgesOnly;
    b.opacity = int32_t(roundHalfAway((double(v.opacity) / kScaleMax) * 200));
    b.contractExpand = int32_t(roundHalfAway(((2.0 * v.contractExpand / kScaleMax) - 1) * 100));
    b.falloff = v.falloff;
}

ColorModel colorModelForItem(int32_t item, ImageClass imageClass) {
    if (item == 2) return ColorModel::HSI;
    if (item == 3) return ColorModel::YUV;
    return imageClass == ImageClass::CMYK ? ColorModel::CMYK : ColorModel::RGB;
}

void channelBoxesFor(ColorModel model, ChannelBox out[4]) {
    switch (model) {
        case ColorModel::HSI:
            out[0] = {"Hue", false}, out[1] = {"Saturation", true}, out[2] = {"Intensity", true};
            out[3] = {nullptr, false};
            return;
        case ColorModel::CMYK:
            out[0] = {"Cyan", true}, out[1] = {"Magenta", true}, out[2] = {"Yellow", true};
            out[3] = {"Black", true};
            return;
        case ColorModel::YUV:
            out[0] = {"Luminance", true}, out[1] = {"Chrominance", true};
            out[2] = out[3] = {nullptr, false};
            return;
        default:
            out[0] = {"Red", true}, out[1] = {"Green", true}, out[2] = {"Blue", true};
            out[3] = {nullptr, false};
            return;
    }
}

int32_t channelsInUse(int32_t item, ImageClass imageClass) {
    ChannelBox boxes[4];
    channelBoxesFor(colorModelForItem(item, imageClass), boxes);
    int32_t n = 0;
    for (const ChannelBox& b : boxes) n += b.label ? 1 : 0;
    return n;
}
