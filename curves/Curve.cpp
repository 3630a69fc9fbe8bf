#include "curves/Curve.h"

#include <algorithm>

namespace {

// Samples a..b on the straight line from (a, va) to (b, vb), in double.
void linearFill(float* samples, int32_t a, float va, int32_t b, float vb) {
    samples[a] = va;
    samples[b] = vb;
    for (int32_t i = a + 1; i < b; ++i) {
        double v = ((double(i - a) * (double(vb) - double(va))) / double(b - a)) + double(va);
        samples[i] = float(v);
    }
}

bool isEmpty(float v) { return v == NoPoint; }

}  // namespace

int32_t curveIndexForSample(uint16_t value) {
    const double factor = double(0.01560998f);
    int32_t index = int32_t(double(value) * factor);
    return std::min(index, kCurveSlots - 1);
}

void Curve::reset(int32_t curveKind) {
    range = 1;
    kind = curveKind;
    std::fill(points, points + kCurveSlots, NoPoint);
    switch (curveKind) {
        case CurveHue:
            for (int d = 0; d < 360; d += 60) points[int32_t(d * 2.841666666666667)] = 1.0f;
            break;
        case CurveSaturation: {
            static const int32_t idx[] = {0, 10, 31, 113, 215, 267, 307, 368, 450, 511, 1023};
            static const float val[] = {0.0f, 0.01f, 0.06f, 0.43f, 0.75f, 0.87f, 0.93f, 0.98f, 0.995f, 1.0f, 1.0f};
            for (int i = 0; i < 11; ++i) points[idx[i]] = val[i];
            break;
        }
        default:
            points[0] = points[511] = points[1023] = 1.0f;
            break;
    }
    evaluate();
}

void Curve::evaluate() {
    int32_t first = -1;
    for (int32_t i = 0; i < kCurveSlots; ++i) {
        if (!isEmpty(points[i])) {
            first = i;
            break;
        }
    }
    if (first < 0) {
        std::fill(samples, samples + kCurveSlots, 1.0f);
        return;
    }
    if (first > 0) linearFill(samples, 0, points[first], first, points[first]);
    if (kind == CurveHue) points[kCurveSlots - 1] = points[first];
    samples[first] = points[first];
    int32_t previous = first;
    for (int32_t i = first + 1; i < kCurveSlots; ++i) {
        if (isEmpty(points[i])) continue;
        linearFill(samples, previous, points[previous], i, points[i]);
        previous = i;
    }
    if (previous != kCurveSlots - 1) linearFill(samples, previous, points[previous], kCurveSlots - 1, points[previous]);
}

void Curve::clearSpan(int32_t first, int32_t last) {
    first = std::max(first, 0);
    last = std::min(last, kCurveSlots - 1);
    for (int32_t i = first; i <= last; ++i) points[i] = NoPoint;
}

void Curve::clearNear(int32_t index, int32_t below, int32_t above) {
    clearSpan(std::max(index - below, 0), index - 1);
    clearSpan(index + 1, std::min(index + above, kCurveSlots - 1));
}

void Curve::setFromSample(const SampleStats& stats, bool invert, bool keep, int32_t rampPercent) {
    const int32_t w = rampPercent * 1024 / 100;
    const float inner = invert ? 0.0f : 1.0f;
    const float outer = invert ? 1.0f : 0.0f;
    if (!keep) std::fill(points, points + kCurveSlots, NoPoint);

    int minSlot = 1, maxSlot = 0;
    if (kind == CurveSaturation) {
        minSlot = 5;
        maxSlot = 4;
    } else if (kind == CurveIntensity) {
        minSlot = 9;
        maxSlot = 8;
    }
    const int32_t a = curveIndexForSample(stats.values[minSlot]);
    points[a] = inner;
    clearNear(a, 10, 10);
    const int32_t r = std::max(a - w, 0);
    if (isEmpty(points[r])) {
        points[r] = outer;
        clearNear(r, 10, 0);
    }
    const int32_t b = curveIndexForSample(stats.values[maxSlot]);
    points[b] = inner;
    clearNear(b, 10, 10);
    const int32_t s = std::min(b + w, kCurveSlots - 1);
    if (isEmpty(points[s])) {
        points[s] = outer;
        clearNear(s, 0, 10);
    }
    evaluate();
}

void CurveSet::reset() {
    hue.reset(CurveHue);
    saturation.reset(CurveSaturation);
    intensity.reset(CurveIntensity);
}

void CurveSet::evaluateAll() {
    hue.evaluate();
    saturation.evaluate();
    intensity.evaluate();
}

void CurveSet::setFromSample(const SampleStats& stats, bool invert, bool keep, const int32_t useFlags[3]) {
    Curve* curves[3] = {&hue, &saturation, &intensity};
    for (int i = 0; i < 3; ++i)
        if (useFlags[i] == 1) curves[i]->setFromSample(stats, invert, keep, 7);
}
