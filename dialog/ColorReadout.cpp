#include "dialog/ColorReadout.h"

#include <cstdio>

#include "imageops/ColorModel.h"

namespace {

constexpr double kPercentOfByte = 0.39215686274509803;       // 100 / 255
constexpr double kDegreesOfHue = 0.005493247882810711;       // 360 / 65535
constexpr double kPercentOfUnit = 0.0015259021896696422;     // 100 / 65535
constexpr double kFractionOfDegrees = 0.002777777777777778;  // 1 / 360
constexpr char kDegreeSign = char(176);                      // in the ANSI code page

std::string formatted(const char* format, const char* letter, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, letter, value);
    return text;
}

}  // namespace

bool previewImagePixel(const Preview& preview, Point16 p, int32_t& column, int32_t& row) {
    const PreviewPlacement& placed = preview.placement;
    if (!preview.unprocessed.data || placed.width <= 0 || placed.height <= 0) return false;
    const int32_t x = p.h - preview.pane.left, y = p.v - preview.pane.top;
    if (x < placed.left || x >= placed.left + placed.width || y < placed.top || y >= placed.top + placed.height)
        return false;
    column = x;
    row = y;
    return true;
}

bool readPreviewPixel(RunContext& run, const PreviewPlanes& planes, int32_t column, int32_t row, ColorReadout& out) {
    out = ColorReadout{};
    if (!planes.data || (planes.planes != 3 && planes.planes != 4) || column < 0 || row < 0 || column >= planes.width ||
        row >= planes.height)
        return false;
    const size_t at = size_t(row) * size_t(planes.width) + size_t(column);
    uint8_t bytes[4] = {0, 0, 0, 0};
    for (int p = 0; p < planes.planes; ++p) bytes[p] = planes.plane(p)[at];

    uint16_t rgb[3] = {0, 0, 0};
    if (planes.planes == 3) {
        const char* letters[3] = {"R", "G", "B"};
        for (int c = 0; c < 3; ++c) {
            out.channels[c] = formatted("%s:%.0f", letters[c], bytes[c] * kPercentOfByte);
            rgb[c] = uint16_t(bytes[c] << 8);
        }
        out.hasColor = true;
    } else {
        const char* letters[4] = {"C", "M", "Y", "K"};
        uint16_t ink[4];
        for (int c = 0; c < 4; ++c) {
            out.channels[c] = formatted("%s:%.0f", letters[c], (255 - bytes[c]) * kPercentOfByte);
            ink[c] = uint16_t((255 - bytes[c]) * 256);
        }
        out.hasColor = cmykToRgb(run, ink, rgb);
    }
    if (!out.hasColor) return true;

    for (int c = 0; c < 3; ++c) out.swatch[c] = rgb[c];
    HsiPixel hsi{};
    rgbToHsi(rgb, hsi);
    const double degrees = hsi.hue * kDegreesOfHue;
    const double saturation = hsi.saturation * kPercentOfUnit, intensity = hsi.intensity * kPercentOfUnit;
    char text[32];
    std::snprintf(text, sizeof text, "H:%.0f%c", degrees, kDegreeSign);
    out.hsi[0] = text;
    out.hsi[1] = formatted("%s:%.0f", "S", saturation);
    out.hsi[2] = formatted("%s:%.0f", "I", intensity);
    out.markers[0] = degrees * kFractionOfDegrees;
    out.markers[1] = saturation * 0.01;
    out.markers[2] = intensity * 0.01;
    return true;
}
