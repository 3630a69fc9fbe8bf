#include "engine/ApplyFilter.h"

#include <algorithm>
#include <cmath>

#include "engine/TileMargins.h"
#include "imageops/ImageBuffer.h"
#include "imageops/Mask.h"
#include "imageops/MaskFilters.h"
#include "imageops/ProgressCounters.h"
#include "imageops/Sharpen.h"
#include "imageops/Soften.h"

namespace {

// Every working buffer of one run, released on every way out.
struct RunBuffers {
    ImageBuffer hsiTile, curveMask, shapedMask, hostMask, inputTile, outputTile;
    ImageBuffer hsiIn, hsiOut, yuvIn, yuvOut;
    bool softenTables = false;

    ~RunBuffers() {
        if (softenTables) releaseSoftenTables();
        for (ImageBuffer* b :
             {&hsiTile, &curveMask, &shapedMask, &hostMask, &inputTile, &outputTile, &hsiIn, &hsiOut, &yuvIn, &yuvOut})
            release(*b);
    }
};

bool emptyRect(const Rect& r) { return r.bottom <= r.top || r.right <= r.left; }

void clearRequests(FilterRecord* record) {
    record->inRect = Rect{0, 0, 0, 0};
    record->outRect = Rect{0, 0, 0, 0};
    record->maskRect = Rect{0, 0, 0, 0};
}

// Bounding box of the non-zero selection inside filterRect, asking the host
// for the mask alone. False when the host cannot deliver it.
bool selectionBounds(FilterRecord* record, const Rect& filterRect, Rect& bounds) {
    record->inRect = Rect{0, 0, 0, 0};
    record->outRect = Rect{0, 0, 0, 0};
    record->maskRect = filterRect;
    if (record->advanceState() != noErr || !record->maskData) return false;
    const uint8_t* mask = static_cast<const uint8_t*>(record->maskData);
    const int32_t rows = filterRect.bottom - filterRect.top;
    const int32_t cols = filterRect.right - filterRect.left;
    const int32_t stride = record->maskRowBytes;
    if (stride < cols) return false;
    int32_t top = rows, left = cols, bottom = 0, right = 0;
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* row = mask + size_t(y) * size_t(stride);
        for (int32_t x = 0; x < cols; ++x) {
            if (!row[x]) continue;
            top = std::min(top, y);
            bottom = std::max(bottom, y + 1);
            left = std::min(left, x);
            right = std::max(right, x + 1);
        }
    }
    if (bottom <= top) {
        bounds = Rect{0, 0, 0, 0};
        return true;
    }
    bounds = Rect{int16(filterRect.top + top), int16(filterRect.left + left), int16(filterRect.top + bottom),
                  int16(filterRect.left + right)};
    return true;
}

Point16 pt(int32_t v, int32_t h) { return Point16{int16_t(v), int16_t(h)}; }

}  // namespace

