// Per-pixel conversions between the colour models the engine works in. All
// channel values are sixteen-bit (0..65535); CMYK is held with 0 = no ink.
#pragma once

#include <cstdint>

#include "base/Modes.h"
#include "services/RunContext.h"

struct HsiPixel {
    uint16_t hue;            // 0..65535 for 0..360 degrees
    uint16_t hsiSaturation;  // 1 - min/mean
    uint16_t saturation;     // 1.5 x (max - min), capped at 1
    uint16_t value;          // max
    uint16_t intensity;      // mean
};
constexpr int kHsiChannels = 5;

// Adds 0.5 for x > 0 and -0.5 otherwise, then truncates towards zero.
inline int64_t roundHalfAway(double x) { return int64_t(x > 0 ? x + 0.5 : x - 0.5); }

void rgbToHsi(const uint16_t rgb[3], HsiPixel& out);
// The same with hue 0, for selections whose hue curve is flat.
void rgbToHsiWithoutHue(const uint16_t rgb[3], HsiPixel& out);
void hsiToRgb(const HsiPixel& in, uint16_t rgb[3]);
void hsvToRgb(const HsiPixel& in, uint16_t rgb[3]);
void rgbToYuv(const uint16_t rgb[3], uint16_t yuv[3]);
void yuvToRgb(const uint16_t yuv[3], uint16_t rgb[3]);

// Through the host's colour services, at eight bits per component; false when
// the run has no colour services, the models are not RGB and CMYK or equal,
// or the host refuses. On failure the output keeps what it held. The request
// record is the run's; its infoSize is the record's size in this build (36
// bytes on 32-bit Windows, 56 on 64-bit).
bool convertThroughHost(RunContext& run, const uint16_t* source, ColorModel sourceModel, uint16_t* result,
                        ColorModel resultModel);
bool rgbToCmyk(RunContext& run, const uint16_t rgb[3], uint16_t cmyk[4]);
bool cmykToRgb(RunContext& run, const uint16_t cmyk[4], uint16_t rgb[3]);
bool yuvToCmyk(RunContext& run, const uint16_t yuv[3], uint16_t cmyk[4]);

// High byte, plus 1 when the low byte is 128 or more (255 stays 255).
uint8_t to8Bit(uint16_t value);
// 1 gives 255, 2 gives 65535, anything else 0.
uint32_t depthMaximum(int depthCode);
