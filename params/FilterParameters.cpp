#include "params/FilterParameters.h"

#include <cstring>

#include "base/ByteCodec.h"

void FilterParameters::setDefaults() {
    signature = kParametersSignature;
    showResult = 1;
    overlayColor[0] = 0xCC00;
    overlayColor[1] = 0x6600;
    overlayColor[2] = 0;
    operation = 1;
    amount = 50;
    colorSpace = 1;
    for (int32_t& c : channelEnabled) c = 1;
    selectionSource = 1;
    opacity = 100;
    contractExpand = 0;
    falloff = 0;
    curves.reset();
    for (int32_t& f : sampleFlags) f = 1;
}

void FilterParameters::copySettings(const FilterParameters* source, FilterParameters* target) {
    if (!source || !target || source == target) return;
    target->showResult = source->showResult;
    std::memcpy(target->overlayColor, source->overlayColor, sizeof target->overlayColor);
    target->operation = source->operation;
    target->amount = source->amount;
    target->colorSpace = source->colorSpace;
    std::memcpy(target->channelEnabled, source->channelEnabled, sizeof target->channelEnabled);
    target->selectionSource = source->selectionSource;
    target->opacity = source->opacity;
    target->contractExpand = source->contractExpand;
    target->falloff = source->falloff;
    target->curves = source->curves;
    std::memcpy(target->sampleFlags, source->sampleFlags, sizeof target->sampleFlags);
}

namespace {

void readCurve(const uint8_t* p, Curve& c) {
    for (int i = 0; i < kCurveSlots; ++i) c.points[i] = loadF32(p + 4 * i);
    for (int i = 0; i < kCurveSlots; ++i) c.samples[i] = loadF32(p + 4096 + 4 * i);
    c.range = loadI32(p + 8192);
    c.kind = loadI32(p + 8196);
}

void writeCurve(uint8_t* p, const Curve& c) {
    for (int i = 0; i < kCurveSlots; ++i) storeF32(p + 4 * i, c.points[i]);
    for (int i = 0; i < kCurveSlots; ++i) storeF32(p + 4096 + 4 * i, c.samples[i]);
    storeI32(p + 8192, c.range);
    storeI32(p + 8196, c.kind);
}

}  // namespace

bool hasParametersSignature(const uint8_t* bytes, size_t size) {
    return bytes && size >= 4 && loadU32(bytes) == kParametersSignature;
}

bool readFilterParameters(const uint8_t* b, size_t size, FilterParameters& out) {
    if (!b || size < kFilterParametersSize) return false;
    using namespace ParamOffset;
    out.signature = loadU32(b + signature);
    out.showDialog = b[showDialog];
    out.showResult = b[showResult];
    for (int i = 0; i < 3; ++i) out.overlayColor[i] = loadU16(b + overlayColor + 2 * i);
    out.operation = loadI32(b + operation);
    out.amount = loadI32(b + amount);
    out.colorSpace = loadI32(b + colorSpace);
    out.imageClass = loadI32(b + imageClass);
    for (int i = 0; i < 4; ++i) out.channelEnabled[i] = loadI32(b + channelEnabled + 4 * i);
    out.selectionSource = loadI32(b + selectionSource);
    out.opacity = loadI32(b + opacity);
    out.contractExpand = loadI32(b + contractExpand);
    out.falloff = loadI32(b + falloff);
    readCurve(b + curves, out.curves.hue);
    readCurve(b + curves + kCurveBytes, out.curves.saturation);
    readCurve(b + curves + 2 * kCurveBytes, out.curves.intensity);
    for (int i = 0; i < 3; ++i) out.sampleFlags[i] = loadI32(b + sampleFlags + 4 * i);
    return true;
}

bool writeFilterParameters(const FilterParameters& in, uint8_t* b, size_t size) {
    if (!b || size < kFilterParametersSize) return false;
    using namespace ParamOffset;
    storeU32(b + signature, in.signature);
    b[showDialog] = in.showDialog;
    b[showResult] = in.showResult;
    for (int i = 0; i < 3; ++i) storeU16(b + overlayColor + 2 * i, in.overlayColor[i]);
    storeI32(b + operation, in.operation);
    storeI32(b + amount, in.amount);
    storeI32(b + colorSpace, in.colorSpace);
    storeI32(b + imageClass, in.imageClass);
    for (int i = 0; i < 4; ++i) storeI32(b + channelEnabled + 4 * i, in.channelEnabled[i]);
    storeI32(b + selectionSource, in.selectionSource);
    storeI32(b + opacity, in.opacity);
    storeI32(b + contractExpand, in.contractExpand);
    storeI32(b + falloff, in.falloff);
    writeCurve(b + curves, in.curves.hue);
    writeCurve(b + curves + kCurveBytes, in.curves.saturation);
    writeCurve(b + curves + 2 * kCurveBytes, in.curves.intensity);
    for (int i = 0; i < 3; ++i) storeI32(b + sampleFlags + 4 * i, in.sampleFlags[i]);
    return true;
}

ImageClass imageClassForMode(int16_t imageMode) {
    switch (imageMode) {
        case 3:
        case 11:
            return ImageClassRGB;
        case 4:
        case 13:
            return ImageClassCMYK;
        default:
            return ImageClassUnsupported;
    }
}

int planesForClass(int32_t imageClass) {
    return imageClass == ImageClassRGB ? 3 : imageClass == ImageClassCMYK ? 4 : 0;
}

ColorModel colorModelFor(int32_t colorSpace, int32_t imageClass) {
    if (colorSpace == 2) return ColorModelHSI;
    if (colorSpace == 3) return ColorModelYUV;
    return ColorModel(imageClass);
}
