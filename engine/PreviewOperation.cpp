// The apply driver's selection and operation steps on one region of the
// preview: the region with a mirrored margin in the same working buffers a
// tile uses, then shapeSelection and operateOnRegion.
#include "engine/PreviewOperation.h"

#include <algorithm>
#include <cstring>

#include "engine/RegionSteps.h"
#include "engine/RunPlan.h"
#include "engine/TileBuffers.h"
#include "imageops/ColorModel.h"
#include "imageops/MirrorPad.h"
#include "imageops/PixelTransfer.h"

HostPixels planarPixels(const PreviewPlanes& planes) {
    HostPixels p;
    p.base = planes.data;
    p.rowBytes = planes.width;
    p.width = planes.width;
    p.rows = planes.height;
    p.imageClass = planes.imageClass;
    p.depth = 8;
    p.planar = planes.imageClass != ImageClass::Mask;
    return p;
}

namespace {

// Bounding box of the non-zero selection inside rect, grown by margin and
// kept inside rect; empty when nothing is selected.
VRect selectedRegion(const PreviewPlanes* mask, const VRect& rect, int32_t margin) {
    if (!mask) return rect;
    int32_t top = rect.bottom, left = rect.right, bottom = rect.top, right = rect.left;
    for (int32_t y = rect.top; y < rect.bottom; ++y) {
        const uint8_t* row = mask->data + size_t(y) * size_t(mask->width);
        for (int32_t x = rect.left; x < rect.right; ++x) {
            if (!row[x]) continue;
            top = std::min(top, y);
            bottom = std::max(bottom, y + 1);
            left = std::min(left, x);
            right = std::max(right, x + 1);
        }
    }
    if (bottom <= top) return VRect{0, 0, 0, 0};
    return VRect{std::max(top - margin, rect.top), std::max(left - margin, rect.left),
                 std::min(bottom + margin, rect.bottom), std::min(right + margin, rect.right)};
}

void copyRect(const PreviewPlanes& source, PreviewPlanes& result, const VRect& rect) {
    for (int p = 0; p < source.planes; ++p)
        for (int32_t y = rect.top; y < rect.bottom; ++y)
            std::memcpy(result.plane(p) + size_t(y) * size_t(result.width) + size_t(rect.left),
                        source.plane(p) + size_t(y) * size_t(source.width) + size_t(rect.left),
                        size_t(rect.right - rect.left));
}

Rect16 rect16(const VRect& r) { return Rect16{int16_t(r.top), int16_t(r.left), int16_t(r.bottom), int16_t(r.right)}; }

// The region with a mirrored margin r in the buffers, as the driver builds a
// tile: the image, the host's selection, the HSI form, the model's input.
bool importRegion(RunContext& run, const RunPlan& plan, const PreviewPlanes& source, const PreviewPlanes* mask,
                  const ImageBuffer& hsi, const VRect& region, PreviewControls* view, TileBuffers& b) {
    const int32_t r = plan.operation.margin;
    const int32_t width = region.right - region.left, height = region.bottom - region.top;
    const Point16 at{int16_t(r), int16_t(r)};
    const bool rgb = plan.imageClass == ImageClass::RGB;
    if (!importPixels(run, rgb ? BufferContent::RGB : BufferContent::CMYK, planarPixels(source), rect16(region),
                      b.inputTile, at))
        return false;
    if (mask)
        importPixels(run, BufferContent::Mask, planarPixels(*mask), rect16(region), b.masks.host, at);
    else
        std::fill(b.masks.host.data, b.masks.host.data + size_t(b.masks.host.width) * size_t(b.masks.host.height),
                  65535);
    copyHsiRect(b.hsiTile, hsi, region.left, region.top, width, height, r, r);
    const MissingMargins missing{r, r, r, r};
    mirrorPad(b.inputTile, rgb ? RgbChannels : CmykChannels, width, height, missing);
    mirrorPad(b.hsiTile, HsiChannels, width, height, missing);

    const ColorModel model = plan.operation.model;
    if (model == ColorModel::HSI && rgb) {
        std::copy(b.hsiTile.data, b.hsiTile.data + size_t(b.hsiTile.width) * b.hsiTile.height * HsiChannels,
                  b.modelIn.data);
    } else if (model == ColorModel::HSI) {
        cmykBufferToHsi(run, b.modelIn, b.inputTile);
    } else if (model == ColorModel::YUV && rgb) {
        rgbBufferToYuv(b.modelIn, b.inputTile);
    } else if (model == ColorModel::YUV) {
        // Through the host's colour conversion, pixel by pixel.
        if (view) view->setStatusText("Converting data...");
        cmykBufferToYuv(run, b.modelIn, b.inputTile);
        if (view) view->setStatusText("");
    }
    return true;
}

// The operated region from the working model into result at the region's place.
bool exportRegion(RunContext& run, const RunPlan& plan, const VRect& region, PreviewControls* view, TileBuffers& b,
                  PreviewPlanes& result) {
    const int32_t r = plan.operation.margin;
    const Rect16 operated{int16_t(r), int16_t(r), int16_t(r + region.bottom - region.top),
                          int16_t(r + region.right - region.left)};
    const Point16 at{int16_t(region.top), int16_t(region.left)};
    const HostPixels out = planarPixels(result);
    const bool rgb = plan.imageClass == ImageClass::RGB;
    const ColorModel model = plan.operation.model;
    if (model == ColorModel::HSI) {
        if (view && !rgb) view->setStatusText("Converting data...");
        const bool exported = exportPixels(run, BufferContent::HSI, b.modelOut, operated, out, at);
        if (view && !rgb) view->setStatusText("");
        return exported;
    }
    if (model == ColorModel::YUV)
        rgb ? yuvBufferToRgb(b.outputTile, b.modelOut) : yuvBufferToCmyk(run, b.outputTile, b.modelOut);
    return exportPixels(run, rgb ? BufferContent::RGB : BufferContent::CMYK, b.outputTile, operated, out, at);
}

// Tints the region of result: the source pixel blended with the overlay
// colour by the final selection (at (margin, margin) in selection).
void overlaySelection(RunContext& run, const FilterParameters& block, const PreviewPlanes& source,
                      PreviewPlanes& result, const VRect& region, const ImageBuffer& selection, int32_t margin) {
    double colour[4];
    overlayColour(run, block, source.imageClass, 8, colour);
    for (int32_t y = region.top; y < region.bottom; ++y) {
        const uint16_t* m = selection.data + size_t(y - region.top + margin) * size_t(selection.width) + margin;
        for (int p = 0; p < source.planes; ++p) {
            const uint8_t* in = source.plane(p) + size_t(y) * size_t(source.width) + region.left;
            uint8_t* out = result.plane(p) + size_t(y) * size_t(result.width) + region.left;
            for (int32_t i = 0; i < region.right - region.left; ++i)
                out[i] = uint8_t(overlaySample(in[i], colour[p], m[i]));
        }
    }
}

bool fits(const PreviewPlanes& source, const PreviewPlanes& result, const PreviewPlanes* mask, const ImageBuffer& hsi,
          const VRect& rect) {
    const bool sameSize = result.width == source.width && result.height == source.height;
    const bool maskFits = !mask || (mask->data && mask->width == source.width && mask->height == source.height);
    return source.data && result.data && hsi.data && sameSize && maskFits && rect.right > rect.left &&
           rect.bottom > rect.top && hsi.width >= rect.right && hsi.height >= rect.bottom && rect.top >= 0 &&
           rect.left >= 0 && rect.right <= source.width && rect.bottom <= source.height;
}

}  // namespace

