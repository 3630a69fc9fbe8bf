// The apply driver's selection and operation on one region of the preview.
#include "engine/PreviewOperation.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/TileMargins.h"
#include "imageops/ColorModel.h"
#include "imageops/Mask.h"
#include "imageops/MaskFilters.h"
#include "imageops/ProgressCounters.h"
#include "imageops/Sharpen.h"
#include "imageops/Soften.h"

namespace {

// Every working buffer of one render, released on every way out.
struct RenderBuffers {
    ImageBuffer hsiTile, curveMask, shapedMask, hostMask, inputTile, outputTile;
    ImageBuffer hsiIn, hsiOut, yuvIn, yuvOut;
    bool softenTables = false;

    ~RenderBuffers() {
        if (softenTables) releaseSoftenTables();
        for (ImageBuffer* b :
             {&hsiTile, &curveMask, &shapedMask, &hostMask, &inputTile, &outputTile, &hsiIn, &hsiOut, &yuvIn, &yuvOut})
            release(*b);
    }
};

Point16 pt(int32_t v, int32_t h) { return Point16{int16_t(v), int16_t(h)}; }

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

// Tints the region of result: the source pixel blended with the overlay
// colour by the final selection (at (margin, margin) in selection).
void overlaySelection(const FilterParameters& block, const PreviewPlanes& source, PreviewPlanes& result,
                      const VRect& region, const ImageBuffer& selection, int32_t margin) {
    double colour[4] = {0, 0, 0, 0};
    if (source.imageClass == ImageClassCMYK) {
        uint16_t ink[4] = {0, 0, 0, 0};
        rgbToCmyk(block.overlayColor, ink);
        for (int p = 0; p < 4; ++p) colour[p] = 255 - to8Bit(ink[p]);
    } else {
        for (int p = 0; p < 3; ++p) colour[p] = to8Bit(block.overlayColor[p]);
    }
    for (int32_t y = region.top; y < region.bottom; ++y) {
        const uint16_t* m = selection.data + size_t(y - region.top + margin) * size_t(selection.width) + margin;
        for (int p = 0; p < source.planes; ++p) {
            const uint8_t* in = source.plane(p) + size_t(y) * size_t(source.width) + region.left;
            uint8_t* out = result.plane(p) + size_t(y) * size_t(result.width) + region.left;
            for (int32_t i = 0; i < region.right - region.left; ++i) {
                const double weight = m[i] / 65535.0;
                out[i] = uint8_t(roundHalfAway((1 - weight) * in[i] + weight * colour[p]));
            }
        }
    }
}

}  // namespace

