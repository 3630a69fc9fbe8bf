#include "params/FilterParameters.h"

#include <cstring>

#include "base/ByteCodec.h"
#include "hostapi/PluginHost.h"

void FilterParameters::setDefaults() {
    signature = kParametersSignature;
    showResult = 1;
    for (int i = 0; i < 3; ++i) overlayColor[i] = kDefaultOverlayColor[i];
    operation = Operation::Sharpen;
    amount = 50;
    colorSpace = ColorSpace::ImageModel;
    for (int32_t& c : channelEnabled) c = 1;
    selectionSource = SelectionSource::FromCurves;
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

// The fields follow one another in the stored order: the cursor's position
// is each field's offset.
void readCurve(ByteReader& r, Curve& c) {
    for (int i = 0; i < kCurveSlots; ++i) c.points[i] = r.f32();
    for (int i = 0; i < kCurveSlots; ++i) c.samples[i] = r.f32();
    c.range = r.i32();
    c.kind = r.i32();
}

void writeCurve(ByteWriter& w, const Curve& c) {
    for (int i = 0; i < kCurveSlots; ++i) w.f32(c.points[i]);
    for (int i = 0; i < kCurveSlots; ++i) w.f32(c.samples[i]);
    w.i32(c.range);
    w.i32(c.kind);
}

}  // namespace

bool hasParametersSignature(const uint8_t* bytes, size_t size) {
    ByteReader r(bytes, size);
    return r.u32() == kParametersSignature && r.ok();
}

bool readFilterParameters(const uint8_t* b, size_t size, FilterParameters& out) {
    if (!b || size < kFilterParametersSize) return false;
    ByteReader r(b, kFilterParametersSize);
    out.signature = r.u32();
    out.showDialog = r.u8();
    out.showResult = r.u8();
    for (uint16_t& c : out.overlayColor) c = r.u16();
    out.operation = Operation(r.i32());
    out.amount = r.i32();
    out.colorSpace = ColorSpace(r.i32());
    out.imageClass = ImageClass(r.i32());
    for (int32_t& e : out.channelEnabled) e = r.i32();
    out.selectionSource = SelectionSource(r.i32());
    out.opacity = r.i32();
    out.contractExpand = r.i32();
    out.falloff = r.i32();
    readCurve(r, out.curves.hue);
    readCurve(r, out.curves.saturation);
    readCurve(r, out.curves.intensity);
    for (int32_t& f : out.sampleFlags) f = r.i32();
    return r.ok() && r.position() == kFilterParametersSize;
}

bool writeFilterParameters(const FilterParameters& in, uint8_t* b, size_t size) {
    if (!b || size < kFilterParametersSize) return false;
    ByteWriter w(b, kFilterParametersSize);
    w.u32(in.signature);
    w.u8(in.showDialog);
    w.u8(in.showResult);
    for (uint16_t c : in.overlayColor) w.u16(c);
    w.i32(int32_t(in.operation));
    w.i32(in.amount);
    w.i32(int32_t(in.colorSpace));
    w.i32(int32_t(in.imageClass));
    for (int32_t e : in.channelEnabled) w.i32(e);
    w.i32(int32_t(in.selectionSource));
    w.i32(in.opacity);
    w.i32(in.contractExpand);
    w.i32(in.falloff);
    writeCurve(w, in.curves.hue);
    writeCurve(w, in.curves.saturation);
    writeCurve(w, in.curves.intensity);
    for (int32_t f : in.sampleFlags) w.i32(f);
    return w.ok() && w.position() == kFilterParametersSize;
}

ImageClass imageClassForMode(int16_t imageMode) {
    switch (imageMode) {
        case plugInModeRGBColor:
        case plugInModeRGB48:
            return ImageClass::RGB;
        case plugInModeCMYKColor:
        case plugInModeCMYK64:
            return ImageClass::CMYK;
        default:
            return ImageClass::Unsupported;
    }
}

int planesForClass(ImageClass imageClass) {
    return imageClass == ImageClass::RGB ? 3 : imageClass == ImageClass::CMYK ? 4 : 0;
}

ColorModel colorModelFor(ColorSpace colorSpace, ImageClass imageClass) {
    if (colorSpace == ColorSpace::Hsi) return ColorModel::HSI;
    if (colorSpace == ColorSpace::Yuv) return ColorModel::YUV;
    return ColorModel(imageClass);
}