bool overlayColour(RunContext& run, const FilterParameters& block, ImageClass imageClass, int depth, double colour[4]) {
    for (int p = 0; p < 4; ++p) colour[p] = 0;
    if (depth == 16) {
        // The host's 16-bit units, through the transfer every tile takes.
        ImageBuffer pixel;
        if (!pixel.allocate(run, 1, 1, RgbChannels)) return false;
        std::copy(block.overlayColor, block.overlayColor + 3, pixel.data);
        uint16_t samples[4] = {0, 0, 0, 0};
        HostPixels out;
        out.base = samples;
        out.rowBytes = sizeof samples;
        out.width = out.rows = 1;
        out.imageClass = imageClass;
        out.depth = 16;
        if (!exportPixels(run, BufferContent::RGB, pixel, Rect16{0, 0, 1, 1}, out, Point16{})) return false;
        for (int p = 0; p < 4; ++p) colour[p] = samples[p];
    } else if (imageClass == ImageClass::CMYK) {
        uint16_t ink[4] = {0, 0, 0, 0};
        rgbToCmyk(run, block.overlayColor, ink);
        for (int p = 0; p < 4; ++p) colour[p] = 255 - to8Bit(ink[p]);
    } else {
        for (int p = 0; p < 3; ++p) colour[p] = to8Bit(block.overlayColor[p]);
    }
    return true;
}

