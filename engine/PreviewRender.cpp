// Rendering the fetched preview after an edit, zoomed out or in, and showing
// it through the host.
#include <cstring>

#include "engine/Preview.h"
#include "engine/PreviewOperation.h"
#include "engine/ResamplePlane.h"
#include "imageops/ColorModel.h"
#include "imageops/PixelTransfer.h"
#include "services/Platform.h"

namespace {

// True when a channel box that the block's colour space offers is ticked.
bool anyChannelApplies(const FilterParameters& block) {
    int offered = 3;
    switch (colorModelFor(block.colorSpace, block.imageClass)) {
        case ColorModel::CMYK:
            offered = 4;
            break;
        case ColorModel::YUV:
            offered = 2;
            break;
        default:
            break;
    }
    for (int i = 0; i < offered; ++i)
        if (block.channelEnabled[i]) return true;
    return false;
}

VRect placedRect(const PreviewPlacement& p) { return VRect{p.top, p.left, p.top + p.height, p.left + p.width}; }

// The HSI form of rect of the planes, at (at.v, at.h) in hsi.
bool convertToHsi(Preview& preview, const PreviewPlanes& planes, ImageBuffer& hsi, const VRect& rect, Point16 at) {
    setStatusText(preview, "Converting data...");
    const Rect16 r{int16_t(rect.top), int16_t(rect.left), int16_t(rect.bottom), int16_t(rect.right)};
    const bool converted = importPixels(*preview.run, BufferContent::HSI, planarPixels(planes), r, hsi, at);
    setStatusText(preview, "");
    return converted;
}

// Zoomed in: the operation runs on a 1:1 copy of the placed part, and the
// result is enlarged back into the processed preview. False when the copy's
// memory cannot be had; otherwise result holds the operation's code.
bool renderZoomedIn(Preview& preview, double scale, int16& result) {
    const PreviewPlacement& placement = preview.placement;
    const int32_t width = int32_t(placement.width / preview.zoom);
    const int32_t height = int32_t(placement.height / preview.zoom);
    result = filterBadParameters;
    if (width <= 0 || height <= 0) return true;
    const int planes = preview.unprocessed.planes;
    Preview small;  // holds only the three buffers, released below
    small.record = preview.record;
    if (!allocatePreviewBuffers(small, width, height)) return false;
    bool ok = true;
    const VRect placed = placedRect(placement);
    const VRect whole{0, 0, height, width};
    for (int p = 0; ok && p < planes; ++p)
        ok = resamplePlane(preview.unprocessed.plane(p), preview.unprocessed.width, placed, 8,
                           small.unprocessed.plane(p), width, whole);
    ok = ok && resamplePlane(preview.mask.data, preview.mask.width, placed, 8, small.mask.data, width, whole);
    // The cache holds the 1:1 copy's HSI form, at its top left corner,
    // until the next fetch.
    if (ok && preview.hsiStale) {
        ok = width <= preview.hsi.width && height <= preview.hsi.height &&
             convertToHsi(preview, small.unprocessed, preview.hsi, whole, Point16{0, 0});
        preview.hsiStale = !ok;
    }
    if (!ok) {
        releasePreview(small);
        return true;
    }
    result = previewOperation(*preview.run, *preview.block, small.unprocessed, small.processed,
                              preview.hasSelection ? &small.mask : nullptr, preview.hsi, whole, scale, preview.view);
    for (int p = 0; result == noErr && p < planes; ++p)
        if (!resamplePlane(small.processed.plane(p), width, whole, 8, preview.processed.plane(p),
                           preview.processed.width, placed))
            result = filterBadParameters;
    if (result == noErr) preview.processed.imageClass = small.processed.imageClass;
    releasePreview(small);
    return true;
}

}  // namespace

bool renderPreview(Preview& preview) {
    if (!preview.view || !preview.block || !preview.record || !preview.run) return false;
    FilterParameters& block = *preview.block;
    preview.view->readControls(block);
    if (!preview.view->previewChecked() || !preview.parametersChanged) {
        showPreview(preview);
        return true;
    }
    preview.parametersChanged = false;
    block.curves.evaluateAll();

    const PreviewPlanes& unprocessed = preview.unprocessed;
    if (block.showResult == 1 && !anyChannelApplies(block)) {
        std::memcpy(preview.processed.data, unprocessed.data, size_t(unprocessed.planes) * unprocessed.planeBytes());
        preview.processed.imageClass = unprocessed.imageClass;
        showPreview(preview);
        return true;
    }

    const PreviewPlacement& placement = preview.placement;
    const double scale =
        previewScale(preview.zoom, preview.record->imageSize.h, preview.record->imageSize.v, placement);
    int16 result = noErr;
    if (placement.width <= 0 || placement.height <= 0 || !preview.hsi.data) {
        result = filterBadParameters;
    } else if (preview.zoom <= 1.0) {
        const VRect placed = placedRect(placement);
        if (preview.hsiStale) {
            if (convertToHsi(preview, unprocessed, preview.hsi, placed,
                             Point16{int16_t(placed.top), int16_t(placed.left)}))
                preview.hsiStale = false;
            else
                result = filterBadParameters;
        }
        if (result == noErr)
            result = previewOperation(*preview.run, block, unprocessed, preview.processed,
                                      preview.hasSelection ? &preview.mask : nullptr, preview.hsi, placed, scale,
                                      preview.view);
    } else if (!renderZoomedIn(preview, scale, result)) {
        return false;
    }
    if (result != noErr)
        platformServices().showMessage("There was an error while rendering the operation", " ", MessageError);
    showPreview(preview);
    return true;
}

bool showPreview(Preview& preview) {
    if (!preview.record || !preview.view) return false;
    const PreviewPlanes& shown = preview.view->previewChecked() ? preview.processed : preview.unprocessed;
    const DisplayPixelsProc display = preview.record->displayPixels;
    if (!shown.data) return false;

    PSPixelMap map;
    std::memset(&map, 0, sizeof map);
    map.version = 2;
    map.bounds = preview.pane;
    map.imageMode = shown.imageClass == ImageClass::RGB    ? plugInModeRGBColor
                    : shown.imageClass == ImageClass::CMYK ? plugInModeCMYKColor
                                                           : preview.record->imageMode;
    map.rowBytes = shown.width;
    map.colBytes = 1;
    map.planeBytes = int32(shown.planeBytes());
    map.baseAddr = shown.data;
    if (!display) return preview.view->drawPixels(map, preview.pane.top, preview.pane.left);
    void* context = preview.view->displayContext();
    const OSErr err = display(&map, &map.bounds, preview.pane.top, preview.pane.left, context);
    preview.view->releaseDisplayContext(context);
    return err == noErr;
}