int16 applyFilter(FilterRecord* record, FilterParameters& params) {
    if (!record) return filterBadParameters;
    params.curves.evaluateAll();
    const double falloffFactor = params.falloff * 0.01;
    const ImageClass imageClass = imageClassForMode(record->imageMode);
    if (imageClass != ImageClassRGB && imageClass != ImageClassCMYK) return filterBadMode;

    progressCounters.aborted = 0;
    const int32_t hostTileWidth = record->outTileWidth;
    const int32_t hostTileHeight = record->outTileHeight;
    if (hostTileWidth <= 0 || hostTileHeight <= 0) return filterBadParameters;
    if (!record->advanceState) return filterBadParameters;

    const ColorModel model = colorModelFor(params.colorSpace, imageClass);
    const int planes = planesForClass(imageClass);
    int depth = record->depth;
    if (depth != 8 && depth != 16)
        depth = (record->imageMode == plugInModeRGB48 || record->imageMode == plugInModeCMYK64) ? 16 : 8;
    record->inputRate = 0x10000;
    record->maskRate = 0x10000;

    const int32_t imageWidth = record->imageSize.h;
    const int32_t imageHeight = record->imageSize.v;
    if (imageWidth <= 0 || imageHeight <= 0) return filterBadParameters;

    // The filter rectangle, kept inside the image.
    Rect filterRect = record->filterRect;
    filterRect.top = int16(std::max<int32_t>(filterRect.top, 0));
    filterRect.left = int16(std::max<int32_t>(filterRect.left, 0));
    filterRect.bottom = int16(std::min<int32_t>(filterRect.bottom, imageHeight));
    filterRect.right = int16(std::min<int32_t>(filterRect.right, imageWidth));
    Rect work = filterRect;
    if (record->haveMask && !emptyRect(filterRect)) {
        Rect bounds;
        if (selectionBounds(record, filterRect, bounds)) work = bounds;
    }
    if (emptyRect(work)) {
        clearRequests(record);
        return noErr;
    }
    const int32_t workWidth = work.right - work.left;
    const int32_t workHeight = work.bottom - work.top;
    const int32_t tileWidth = std::min(hostTileWidth, workWidth);
    const int32_t tileHeight = std::min(hostTileHeight, workHeight);

    const double base = baseSize(imageWidth, imageHeight);
    const bool soften = params.operation == 2;
    const double operationSize = soften ? base * params.amount * 0.01 : base * 0.33;
    double marginReal = std::trunc(std::ceil(operationSize * 0.5) + 0.1);
    // Out-of-range amounts: no negative margin, and one the buffer arithmetic
    // can hold (the allocation then fails as out of memory).
    if (!(marginReal > 0)) marginReal = 0;
    const int32_t r = int32_t(std::min(marginReal, 16383.0));
    // In range the margin is at most 1.5 % of the shorter side. Only amounts
    // far above 100 make it wider than the image: every tile would then carry
    // mostly mirrored copies in buffers that grow with the margin, whatever
    // the image's size, so such a block is refused before anything is taken.
    if (r > std::min(imageWidth, imageHeight)) return filterBadParameters;
    const double sharpenStrength = params.amount * 0.01;
    const double contractExpandSize = std::fabs(double(params.contractExpand)) * base * 0.00533;

    RunBuffers b;
    const int32_t bufferWidth = tileWidth + 2 * r;
    const int32_t bufferHeight = tileHeight + 2 * r;
    const bool inputIsRgb = imageClass == ImageClassRGB;
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

    const int32_t tileRows = (workHeight + tileHeight - 1) / tileHeight;
    const int32_t tileCols = (workWidth + tileWidth - 1) / tileWidth;
    b.softenTables = true;
    if (!prepareSoftenTables(operationSize) && soften) return memFullErr;
    progressCounters.total = uint32_t(workWidth) * uint32_t(workHeight);
    progressCounters.done = 0;

    // A flat hue curve weighs every hue alike: the selection then needs no hue.
    const bool hueMatters = !std::all_of(params.curves.hue.samples, params.curves.hue.samples + kCurveSlots,
                                         [&](float v) { return v == params.curves.hue.samples[0]; });

    uint8_t flags[4] = {0, 0, 0, 0};
    switch (model) {
        case ColorModelCMYK:
            for (int i = 0; i < 4; ++i) flags[i] = params.channelEnabled[i] != 0;
            break;
        case ColorModelYUV:
            flags[0] = params.channelEnabled[0] != 0;
            flags[1] = flags[2] = params.channelEnabled[1] != 0;
            break;
        default:
            for (int i = 0; i < 3; ++i) flags[i] = params.channelEnabled[i] != 0;
            break;
    }

    for (int32_t row = 0; row < tileRows; ++row) {
        for (int32_t col = 0; col < tileCols; ++col) {
            const int32_t top = work.top + row * tileHeight;
            const int32_t bottom = std::min(top + tileHeight, int32_t(work.bottom));
            const int32_t left = work.left + col * tileWidth;
            const int32_t right = std::min(left + tileWidth, int32_t(work.right));

            const int32_t padTop = std::max(top - r, 0), padLeft = std::max(left - r, 0);
            const int32_t padBottom = std::min(bottom + r, imageHeight), padRight = std::min(right + r, imageWidth);
            MissingMargins missing;
            missing.top = padTop - (top - r);
            missing.left = padLeft - (left - r);
            missing.bottom = (bottom + r) - padBottom;
            missing.right = (right + r) - padRight;

            const Rect padded{int16(padTop), int16(padLeft), int16(padBottom), int16(padRight)};
            record->inRect = padded;
            record->outRect = Rect{int16(top), int16(left), int16(bottom), int16(right)};
            record->maskRect = record->haveMask ? padded : Rect{0, 0, 0, 0};
            record->inLoPlane = record->outLoPlane = 0;
            record->inHiPlane = record->outHiPlane = int16(planes - 1);
            const OSErr err = record->advanceState();
            if (err != noErr) return err;
            if (!record->inData || !record->outData) return filterBadParameters;

            const int32_t fetchedWidth = padRight - padLeft;
            const int32_t fetchedHeight = padBottom - padTop;
            const Point16 origin = pt(0, 0);
            const Point16 fetchedEnd = pt(fetchedHeight, fetchedWidth);
            // A CMYK tile's HSI form goes through the host's colour conversion
            // once per pixel, straight from the fetched samples.
            if (!inputIsRgb && !importHsiPixels(b.hsiTile, record->inData, fetchedHeight, origin, fetchedEnd,
                                                imageClass, depth, record->inRowBytes, 0, missing.left, missing.top, 0))
                return filterBadParameters;
            if (record->haveMask && record->maskData) {
                importMaskPixels(b.hostMask, record->maskData, fetchedHeight, origin, fetchedEnd, ImageClassMask, 8,
                                 record->maskRowBytes, 0, missing.left, missing.top, 0);
            } else {
                std::fill(b.hostMask.data, b.hostMask.data + size_t(bufferWidth) * size_t(bufferHeight), 65535);
            }
            const bool imported =
                inputIsRgb ? importRgbPixels(b.inputTile, record->inData, fetchedHeight, origin, fetchedEnd, imageClass,
                                             depth, record->inRowBytes, 0, missing.left, missing.top, 0)
                           : importCmykPixels(b.inputTile, record->inData, fetchedHeight, origin, fetchedEnd,
                                              imageClass, depth, record->inRowBytes, 0, missing.left, missing.top, 0);
            if (!imported) return filterBadParameters;
            mirrorTileMargins(b.inputTile, inputIsRgb ? RgbChannels : CmykChannels, fetchedWidth, fetchedHeight,
                              missing);
            if (inputIsRgb) {
                // The HSI form of the mirrored RGB tile equals the mirrored HSI
                // form of the fetched pixels, pixel by pixel.
                if (model == ColorModelHSI || hueMatters)
                    rgbBufferToHsi(b.hsiTile, b.inputTile);
                else
                    rgbBufferToHsiWithoutHue(b.hsiTile, b.inputTile);
            } else {
                mirrorTileMargins(b.hsiTile, HsiChannels, fetchedWidth, fetchedHeight, missing);
            }

            if (model == ColorModelHSI && inputIsRgb)
                std::copy(b.hsiTile.data, b.hsiTile.data + size_t(bufferWidth) * bufferHeight * HsiChannels,
                          b.hsiIn.data);
            else if (model == ColorModelHSI)
                cmykBufferToHsi(b.hsiIn, b.inputTile);
            else if (model == ColorModelYUV)
                inputIsRgb ? rgbBufferToYuv(b.yuvIn, b.inputTile) : cmykBufferToYuv(b.yuvIn, b.inputTile);

            // The selection of this tile.
            const Point16 tileTopLeft = pt(r, r);
            const Point16 tileBottomRight = pt(r + (bottom - top), r + (right - left));
            const Point16 paddedEnd =
                pt(missing.top + fetchedHeight + missing.bottom, missing.left + fetchedWidth + missing.right);
            buildCurveMask(b.curveMask, b.hsiTile, params.curves, origin, paddedEnd);
            // The mask filters fail only when their memory cannot be had; the
            // run must not go on with a selection they did not shape.
            bool shaped = true;
            if (params.selectionSource == 1)
                copyMask(b.shapedMask, b.curveMask);
            else
                shaped = edgeMask(b.curveMask, b.shapedMask, tileTopLeft, tileBottomRight);
            if (params.opacity != 100) scaleMask(b.shapedMask, params.opacity * 0.01);
            if (params.contractExpand > 0)
                shaped = shaped && expandMask(b.shapedMask, b.curveMask, tileTopLeft, tileBottomRight,
                                              contractExpandSize, falloffFactor);
            else if (params.contractExpand < 0)
                shaped = shaped && contractMask(b.shapedMask, b.curveMask, tileTopLeft, tileBottomRight,
                                                contractExpandSize, falloffFactor);
            else
                copyMask(b.curveMask, b.shapedMask);
            if (!shaped) return memFullErr;
            multiplyMask(b.curveMask, b.hostMask);

            const ImageBuffer* source = &b.inputTile;
            ImageBuffer* destination = &b.outputTile;
            if (model == ColorModelHSI) {
                source = &b.hsiIn;
                destination = &b.hsiOut;
            } else if (model == ColorModelYUV) {
                source = &b.yuvIn;
                destination = &b.yuvOut;
            }
            const bool done = soften ? softenRegion(*source, *destination, b.curveMask, model, flags, tileTopLeft,
                                                    tileBottomRight, operationSize, ProgressHost)
                                     : sharpenRegion(*source, *destination, b.curveMask, model, flags, tileTopLeft,
                                                     tileBottomRight, operationSize, sharpenStrength, ProgressHost);
            if (!done) return progressCounters.aborted ? userCanceledErr : filterBadParameters;

            const int32_t outWidth = right - left, outHeight = bottom - top;
            bool exported;
            if (model == ColorModelHSI) {
                exported = exportHsiPixels(b.hsiOut, record->outData, outWidth, outHeight, imageClass, depth,
                                           record->outRowBytes, 0, 0, 0, tileTopLeft, tileBottomRight);
            } else {
                if (model == ColorModelYUV)
                    inputIsRgb ? yuvBufferToRgb(b.outputTile, b.yuvOut) : yuvBufferToCmyk(b.outputTile, b.yuvOut);
                exported = inputIsRgb
                               ? exportRgbPixels(b.outputTile, record->outData, outWidth, outHeight, imageClass, depth,
                                                 record->outRowBytes, 0, 0, 0, tileTopLeft, tileBottomRight)
                               : exportCmykPixels(b.outputTile, record->outData, outWidth, outHeight, imageClass, depth,
                                                  record->outRowBytes, 0, 0, 0, tileTopLeft, tileBottomRight);
            }
            if (!exported) return filterBadParameters;
        }
    }

    releaseSoftenTables();
    b.softenTables = false;
    if (record->progressProc) record->progressProc(100, 100);
    clearRequests(record);
    return noErr;
}