int32_t overlaySample(double sample, double colour, uint16_t weight) {
    const double w = weight / 65535.0;
    return int32_t(roundHalfAway((1 - w) * sample + w * colour));
}

int16 previewOperation(RunContext& run, const FilterParameters& block, const PreviewPlanes& source,
                       PreviewPlanes& result, const PreviewPlanes* mask, const ImageBuffer& hsi, const VRect& rect,
                       double scale, PreviewControls* view) {
    const ImageClass imageClass = source.imageClass;
    if (imageClass != ImageClass::RGB && imageClass != ImageClass::CMYK) return filterBadParameters;
    if (!fits(source, result, mask, hsi, rect)) return filterBadParameters;
    const int32_t shorter = std::min(rect.right - rect.left, rect.bottom - rect.top);

    RunPlan plan;
    plan.imageClass = imageClass;
    plan.planes = planesForClass(imageClass);
    plan.operation = planOperation(block, imageClass, shorter * scale * 0.03);
    const int32_t r = plan.operation.margin;
    if (r > shorter) return filterBadParameters;

    copyRect(source, result, rect);
    result.imageClass = imageClass;
    const VRect region = selectedRegion(mask, rect, r);
    const int32_t width = region.right - region.left, height = region.bottom - region.top;
    if (width <= 0 || height <= 0) return noErr;

    plan.bufferWidth = width + 2 * r;
    plan.bufferHeight = height + 2 * r;
    TileBuffers b;
    if (!b.allocate(run, plan)) return memFullErr;
    const bool soften = plan.operation.operation == Operation::Soften;
    if (soften && !prepareSoftenTables(run, b.soften, plan.operation.operationSize)) return memFullErr;
    if (!importRegion(run, plan, source, mask, hsi, region, view, b)) return filterBadParameters;

    const Point16 topLeft{int16_t(r), int16_t(r)};
    const Point16 bottomRight{int16_t(r + height), int16_t(r + width)};
    const Point16 usedEnd{int16_t(plan.bufferHeight), int16_t(plan.bufferWidth)};
    if (!shapeSelection(run, plan.operation, block.curves, b.hsiTile, usedEnd, topLeft, bottomRight, b.masks))
        return memFullErr;

    if (view) view->setStatusText("Rendering...");
    run.progress() = ProgressCounters{0, uint32_t(width) * uint32_t(height), false};
    const bool done = operateOnRegion(run, plan.operation, b.soften, b.source(), b.destination(), b.masks.selection,
                                      topLeft, bottomRight);
    if (view) view->setStatusText("");
    if (!done || !exportRegion(run, plan, region, view, b, result)) return filterBadParameters;
    if (block.showResult == 0) overlaySelection(run, block, source, result, region, b.masks.selection, r);
    return noErr;
}
