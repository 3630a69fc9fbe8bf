// Fetching the shown image part at preview size through the host's channel
// ports: each composite channel and the selection, scaled by the host. Hosts
// without channel ports deliver it through advanceState at a reduced
// inputRate and maskRate, scaled by the host just the same.
#include <algorithm>
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

// One interleaved block from advanceState (8 or 16 bits a sample, count
// samples a pixel) into planes of the pane, at most the placed size.
void copyDelivered(const void* data, int32_t rowBytes, int depth, int count, int32_t rows, int32_t columns,
                   const PreviewPlacement& placement, uint8_t* const* planes, int32_t paneWidth) {
    const int bytes = depth == 16 ? 2 : 1;
    for (int32_t y = 0; y < rows && y < placement.height; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(data) + size_t(y) * size_t(rowBytes);
        const size_t at = size_t(placement.top + y) * size_t(paneWidth) + size_t(placement.left);
        for (int32_t x = 0; x < columns && x < placement.width; ++x)
            for (int p = 0; p < count; ++p) {
                const uint8_t* sample = row + (size_t(x) * size_t(count) + size_t(p)) * size_t(bytes);
                uint16_t v = sample[0];
                if (bytes == 2) {
                    std::memcpy(&v, sample, 2);
                    v = uint16_t((uint32_t(std::min<uint16_t>(v, 32768)) * 255 * 2 + 32768) / (2 * 32768));
                }
                planes[p][at + size_t(x)] = uint8_t(v);
            }
    }
}

// The part through advanceState at the rate that shrinks it to the placed
// width: the image's planes, then the selection when the host has one.
bool readThroughAdvance(Preview& preview, const VRect& part) {
    FilterRecord& r = *preview.record;
    const PreviewPlacement& placement = preview.placement;
    if (!r.advanceState) return false;
    const Fixed rate = Fixed(std::max<int64_t>(1, (int64_t(part.right - part.left) << 16) / placement.width));
    const Rect rect{int16(part.top), int16(part.left), int16(part.bottom), int16(part.right)};
    const int planes = preview.unprocessed.planes;
    r.inRect = rect;
    r.inLoPlane = 0;
    r.inHiPlane = int16(planes - 1);
    r.outRect = Rect{0, 0, 0, 0};
    r.maskRect = r.haveMask ? rect : Rect{0, 0, 0, 0};
    r.inputRate = r.maskRate = rate;
    const bool read = r.advanceState() == noErr && r.inData;
    const int32_t columns = int32_t((int64_t(part.right - part.left) << 16) / rate);
    const int32_t rows = int32_t((int64_t(part.bottom - part.top) << 16) / rate);
    if (read) {
        uint8_t* image[4];
        for (int p = 0; p < planes; ++p) image[p] = preview.unprocessed.plane(p);
        copyDelivered(r.inData, r.inRowBytes, r.depth == 16 ? 16 : 8, planes, rows, columns, placement, image,
                      preview.unprocessed.width);
        preview.hasSelection = r.haveMask && r.maskData;
        if (preview.hasSelection) {
            uint8_t* mask[1] = {preview.mask.data};
            copyDelivered(r.maskData, r.maskRowBytes, 8, 1, rows, columns, placement, mask, preview.mask.width);
        } else {
            std::memset(preview.mask.data, 255, preview.mask.planeBytes());
        }
    }
    r.inRect = r.maskRect = Rect{0, 0, 0, 0};
    r.inputRate = r.maskRate = 0x10000;
    return read;
}

bool readImage(Preview& preview, const VRect& part) {
    const FilterRecord* record = preview.record;
    const ChannelPortProcs* ports = record->channelPortProcs;
    const ReadImageDocumentDesc* document = record->documentInfo;
    if (!partInside(part, *record)) return false;
    if (!ports || !ports->readPixelsProc || !document)
        return preview.placement.width > 0 && preview.placement.height > 0 && readThroughAdvance(preview, part);
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
