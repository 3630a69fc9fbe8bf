#include "host/CliSelection.h"

#include <utility>

#include "engine/ApplyFilter.h"
#include "engine/PreviewOperation.h"
#include "host/HostCore.h"
#include "imageops/ColorModel.h"
#include "services/RunContext.h"

SelectionView viewSelection(const FilterParameters& block, const HostImage& image, std::vector<uint8_t> hostSelection,
                            int32_t tileWidth, int32_t tileHeight) {
    SelectionView view;
    HostCore host;
    host.setImage(image);
    if (!hostSelection.empty()) host.setSelection(std::move(hostSelection));
    host.setTileSize(tileWidth, tileHeight);
    FilterParameters params = block;
    view.result = host.callStart([&](FilterRecord& record) {
        RunContext run(&record);
        const int16 err = filterSelection(run, params, view.weights);
        if (err != noErr) return err;
        const bool coloured =
            overlayColour(run, params, imageClassForMode(image.mode), image.depth, view.overlayColour);
        return coloured ? noErr : int16(memFullErr);
    });
    view.tilesServed = host.stats().advanceCalls;
    if (view.result == noErr && view.weights.size() != size_t(image.width) * size_t(image.height))
        view.result = filterBadParameters;
    if (view.result != noErr) return view;
    view.grey.resize(view.weights.size());
    for (size_t i = 0; i < view.weights.size(); ++i) view.grey[i] = to8Bit(view.weights[i]);
    return view;
}

namespace {

// Between the host's 16-bit units (0..32768) and 8 bits, rounding half up,
// as the stand-in host's channel ports and pixel transfers do.
uint16_t reduceTo8(uint16_t v) { return uint16_t((uint32_t(v > 32768 ? 32768 : v) * 255 * 2 + 32768) / (2 * 32768)); }
uint16_t widenTo16(uint32_t v) { return uint16_t((v * 32768 * 2 + 255) / (2 * 255)); }

}  // namespace

HostImage previewImage(const HostImage& image) {
    if (image.depth != 16) return image;
    HostImage reduced;
    reduced.width = image.width;
    reduced.height = image.height;
    reduced.planes = image.planes;
    reduced.depth = 8;
    reduced.mode = hostModeFor(image.planes, 8);
    reduced.samples.resize(image.samples.size());
    for (size_t i = 0; i < image.samples.size(); ++i) reduced.samples[i] = reduceTo8(image.samples[i]);
    return reduced;
}

void overlayImage(const SelectionView& view, HostImage& image) {
    // Where the reader keeps exact file values, a tinted sample is marked
    // changed so that the writer maps it rather than restoring the file's.
    const bool track = image.changed.size() == (image.samples.size() + 63) / 64;
    const bool sixteen = image.depth == 16;
    for (int32_t y = 0; y < image.height; ++y)
        for (int32_t x = 0; x < image.width; ++x) {
            const uint16_t weight = view.weights[size_t(y) * size_t(image.width) + size_t(x)];
            if (sixteen && weight == 0) continue;
            for (int p = 0; p < image.planes; ++p) {
                const size_t at = image.index(x, y, p);
                const uint16_t was = image.samples[at];
                const int32_t tinted = overlaySample(sixteen ? reduceTo8(was) : was, view.overlayColour[p], weight);
                const uint16_t now = sixteen ? widenTo16(uint32_t(tinted)) : uint16_t(tinted);
                if (track && now != was) image.changed[at >> 6] |= uint64_t(1) << (at & 63);
                image.samples[at] = now;
            }
        }
}
