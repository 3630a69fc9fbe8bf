#include "imageops/ColorModel.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDegreesPerRadian = 57.295779512896175;
constexpr double kHueUnitsPerDegree = 182.04166666666669;  // 65535 / 360

uint16_t scaleUnit(double x) { return uint16_t(roundHalfAway(x * 65535)); }

// Clamps to [0, 1] before scaling to sixteen bits.
uint16_t clampUnitToChannel(double x) {
    if (x < 0) x = 0;
    if (x > 1) x = 1;
    return uint16_t(roundHalfAway(x * 65535));
}

// A host component back in 0..255 (the host's business; we only keep it in range).
int32_t hostComponent(int16_t c) { return c < 0 ? 0 : (c > 255 ? 255 : c); }

}  // namespace

namespace {

// withHue false leaves hue 0 and skips its arctangent; every other field is
// the same as with it.
template <bool withHue>
void convertRgbToHsi(const uint16_t rgb[3], HsiPixel& out) {
    const double r = rgb[0] / 65535.0;
    const double g = rgb[1] / 65535.0;
    const double b = rgb[2] / 65535.0;
    const double mean = (b + g + r) * (1.0 / 3.0);

    if (rgb[0] == rgb[1] && rgb[0] == rgb[2]) {
        out.hue = 0;
        out.hsiSaturation = 0;
        out.saturation = 0;
        out.value = scaleUnit(r);
        out.intensity = scaleUnit(mean);
        return;
    }

    double lo = r, hi = r;
    if (g < lo) lo = g;
    if (b < lo) lo = b;
    if (g > hi) hi = g;
    if (b > hi) hi = b;

    double hue = 0.0;
    if (withHue) {
        if (g == b) {
            hue = r >= g ? 0.0 : 180.0;
        } else {
            const double x = ((2 * r - g - b) / (g - b)) / std::sqrt(3.0);
            const double angle = x == 0 ? 0.0 : std::atan(x) * kDegreesPerRadian;
            const double offset = g < b ? 180.0 : 0.0;
            hue = (90 - angle) + offset;
        }
    }

    const double hsiSaturation = mean == 0 ? 0.0 : 1 - lo / mean;

    if (hue > 360)
        hue -= 360;
    else if (hue < 0)
        hue += 360;

    // The middle value (the median); with ties any of the tied ones gives the same sum.
    const double mid = std::max(std::min(r, g), std::min(std::max(r, g), b));
    double saturation = ((mid - lo) + (hi - mid)) * 0.5 + (hi - lo);
    if (saturation > 1.0) saturation = 1.0;

    out.hue = uint16_t(roundHalfAway(hue * kHueUnitsPerDegree));
    out.hsiSaturation = scaleUnit(hsiSaturation);
    out.saturation = scaleUnit(saturation);
    out.value = scaleUnit(hi);
    out.intensity = scaleUnit(mean);
}

}  // namespace

void rgbToHsi(const uint16_t rgb[3], HsiPixel& out) { convertRgbToHsi<true>(rgb, out); }

void rgbToHsiWithoutHue(const uint16_t rgb[3], HsiPixel& out) { convertRgbToHsi<false>(rgb, out); }

void hsiToRgb(const HsiPixel& in, uint16_t rgb[3]) {
    constexpr double kFullTurn = 6.2831853072;
    constexpr double k120 = 2.0943951024, k240 = 4.1887902048, k60 = 1.0471975512;

    double h = in.hue * 9.587526218356604e-05;  // radians
    if (h == kFullTurn) h = 0;
    const double s = in.hsiSaturation / 65535.0;
    const double i = in.intensity / 65535.0;

    double r, g, b;
    if (i == 0) {
        r = g = b = 0;
    } else if (s == 0) {
        r = g = b = i;
    } else {
        auto sector = [s](double a) { return (1 + s * std::cos(a) / std::cos(k60 - a)) / 3; };
        if (h <= k120) {
            b = (1 - s) / 3;
            r = sector(h);
            g = 1 - (r + b);
        } else if (h <= k240) {
            const double a = h - k120;
            r = (1 - s) / 3;
            g = sector(a);
            b = 1 - (g + r);
        } else {
            const double a = h - k240;
            g = (1 - s) / 3;
            b = sector(a);
            r = 1 - (b + g);
        }
        r = (3 * i) * r;
        g = (3 * i) * g;
        b = (3 * i) * b;
    }
    rgb[0] = clampUnitToChannel(r);
    rgb[1] = clampUnitToChannel(g);
    rgb[2] = clampUnitToChannel(b);
}

