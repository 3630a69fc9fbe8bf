// The preview's buffers and where the scaled image part lies in the pane.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/Preview.h"
#include "imageops/ColorModel.h"
#include "services/HostServices.h"

namespace {

bool allocatePlanes(PreviewPlanes& planes, int count, int32_t width, int32_t height, ImageClass imageClass) {
    const uint64_t bytes = uint64_t(count) * uint64_t(width) * uint64_t(height);
    if (width <= 0 || height <= 0 || bytes > 0xFFFFFFFFu) return false;
    planes.data = static_cast<uint8_t*>(allocBuffer(size_t(bytes)));
    if (!planes.data) return false;
    planes.planes = count;
    planes.width = width;
    planes.height = height;
    planes.imageClass = imageClass;
    return true;
}

void releasePlanes(PreviewPlanes& planes) {
    freeBuffer(planes.data);
    planes = PreviewPlanes{};
}

}  // namespace

PreviewPlacement placePreview(int32_t paneWidth, int32_t paneHeight, double zoom, const VRect& part) {
    PreviewPlacement p;
    const int32_t partWidth = part.right - part.left, partHeight = part.bottom - part.top;
    if (paneWidth <= 0 || paneHeight <= 0 || partWidth <= 0 || partHeight <= 0 || !(zoom > 0)) return p;
    p.width = int32_t(std::min<int64_t>(paneWidth, roundHalfAway(zoom * partWidth)));
    p.height = int32_t(std::min<int64_t>(paneHeight, roundHalfAway(zoom * partHeight)));
    if (p.width <= 0 || p.height <= 0) return PreviewPlacement{};
    p.left = (paneWidth - p.width) / 2;
    p.top = (paneHeight - p.height) / 2;
    return p;
}

double previewScale(double zoom, int32_t documentWidth, int32_t documentHeight, const PreviewPlacement& placement) {
    const int32_t shorter = std::min(placement.width, placement.height);
    if (shorter <= 0) return 0;
    return zoom * std::min(documentWidth, documentHeight) / shorter;
}

bool allocatePreviewBuffers(Preview& preview, int32_t paneWidth, int32_t paneHeight) {
    releasePlanes(preview.unprocessed);
    releasePlanes(preview.processed);
    releasePlanes(preview.mask);
    if (!preview.record) return false;
    const ImageClass imageClass = imageClassForMode(preview.record->imageMode);
    if (imageClass != ImageClassRGB && imageClass != ImageClassCMYK) return false;
    const int planes = planesForClass(imageClass);
    if (!allocatePlanes(preview.unprocessed, planes, paneWidth, paneHeight, imageClass) ||
        !allocatePlanes(preview.processed, planes, paneWidth, paneHeight, imageClass) ||
        !allocatePlanes(preview.mask, 1, paneWidth, paneHeight, ImageClassMask)) {
        releasePlanes(preview.unprocessed);
        releasePlanes(preview.processed);
        releasePlanes(preview.mask);
        return false;
    }
    return true;
}

bool allocatePreviewHsi(Preview& preview) {
    release(preview.hsi);
    preview.hsiStale = true;
    return allocateHsi(preview.hsi, preview.unprocessed.width, preview.unprocessed.height);
}

void releasePreview(Preview& preview) {
    releasePlanes(preview.unprocessed);
    releasePlanes(preview.processed);
    releasePlanes(preview.mask);
    release(preview.hsi);
    preview.hsiStale = true;
}
