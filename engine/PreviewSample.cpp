// Colour sampling from the preview: the rubber band's rectangle in the
// preview buffers, and the minima and maxima of its pixels in HSI.
#include <algorithm>

#include "engine/Preview.h"
#include "engine/PreviewOperation.h"
#include "imageops/Mask.h"
#include "imageops/PixelTransfer.h"

bool sampleRectangle(const Preview& preview, Point16 press, Point16 cursor, VRect& rect) {
    const PreviewPlacement& p = preview.placement;
    if (p.width <= 0 || p.height <= 0) return false;
    // Client coordinates to buffer coordinates: the buffers are pane-sized.
    const int32_t left = p.left, top = p.top, right = p.left + p.width - 1, bottom = p.top + p.height - 1;
    const int32_t x0 = press.h - preview.pane.left, y0 = press.v - preview.pane.top;
    if (x0 < left || x0 > right || y0 < top || y0 > bottom) return false;
    const int32_t x1 = std::clamp<int32_t>(cursor.h - preview.pane.left, left, right);
    const int32_t y1 = std::clamp<int32_t>(cursor.v - preview.pane.top, top, bottom);
    // Both corners belong to the rectangle.
    rect = VRect{std::min(y0, y1), std::min(x0, x1), std::max(y0, y1) + 1, std::max(x0, x1) + 1};
    return true;
}

bool samplePreview(Preview& preview, const VRect& rect, bool processed, SampleStats& stats) {
    const PreviewPlanes& planes = processed ? preview.processed : preview.unprocessed;
    if (!preview.run || !planes.data || rect.top < 0 || rect.left < 0 || rect.bottom > planes.height ||
        rect.right > planes.width || rect.bottom <= rect.top || rect.right <= rect.left)
        return false;
    // The rectangle's pixels become an image of their own, in HSI.
    const int32_t width = rect.right - rect.left, height = rect.bottom - rect.top;
    ImageBuffer hsi;
    if (!hsi.allocate(*preview.run, width, height, HsiChannels)) return false;
    const Rect16 from{int16_t(rect.top), int16_t(rect.left), int16_t(rect.bottom), int16_t(rect.right)};
    if (!importPixels(*preview.run, BufferContent::HSI, planarPixels(planes), from, hsi, Point16{0, 0})) return false;
    sampleRegionStats(hsi, Rect16{0, 0, int16_t(height), int16_t(width)}, stats);
    return true;
}