int16 previewOperation(const FilterParameters& block, const PreviewPlanes& source, PreviewPlanes& result,
                       const PreviewPlanes* mask, const ImageBuffer& hsi, const VRect& rect, double scale,
                       PreviewControls* view) {
    const ImageClass imageClass = source.imageClass;
    if (imageClass != ImageClassRGB && imageClass != ImageClassCMYK) return filterBadParameters;
    const int32_t rectWidth = rect.right - rect.left, rectHeight = rect.bottom - rect.top;
    if (!source.data || !result.data || !hsi.data || rectWidth <= 0 || rectHeight <= 0 ||
        result.width != source.width || result.height != source.height || hsi.width < rect.right ||
        hsi.height < rect.bottom || rect.top < 0 || rect.left < 0 || rect.right > source.width ||
        rect.bottom > source.height)
        return filterBadParameters;

    if (mask && (!mask->data || mask->width != source.width || mask->height != source.height))
        return filterBadParameters;

    const ColorModel model = colorModelFor(block.colorSpace, imageClass);
    const bool inputIsRgb = imageClass == ImageClassRGB;
    const double base = std::min(rectWidth, rectHeight) * scale * 0.03;
    const bool soften = block.operation == 2;
    const double operationSize = soften ? base * block.amount * 0.01 : base * 0.33;
    const int32_t r = radiusForSize(operationSize);
    if (r > std::min(rectWidth, rectHeight)) return filterBadParameters;
    const double sharpenStrength = block.amount * 0.01;
    const double contractExpandSize = std::fabs(double(block.contractExpand)) * base * 0.00533;
    const double falloffFactor = block.falloff * 0.01;

    copyRect(source, result, rect);
    result.imageClass = imageClass;
    const VRect region = selectedRegion(mask, rect, r);
    const int32_t width = region.right - region.left, height = region.bottom - region.top;
    if (width <= 0 || height <= 0) return noErr;

    RenderBuffers b;
    const int32_t bufferWidth = width + 2 * r, bufferHeight = height + 2 * r;
    if (!allocateHsi(b.hsiTile, bufferWidth, bufferHeight) || !allocateMask(b.curveMask, bufferWidth, bufferHeight) ||
        !allocateMask(b.shapedMask, bufferWidth, bufferHeight) ||
        !allocateMask(b.hostMask, bufferWidth, bufferHeight) ||
        !(inputIsRgb ? allocateRgb(b.inputTile, bufferWidth, bufferHeight)
                     : allocateCmyk(b.inputTile, bufferWidth, bufferHeight)) ||
        !(inputIsRgb ? allocateRgb(b.outputTile, bufferWidth, bufferHeight)
                     : allocateCmyk(b.outputTile, bufferWidth, bufferHeight)))
        return memFullErr;
    if (model == ColorModelHSI &&
        (!allocateHsi(b.hsiIn, bufferWidth, bufferHeight) || !allocateHsi(b.hsiOut, bufferWidth, bufferHeight)))
        return memFullErr;
    if (model == ColorModelYUV &&
        (!allocateYuv(b.yuvIn, bufferWidth, bufferHeight) || !allocateYuv(b.yuvOut, bufferWidth, bufferHeight)))
        return memFullErr;

    // The region with a mirrored margin, as the driver builds a tile.
    const Point16 regionTopLeft = pt(region.top, region.left), regionEnd = pt(region.bottom, region.right);
    copyHsiRect(b.hsiTile, hsi, region.left, region.top, width, height, r, r);
    if (mask)
        importMaskPixels(b.hostMask, mask->data, mask->height, regionTopLeft, regionEnd, ImageClassMask, 8, mask->width,
                         0, r, r, 0);
    else
        std::fill(b.hostMask.data, b.hostMask.data + size_t(bufferWidth) * size_t(bufferHeight), 65535);
    const bool imported = inputIsRgb ? importRgbPixels(b.inputTile, source.data, source.height, regionTopLeft,
                                                       regionEnd, imageClass, 8, source.width, 1, r, r, 0)
                                     : importCmykPixels(b.inputTile, source.data, source.height, regionTopLeft,
                                                        regionEnd, imageClass, 8, source.width, 1, r, r, 0);
    if (!imported) return filterBadParameters;
    MissingMargins missing;
    missing.left = missing.right = missing.top = missing.bottom = r;
    mirrorTileMargins(b.inputTile, inputIsRgb ? RgbChannels : CmykChannels, width, height, missing);
    mirrorTileMargins(b.hsiTile, HsiChannels, width, height, missing);

    if (model == ColorModelHSI && inputIsRgb)
        std::copy(b.hsiTile.data, b.hsiTile.data + size_t(bufferWidth) * bufferHeight * HsiChannels, b.hsiIn.data);
    else if (model == ColorModelHSI)
        cmykBufferToHsi(b.hsiIn, b.inputTile);
    else if (model == ColorModelYUV && inputIsRgb)
        rgbBufferToYuv(b.yuvIn, b.inputTile);
    else if (model == ColorModelYUV) {
        // Through the host's colour conversion, pixel by pixel.
        if (view) view->setStatusText("Converting data...");
        cmykBufferToYuv(b.yuvIn, b.inputTile);
        if (view) view->setStatusText("");
    }

    // The selection of the region.
    const Point16 origin = pt(0, 0);
    const Point16 tileTopLeft = pt(r, r);
    const Point16 tileBottomRight = pt(r + height, r + width);
    buildCurveMask(b.curveMask, b.hsiTile, block.curves, origin, pt(bufferHeight, bufferWidth));
    bool shaped = true;
    if (block.selectionSource == 1)
        copyMask(b.shapedMask, b.curveMask);
    else
        shaped = edgeMask(b.curveMask, b.shapedMask, tileTopLeft, tileBottomRight);
    if (block.opacity != 100) scaleMask(b.shapedMask, block.opacity * 0.01);
    if (block.contractExpand > 0)
        shaped = shaped &&
                 expandMask(b.shapedMask, b.curveMask, tileTopLeft, tileBottomRight, contractExpandSize, falloffFactor);
    else if (block.contractExpand < 0)
        shaped = shaped && contractMask(b.shapedMask, b.curveMask, tileTopLeft, tileBottomRight, contractExpandSize,
                                        falloffFactor);
    else
        copyMask(b.curveMask, b.shapedMask);
    if (!shaped) return memFullErr;
    multiplyMask(b.curveMask, b.hostMask);

    uint8_t flags[4] = {0, 0, 0, 0};
    switch (model) {
        case ColorModelCMYK:
            for (int i = 0; i < 4; ++i) flags[i] = block.channelEnabled[i] != 0;
            break;
        case ColorModelYUV:
            flags[0] = block.channelEnabled[0] != 0;
            flags[1] = flags[2] = block.channelEnabled[1] != 0;
            break;
        default:
            for (int i = 0; i < 3; ++i) flags[i] = block.channelEnabled[i] != 0;
            break;
    }
    const ImageBuffer* in = &b.inputTile;
    ImageBuffer* out = &b.outputTile;
    if (model == ColorModelHSI) {
        in = &b.hsiIn;
        out = &b.hsiOut;
    } else if (model == ColorModelYUV) {
        in = &b.yuvIn;
        out = &b.yuvOut;
    }
    if (view) view->setStatusText("Rendering...");
    progressCounters.aborted = 0;
    progressCounters.total = uint32_t(width) * uint32_t(height);
    progressCounters.done = 0;
    bool done;
    if (soften) {
        b.softenTables = true;
        done = prepareSoftenTables(operationSize) && softenRegion(*in, *out, b.curveMask, model, flags, tileTopLeft,
                                                                  tileBottomRight, operationSize, ProgressDialog);
    } else {
        done = sharpenRegion(*in, *out, b.curveMask, model, flags, tileTopLeft, tileBottomRight, operationSize,
                             sharpenStrength, ProgressDialog);
    }
    if (view) view->setStatusText("");
    if (!done) return filterBadParameters;

    bool exported;
    if (model == ColorModelHSI) {
        if (view && !inputIsRgb) view->setStatusText("Converting data...");
        exported = exportHsiPixels(b.hsiOut, result.data, result.width, result.height, imageClass, 8, result.width, 1,
                                   region.left, region.top, tileTopLeft, tileBottomRight);
        if (view && !inputIsRgb) view->setStatusText("");
    } else {
        if (model == ColorModelYUV)
            inputIsRgb ? yuvBufferToRgb(b.outputTile, b.yuvOut) : yuvBufferToCmyk(b.outputTile, b.yuvOut);
        exported = inputIsRgb
                       ? exportRgbPixels(b.outputTile, result.data, result.width, result.height, imageClass, 8,
                                         result.width, 1, region.left, region.top, tileTopLeft, tileBottomRight)
                       : exportCmykPixels(b.outputTile, result.data, result.width, result.height, imageClass, 8,
                                          result.width, 1, region.left, region.top, tileTopLeft, tileBottomRight);
    }
    if (!exported) return filterBadParameters;
    if (block.showResult == 0) overlaySelection(block, source, result, region, b.curveMask, r);
    return noErr;
}
