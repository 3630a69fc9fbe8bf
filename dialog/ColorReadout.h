// The colour under the mouse over the preview image: where a dialog position
// falls on the placed image, and what the readouts above the preview, the top
// swatch and the curve editors' markers show for that pixel.
#pragma once

#include <cstdint>
#include <string>

#include "base/Geometry.h"
#include "engine/Preview.h"
#include "services/RunContext.h"

struct ColorReadout {
    // "R:", "G:", "B:" (the fourth empty) or "C:", "M:", "Y:", "K:" with the
    // percentage, rounded to whole numbers.
    std::string channels[4];
    // "H:" in degrees with the degree sign (176), "S:" and "I:" in percent;
    // empty when a CMYK pixel could not be converted to RGB.
    std::string hsi[3];
    bool hasColor = false;           // swatch and markers below are valid
    uint16_t swatch[3] = {0, 0, 0};  // the pixel's RGB, 0..65535
    // Positions along the hue, saturation and intensity axes, 0..1.
    double markers[3] = {0, 0, 0};
};

// The buffer pixel (column, row) under p (dialog client coordinates) when p
// lies on the scaled image placed in the pane; false elsewhere, and while
// the preview has no buffers.
bool previewImagePixel(const Preview& preview, Point16 p, int32_t& column, int32_t& row);

// The readouts for pixel (column, row) of planes (3 planes RGB, 4 CMYK as
// the host stores them, 255 = no ink). A CMYK pixel is converted to RGB
// through the host's colour services. False for a pixel outside the planes.
bool readPreviewPixel(RunContext& run, const PreviewPlanes& planes, int32_t column, int32_t row, ColorReadout& out);
