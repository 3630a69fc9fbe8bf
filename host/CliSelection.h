// What the command line shows of a run's selection: the filter's own
// selection step run on the stand-in host (no pixels change), for
// --selection-out and --overlay.
#pragma once

#include <cstdint>
#include <vector>

#include "host/HostImage.h"
#include "hostapi/PluginHost.h"
#include "params/FilterParameters.h"

struct SelectionView {
    int16 result = 0;                        // a host result code
    size_t tilesServed = 0;                  // tiles the host handed out: 0 = none was worked on
    std::vector<uint8_t> grey;               // the final selection, 8-bit, image size, 255 = fully selected
    std::vector<uint16_t> weights;           // the same at 16 bits, 65535 = fully selected
    double overlayColour[4] = {0, 0, 0, 0};  // in host samples of the image's class and depth
};

// The final selection a run with block would use on image, with the host's
// selection (empty: none) and tile size, as the filter shapes it tile by
// tile.
SelectionView viewSelection(const FilterParameters& block, const HostImage& image, std::vector<uint8_t> hostSelection,
                            int32_t tileWidth, int32_t tileHeight);

// A 16-bit image as the dialog's preview sees it: each sample reduced to 8
// bits as the host's channel ports reduce it, v x 255 / 32768 rounded half
// up. An 8-bit image as it is.
HostImage previewImage(const HostImage& image);

// The "Overlay Color" view in place of image's pixels, as the preview shows
// it. At 8 bits each sample is blended towards the overlay colour by the
// selection's weight. At 16 bits view is that of previewImage(image): a
// sample of weight 0 keeps its value, any other becomes the 8-bit overlay of
// its reduced value, widened to the host's 16 bits as the host widens 8-bit
// values (v x 32768 / 255, rounded half up), so that it reduces back to the
// preview's value exactly.
void overlayImage(const SelectionView& view, HostImage& image);
