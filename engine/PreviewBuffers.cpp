// The preview's buffers and where the scaled image part lies in the pane.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/Preview.h"
#include "engine/ThreadCount.h"
#include "imageops/ColorModel.h"

namespace {

bool allocatePlanes(const RunContext& run, PreviewPlanes& planes, int count, int32_t width, int32_t height,
                    ImageClass imageClass) {
    const uint64_t bytes = uint64_t(count) * uint64_t(width) * uint64_t(height);
    if (width <= 0 || height <= 0 || bytes > 0xFFFFFFFFu) return false;
    planes.data = static_cast<uint8_t*>(run.allocate(size_t(bytes)));
    if (!planes.data) return false;
    planes.planes = count;
    planes.width = width;
    planes.height = height;
    planes.imageClass = imageClass;
    return true;
}

void releasePlanes(const RunContext* run, PreviewPlanes& planes) {
    if (run) run->release(planes.data);
    planes = PreviewPlanes{};
}

void releasePlaneBuffers(Preview& preview) {
    releasePlanes(preview.run.get(), preview.unprocessed);
    releasePlanes(preview.run.get(), preview.processed);
    releasePlanes(preview.run.get(), preview.mask);
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
    releasePlaneBuffers(preview);
    if (!preview.record) return false;
    if (!preview.run || preview.run->record() != preview.record) {
        preview.hsi.release();
        PreviewControls* view = preview.view;
        preview.run = std::make_unique<RunContext>(preview.record, ProgressMode::Dialog, [view](int percent) {
            if (view) view->setProgress(percent);
        });
        // As many threads as a run of the filter; they end with the preview.
        preview.run->setThreads(threadCountFor(std::getenv("CRISPCALM_THREADS")));
    }
    const ImageClass imageClass = imageClassForMode(preview.record->imageMode);
    if (imageClass != ImageClass::RGB && imageClass != ImageClass::CMYK) return false;
    const int planes = planesForClass(imageClass);
    const RunContext& run = *preview.run;
    if (!allocatePlanes(run, preview.unprocessed, planes, paneWidth, paneHeight, imageClass) ||
        !allocatePlanes(run, preview.processed, planes, paneWidth, paneHeight, imageClass) ||
        !allocatePlanes(run, preview.mask, 1, paneWidth, paneHeight, ImageClass::Mask)) {
        releasePlaneBuffers(preview);
        return false;
    }
    return true;
}

bool allocatePreviewHsi(Preview& preview) {
    preview.hsi.release();
    preview.hsiStale = true;
    return preview.run &&
           preview.hsi.allocate(*preview.run, preview.unprocessed.width, preview.unprocessed.height, HsiChannels);
}

void releasePreview(Preview& preview) {
    releasePlaneBuffers(preview);
    preview.hsi.release();
    preview.hsiStale = true;
    preview.run.reset();
}
