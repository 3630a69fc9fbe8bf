// Selection curves: 1024 control slots over a channel, evaluated into a dense
// table of weights 0..1. The record layout is a stored format (see
// FilterParameters); in memory it is a plain struct.
#pragma once

#include <cstdint>

constexpr int kCurveSlots = 1024;
constexpr float NoPoint = -1.0f;

enum CurveKind : int32_t { CurveHue = 1, CurveSaturation = 2, CurveIntensity = 3 };

// Maxima and minima of the five HsiPixel fields over a sampled region:
// value 2f is the maximum of field f, 2f + 1 its minimum.
struct SampleStats {
    uint16_t values[10];
};

struct Curve {
    float points[kCurveSlots];   // NoPoint or a control value 0..1
    float samples[kCurveSlots];  // evaluated weights
    int32_t range;               // always 1
    int32_t kind;                // CurveKind

    void reset(int32_t curveKind);
    void evaluate();
    void clearNear(int32_t index, int32_t below, int32_t above);
    void clearSpan(int32_t first, int32_t last);
    void setFromSample(const SampleStats& stats, bool invert, bool keep, int32_t rampPercent);
};

struct CurveSet {
    Curve hue;
    Curve saturation;
    Curve intensity;

    CurveSet() { reset(); }
    void reset();
    void evaluateAll();
    void setFromSample(const SampleStats& stats, bool invert, bool keep, const int32_t useFlags[3]);
};

constexpr int kCurveBytes = 8200;
constexpr int kCurveSetBytes = 3 * kCurveBytes;

// Index of a sixteen-bit channel value for sampling: the factor is the
// single-precision value nearest 1023/65535, the product taken in double.
int32_t curveIndexForSample(uint16_t value);
