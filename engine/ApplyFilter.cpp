#include "engine/ApplyFilter.h"

#include <algorithm>

#include "engine/RegionSteps.h"
#include "engine/RunPlan.h"
#include "engine/TileBuffers.h"
#include "imageops/Mask.h"
#include "imageops/MirrorPad.h"
#include "imageops/PixelTransfer.h"

namespace {

void clearRequests(FilterRecord& record) {
    record.inRect = Rect{0, 0, 0, 0};
    record.outRect = Rect{0, 0, 0, 0};
    record.maskRect = Rect{0, 0, 0, 0};
}

// Bounding box of the non-zero selection inside filterRect, asking the host
// for the mask alone. False when the host cannot deliver it.
bool selectionBounds(FilterRecord& record, const Rect& filterRect, Rect& bounds) {
    record.inRect = Rect{0, 0, 0, 0};
    record.outRect = Rect{0, 0, 0, 0};
    record.maskRect = filterRect;
    if (record.advanceState() != noErr || !record.maskData) return false;
    const uint8_t* mask = static_cast<const uint8_t*>(record.maskData);
    const int32_t rows = filterRect.bottom - filterRect.top;
    const int32_t cols = filterRect.right - filterRect.left;
    const int32_t stride = record.maskRowBytes;
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

// Asks the host for the tile with its margin (and the selection around it).
// Hosts may move inData, outData and maskData on every call: they are read
// from the record after each one and never kept across calls.
int16 requestTile(FilterRecord& record, const RunPlan& plan, const TilePlacement& t) {
    record.inRect = t.fetched;
    record.outRect = t.tile;
    record.maskRect = record.haveMask ? t.fetched : Rect{0, 0, 0, 0};
    record.inLoPlane = record.outLoPlane = 0;
    record.inHiPlane = record.outHiPlane = int16(plan.planes - 1);
    const OSErr err = record.advanceState();
    if (err != noErr) return err;
    if (!record.inData || !record.outData) return filterBadParameters;
    return noErr;
}

// The working model's forms of the imported tile: the HSI form for the
// selection, and the HSI or YUV input of the operation.
void convertTile(RunContext& run, const RunPlan& plan, const TilePlacement& t, TileBuffers& b) {
    const ColorModel model = plan.operation.model;
    // The HSI form of the mirrored RGB tile equals the mirrored HSI form of
    // the fetched pixels, pixel by pixel; the selection reads it from the
    // model's input, or makes its own from the RGB tile as it goes.
    if (plan.tileHsi) mirrorPad(b.hsiTile, HsiChannels, t.fetchedWidth, t.fetchedHeight, t.missing);
    if (model == ColorModel::HSI && plan.imageClass == ImageClass::RGB)
        rgbBufferToHsi(b.modelIn, b.inputTile, run.threads(), &run.workers());
    else if (model == ColorModel::HSI)
        cmykBufferToHsi(run, b.modelIn, b.inputTile);
    else if (model == ColorModel::YUV && plan.imageClass == ImageClass::RGB)
        rgbBufferToYuv(b.modelIn, b.inputTile);
    else if (model == ColorModel::YUV)
        cmykBufferToYuv(run, b.modelIn, b.inputTile);
}

// The host's pixels of a request: width x rows of the image's class and depth.
HostPixels hostPixels(const RunPlan& plan, void* base, int32_t rowBytes, int32_t width, int32_t rows) {
    HostPixels p;
    p.base = base;
    p.rowBytes = rowBytes;
    p.width = width;
    p.rows = rows;
    p.imageClass = plan.imageClass;
    p.depth = plan.depth;
    return p;
}

// The fetched pixels and selection into the working buffers at the missing
// margins' offset, the margins mirrored, and the model's forms made.
int16 importTile(RunContext& run, const FilterRecord& record, const RunPlan& plan, const TilePlacement& t,
                 TileBuffers& b) {
    const bool rgb = plan.imageClass == ImageClass::RGB;
    const HostPixels in = hostPixels(plan, record.inData, record.inRowBytes, t.fetchedWidth, t.fetchedHeight);
    const Rect16 fetched{0, 0, int16_t(t.fetchedHeight), int16_t(t.fetchedWidth)};
    const Point16 at{int16_t(t.missing.top), int16_t(t.missing.left)};
    // A CMYK tile's HSI form goes through the host's colour conversion once
    // per pixel, straight from the fetched samples.
    if (!rgb && !importPixels(run, BufferContent::HSI, in, fetched, b.hsiTile, at)) return filterBadParameters;
    if (!b.masks.host.data) {
        // No selection from the host: nothing to weigh the result by.
    } else if (record.haveMask && record.maskData) {
        HostPixels mask = in;
        mask.base = record.maskData;
        mask.rowBytes = record.maskRowBytes;
        mask.imageClass = ImageClass::Mask;
        mask.depth = 8;
        importPixels(run, BufferContent::Mask, mask, fetched, b.masks.host, at);
    } else {
        std::fill(b.masks.host.data, b.masks.host.data + size_t(b.masks.host.width) * size_t(b.masks.host.height),
                  65535);
    }
    if (!importPixels(run, rgb ? BufferContent::RGB : BufferContent::CMYK, in, fetched, b.inputTile, at))
        return filterBadParameters;
    mirrorPad(b.inputTile, rgb ? RgbChannels : CmykChannels, t.fetchedWidth, t.fetchedHeight, t.missing);
    convertTile(run, plan, t, b);
    return noErr;
}

// The tile's result from the working model into the host's output.
bool exportTile(RunContext& run, const FilterRecord& record, const RunPlan& plan, const TilePlacement& t,
                TileBuffers& b) {
    const bool rgb = plan.imageClass == ImageClass::RGB;
    const HostPixels out =
        hostPixels(plan, record.outData, record.outRowBytes, t.tile.right - t.tile.left, t.tile.bottom - t.tile.top);
    const Rect16 result{t.topLeft.v, t.topLeft.h, t.bottomRight.v, t.bottomRight.h};
    const ColorModel model = plan.operation.model;
    if (model == ColorModel::HSI) return exportPixels(run, BufferContent::HSI, b.modelOut, result, out, Point16{});
    if (model == ColorModel::YUV)
        rgb ? yuvBufferToRgb(b.outputTile, b.modelOut) : yuvBufferToCmyk(run, b.outputTile, b.modelOut);
    return exportPixels(run, rgb ? BufferContent::RGB : BufferContent::CMYK, b.outputTile, result, out, Point16{});
}

// One tile up to its final selection: request, import and convert, shape.
int16 selectTile(RunContext& run, FilterRecord& record, const RunPlan& plan, const CurveSet& curves,
                 const TilePlacement& t, TileBuffers& b) {
    int16 err = requestTile(record, plan, t);
    if (err == noErr) err = importTile(run, record, plan, t, b);
    if (err != noErr) return err;
    // The mask filters fail only when their memory cannot be had; the run
    // must not go on with a selection they did not shape.
    bool shaped;
    if (!plan.tileHsi && plan.operation.model != ColorModel::HSI)
        shaped = buildCurveMaskFromRgb(b.masks.selection, b.inputTile, curves, Point16{0, 0}, t.usedEnd,
                                       plan.operation.hueMatters, run.threads(), &run.workers()) &&
                 shapeCurveWeights(run, plan.operation, t.topLeft, t.bottomRight, b.masks);
    else
        shaped = shapeSelection(run, plan.operation, curves, plan.tileHsi ? b.hsiTile : b.modelIn, t.usedEnd, t.topLeft,
                                t.bottomRight, b.masks);
    return shaped ? noErr : memFullErr;
}

// One tile: its selection, then operate and export.
int16 runTile(RunContext& run, FilterRecord& record, const RunPlan& plan, const CurveSet& curves,
              const TilePlacement& t, TileBuffers& b) {
    const int16 err = selectTile(run, record, plan, curves, t, b);
    if (err != noErr) return err;
    if (!operateOnRegion(run, plan.operation, b.soften, b.source(), b.destination(), b.masks.selection, t.topLeft,
                         t.bottomRight))
        return run.progress().aborted ? userCanceledErr : filterBadParameters;
    return exportTile(run, record, plan, t, b) ? noErr : filterBadParameters;
}

// The tile's final selection into selection (the filter rectangle's size).
void keepSelection(const RunPlan& plan, const TilePlacement& t, const TileBuffers& b,
                   std::vector<uint16_t>& selection) {
    const int32_t width = plan.filterRect.right - plan.filterRect.left;
    const ImageBuffer& mask = b.masks.selection;
    for (int32_t y = t.topLeft.v; y < t.bottomRight.v; ++y) {
        const uint16_t* from = mask.data + size_t(y) * size_t(mask.width) + t.topLeft.h;
        const int32_t row = t.tile.top - plan.filterRect.top + (y - t.topLeft.v);
        std::copy(
            from, from + (t.bottomRight.h - t.topLeft.h),
            selection.begin() + ptrdiff_t(size_t(row) * size_t(width) + size_t(t.tile.left - plan.filterRect.left)));
    }
}

// The work area: the filter rectangle, or the bounds of the host's selection
// inside it when the host has one and can deliver it.
Rect workArea(FilterRecord& record, const RunPlan& plan) {
    Rect work = plan.filterRect;
    if (record.haveMask && !emptyRect(plan.filterRect)) {
        Rect bounds;
        if (selectionBounds(record, plan.filterRect, bounds)) work = bounds;
    }
    return work;
}

}  // namespace

namespace {

// The driver: plans the run, then calls tileStep on every tile in order.
template <typename TileStep>
int16 driveTiles(RunContext& run, FilterParameters& params, RunPlan& plan, bool operate, TileStep tileStep) {
    FilterRecord* record = run.record();
    if (!record) return filterBadParameters;
    params.curves.evaluateAll();
    const int16 refused = checkRecord(*record);
    if (refused != noErr) return refused;
    run.progress().aborted = false;
    record->inputRate = 0x10000;
    record->maskRate = 0x10000;

    if (!planImage(*record, plan)) return filterBadParameters;
    const Rect work = workArea(*record, plan);
    if (emptyRect(work)) {
        clearRequests(*record);
        return noErr;
    }
    if (!planTiles(*record, params, work, plan)) return filterBadParameters;

    TileBuffers buffers;
    if (!buffers.allocate(run, plan)) return memFullErr;
    const bool tables = operate && prepareSoftenTables(run, buffers.soften, plan.operation.operationSize);
    if (operate && !tables && plan.operation.operation == Operation::Soften) return memFullErr;
    run.progress().total = uint32_t(work.right - work.left) * uint32_t(work.bottom - work.top);
    run.progress().done = 0;

    for (int32_t row = 0; row < plan.tileRows; ++row)
        for (int32_t col = 0; col < plan.tileCols; ++col) {
            const int16 err = tileStep(*record, placeTile(plan, row, col), buffers);
            if (err != noErr) return err;
        }

    releaseSoftenTables(buffers.soften);
    if (record->progressProc) record->progressProc(100, 100);
    clearRequests(*record);
    return noErr;
}

}  // namespace

int16 applyFilter(RunContext& run, FilterParameters& params) {
    RunPlan plan;
    return driveTiles(run, params, plan, true, [&](FilterRecord& record, const TilePlacement& t, TileBuffers& b) {
        return runTile(run, record, plan, params.curves, t, b);
    });
}

int16 filterSelection(RunContext& run, FilterParameters& params, std::vector<uint16_t>& selection) {
    RunPlan plan;
    selection.clear();
    bool sized = false;
    const auto size = [&] {
        if (sized) return;
        const Rect& f = plan.filterRect;
        selection.assign(size_t(f.right - f.left) * size_t(f.bottom - f.top), 0);
        sized = true;
    };
    const int16 err =
        driveTiles(run, params, plan, false, [&](FilterRecord& record, const TilePlacement& t, TileBuffers& b) {
            size();
            const int16 selected = selectTile(run, record, plan, params.curves, t, b);
            if (selected == noErr) keepSelection(plan, t, b, selection);
            return selected;
        });
    if (err == noErr) size();
    return err;
}