void hsvToRgb(const HsiPixel& in, uint16_t rgb[3]) {
    double h = in.hue * 0.005493247882810711;  // degrees
    if (h == 360) h = 0;
    const double s = in.hsiSaturation / 65535.0;
    const double v = in.value / 65535.0;

    double r, g, b;
    if (s == 0) {
        r = g = b = v;
    } else {
        const int32_t sector = int32_t(h * 0.016666666666666666);
        const double f = h * 0.016666666666666666 - sector;
        const double p = (1 - s) * v;
        const double q = (1 - f * s) * v;
        const double t = (1 - (1 - f) * s) * v;
        switch (sector) {
            case 0:
                r = v, g = t, b = p;
                break;
            case 1:
                r = q, g = v, b = p;
                break;
            case 2:
                r = p, g = v, b = t;
                break;
            case 3:
                r = p, g = q, b = v;
                break;
            case 4:
                r = t, g = p, b = v;
                break;
            case 5:
                r = v, g = p, b = q;
                break;
            default:
                r = g = b = v;
                break;
        }
    }
    const double channels[3] = {r, g, b};
    for (int c = 0; c < 3; ++c) {
        int64_t n = roundHalfAway(channels[c] * 65535);
        rgb[c] = uint16_t(n < 0 ? 0 : (n > 65535 ? 65535 : n));
    }
}

void rgbToYuv(const uint16_t rgb[3], uint16_t yuv[3]) {
    const double r = rgb[0], g = rgb[1], b = rgb[2];
    const double y = 0.587 * g + 0.299 * r + 0.114 * b;
    const double u = (b - y) * 0.564334 + 32767.5;
    const double v = (r - y) * 0.713267 + 32767.5;
    yuv[0] = uint16_t(roundHalfAway(y));
    yuv[1] = uint16_t(roundHalfAway(u));
    yuv[2] = uint16_t(roundHalfAway(v));
}

void yuvToRgb(const uint16_t yuv[3], uint16_t rgb[3]) {
    const double y = yuv[0], u = yuv[1], v = yuv[2];
    const double channels[3] = {y + 1.402 * (v - 32767.5), y - 0.344136 * u - 0.714136 * v + 34677.0,
                                y + 1.772 * (u - 32767.5)};
    for (int c = 0; c < 3; ++c) {
        double x = channels[c];
        if (x >= 65535)
            x = 65535;
        else if (x < 0)
            x = 0;
        rgb[c] = uint16_t(roundHalfAway(x));
    }
}

bool convertThroughHost(RunContext& run, const uint16_t* source, ColorModel sourceModel, uint16_t* result,
                        ColorModel resultModel) {
    if (!source || !result || !run.record()) return false;

    ColorServicesInfo& request = run.colorRequest();
    int16_t* components = request.colorComponents;
    if (sourceModel == ColorModel::RGB) {
        for (int c = 0; c < 3; ++c) components[c] = int16_t(to8Bit(source[c]));
    } else if (sourceModel == ColorModel::CMYK) {
        for (int c = 0; c < 4; ++c) components[c] = int16_t(255 - to8Bit(source[c]));
    }
    const auto hostModel = [](ColorModel m) { return m == ColorModel::RGB || m == ColorModel::CMYK; };
    if (!hostModel(sourceModel) || !hostModel(resultModel) || sourceModel == resultModel) return false;
    if (!run.hasColorServices()) return false;

    // The published record is 36 bytes on 32-bit builds; 64-bit hosts expect
    // their own (larger) size, so the size is always that of this build.
    request.infoSize = int32_t(sizeof(ColorServicesInfo));
    request.selector = plugIncolorServicesConvertColor;
    request.sourceSpace = sourceModel == ColorModel::RGB ? plugIncolorServicesRGBSpace : plugIncolorServicesCMYKSpace;
    request.resultSpace = resultModel == ColorModel::RGB ? plugIncolorServicesRGBSpace : plugIncolorServicesCMYKSpace;
    if (!run.sendColorRequest()) return false;

    if (resultModel == ColorModel::RGB) {
        for (int c = 0; c < 3; ++c) result[c] = uint16_t(hostComponent(components[c]) * 256);
    } else {
        for (int c = 0; c < 4; ++c) result[c] = uint16_t((255 - hostComponent(components[c])) * 256);
    }
    return true;
}

bool rgbToCmyk(RunContext& run, const uint16_t rgb[3], uint16_t cmyk[4]) {
    return convertThroughHost(run, rgb, ColorModel::RGB, cmyk, ColorModel::CMYK);
}

bool cmykToRgb(RunContext& run, const uint16_t cmyk[4], uint16_t rgb[3]) {
    return convertThroughHost(run, cmyk, ColorModel::CMYK, rgb, ColorModel::RGB);
}

bool yuvToCmyk(RunContext& run, const uint16_t yuv[3], uint16_t cmyk[4]) {
    uint16_t rgb[3];
    yuvToRgb(yuv, rgb);
    return rgbToCmyk(run, rgb, cmyk);
}

uint8_t to8Bit(uint16_t value) {
    const uint32_t high = value >> 8;
    if (high == 255) return 255;
    return uint8_t(high + ((value & 0xFF) >= 128 ? 1 : 0));
}

uint32_t depthMaximum(int depthCode) {
    if (depthCode == 1) return 255;
    if (depthCode == 2) return 65535;
    return 0;
}
