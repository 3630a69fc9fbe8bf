// Fetching the shown image part at preview size through the host's channel
// ports: each composite channel and the selection, scaled by the host.
#include <cstring>

#include "engine/Preview.h"

namespace {

constexpr uint8_t kEmptyGrey = 230;

// Reads one channel of the part into the placed rectangle of a pane-sized
// plane, eight bits per sample.
bool readChannel(const ChannelPortProcs& ports, const ReadChannelDesc& channel, const VRect& part,
                 const PreviewPlacement& placement, uint8_t* plane, int32_t paneWidth) {
    PSScaling scaling;
    scaling.sourceRect = part;
    scaling.destinationRect = VRect{0, 0, placement.height, placement.width};
    const VRect writeRect = scaling.destinationRect;
    PixelMemoryDesc memory;
    memory.data = plane + size_t(placement.top) * size_t(paneWidth) + size_t(placement.left);
    memory.rowBits = paneWidth * 8;
    memory.colBits = 8;
    memory.bitOffset = 0;
    memory.depth = 8;
    VRect wrote{0, 0, 0, 0};
    if (ports.readPixelsProc(channel.port, &scaling, &writeRect, &memory, &wrote) != noErr) return false;
    // A host that wrote less than asked leaves a part of the preview unknown.
    return wrote.top == writeRect.top && wrote.left == writeRect.left && wrote.bottom == writeRect.bottom &&
           wrote.right == writeRect.right;
}

bool partInside(const VRect& part, const FilterRecord& record) {
    return part.top >= 0 && part.left >= 0 && part.bottom <= record.imageSize.v && part.right <= record.imageSize.h &&
           part.bottom > part.top && part.right > part.left;
}

bool readImage(Preview& preview, const VRect& part) {
    const FilterRecord* record = preview.record;
    const ChannelPortProcs* ports = record->channelPortProcs;
    const ReadImageDocumentDesc* document = record->documentInfo;
    if (!ports || !ports->readPixelsProc || !document || !partInside(part, *record)) return false;
    const PreviewPlacement& placement = preview.placement;
    if (placement.width <= 0 || placement.height <= 0) return false;

    const ReadChannelDesc* channel = document->targetCompositeChannels;
    for (int p = 0; p < preview.unprocessed.planes; ++p, channel = channel->next) {
        if (!channel) return false;
        if (!readChannel(*ports, *channel, part, placement, preview.unprocessed.plane(p), preview.unprocessed.width))
            return false;
    }
    preview.hasSelection = document->selection != nullptr;
    if (!preview.hasSelection) {
        std::memset(preview.mask.data, 255, preview.mask.planeBytes());
        return true;
    }
    return readChannel(*ports, *document->selection, part, placement, preview.mask.data, preview.mask.width);
}

}  // namespace

bool fetchPreview(Preview& preview, const VRect& part) {
    if (!preview.record || !preview.unprocessed.data || !preview.processed.data || !preview.mask.data) return false;
    const PreviewPlanes& image = preview.unprocessed;
    preview.part = part;
    preview.placement = placePreview(image.width, image.height, preview.zoom, part);

    const size_t imageBytes = size_t(image.planes) * image.planeBytes();
    std::memset(preview.unprocessed.data, kEmptyGrey, imageBytes);
    std::memset(preview.processed.data, kEmptyGrey, imageBytes);
    std::memset(preview.mask.data, 0, preview.mask.planeBytes());

    setStatusText(preview, "Getting data...");
    const ImageClass imageClass = imageClassForMode(preview.record->imageMode);
    const bool read = (imageClass == ImageClass::RGB || imageClass == ImageClass::CMYK) &&
                      planesForClass(imageClass) == image.planes && readImage(preview, part);
    setStatusText(preview, "");
    preview.unprocessed.imageClass = preview.processed.imageClass = imageClass;

    preview.hsiStale = true;
    if (!read) return false;
    preview.parametersChanged = true;
    return renderPreview(preview);
}
