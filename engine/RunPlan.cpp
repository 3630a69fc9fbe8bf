#include "engine/RunPlan.h"

#include <algorithm>

#include "imageops/Mask.h"

namespace {
Point16 pt(int32_t v, int32_t h) { return Point16{int16_t(v), int16_t(h)}; }
}  // namespace

bool emptyRect(const Rect& r) { return r.bottom <= r.top || r.right <= r.left; }

int16 checkRecord(const FilterRecord& record) {
    const ImageClass imageClass = imageClassForMode(record.imageMode);
    if (imageClass != ImageClass::RGB && imageClass != ImageClass::CMYK) return filterBadMode;
    if (!record.advanceState) return filterBadParameters;
    return noErr;
}

bool planImage(const FilterRecord& record, RunPlan& plan) {
    plan.imageClass = imageClassForMode(record.imageMode);
    plan.hostSelection = record.haveMask != 0;
    plan.tileHsi = plan.imageClass == ImageClass::CMYK;
    plan.planes = planesForClass(plan.imageClass);
    plan.depth = record.depth;
    if (plan.depth != 8 && plan.depth != 16)
        plan.depth = (record.imageMode == plugInModeRGB48 || record.imageMode == plugInModeCMYK64) ? 16 : 8;
    plan.imageWidth = record.imageSize.h;
    plan.imageHeight = record.imageSize.v;
    if (plan.imageWidth <= 0 || plan.imageHeight <= 0) return false;
    const Rect& f = record.filterRect;
    plan.filterRect =
        Rect{int16(std::max<int32_t>(f.top, 0)), int16(std::max<int32_t>(f.left, 0)),
             int16(std::min<int32_t>(f.bottom, plan.imageHeight)), int16(std::min<int32_t>(f.right, plan.imageWidth))};
    return true;
}

bool planTiles(const FilterRecord& record, const FilterParameters& params, const Rect& work, RunPlan& plan) {
    plan.work = work;
    const int32_t workWidth = work.right - work.left, workHeight = work.bottom - work.top;
    // A host that states no tile size (0) gets the whole area at once, in
    // tiles of at most kUnstatedTileSide a side: the working buffers grow
    // with the tile, and must stay bounded on large images (at 512, within
    // the maxSpace the filter states even for plain memory).
    const int32_t tileWidth = record.outTileWidth > 0 ? record.outTileWidth : kUnstatedTileSide;
    const int32_t tileHeight = record.outTileHeight > 0 ? record.outTileHeight : kUnstatedTileSide;
    plan.tileWidth = std::min(tileWidth, workWidth);
    plan.tileHeight = std::min(tileHeight, workHeight);
    plan.operation = planOperation(params, plan.imageClass, baseSize(plan.imageWidth, plan.imageHeight));
    const int32_t r = plan.operation.margin;
    // In range the margin is at most 1.5 % of the shorter side. Only amounts
    // far above 100 make it wider than the image: every tile would then carry
    // mostly mirrored copies in buffers that grow with the margin, whatever
    // the image's size, so such a block is refused before anything is taken.
    if (r > std::min(plan.imageWidth, plan.imageHeight)) return false;
    plan.bufferWidth = plan.tileWidth + 2 * r;
    plan.bufferHeight = plan.tileHeight + 2 * r;
    plan.tileRows = (workHeight + plan.tileHeight - 1) / plan.tileHeight;
    plan.tileCols = (workWidth + plan.tileWidth - 1) / plan.tileWidth;
    return true;
}

TilePlacement placeTile(const RunPlan& plan, int32_t row, int32_t col) {
    const int32_t r = plan.operation.margin;
    const int32_t top = plan.work.top + row * plan.tileHeight;
    const int32_t bottom = std::min(top + plan.tileHeight, int32_t(plan.work.bottom));
    const int32_t left = plan.work.left + col * plan.tileWidth;
    const int32_t right = std::min(left + plan.tileWidth, int32_t(plan.work.right));
    const int32_t padTop = std::max(top - r, 0), padLeft = std::max(left - r, 0);
    const int32_t padBottom = std::min(bottom + r, plan.imageHeight), padRight = std::min(right + r, plan.imageWidth);

    TilePlacement t;
    t.tile = Rect{int16(top), int16(left), int16(bottom), int16(right)};
    t.fetched = Rect{int16(padTop), int16(padLeft), int16(padBottom), int16(padRight)};
    t.missing.top = padTop - (top - r);
    t.missing.left = padLeft - (left - r);
    t.missing.bottom = (bottom + r) - padBottom;
    t.missing.right = (right + r) - padRight;
    t.fetchedWidth = padRight - padLeft;
    t.fetchedHeight = padBottom - padTop;
    t.topLeft = pt(r, r);
    t.bottomRight = pt(r + (bottom - top), r + (right - left));
    t.usedEnd =
        pt(t.missing.top + t.fetchedHeight + t.missing.bottom, t.missing.left + t.fetchedWidth + t.missing.right);
    return t;
}
