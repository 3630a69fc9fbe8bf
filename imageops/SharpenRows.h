// The last step of a sharpen for many pixels of one channel at once, two or
// four side by side in vector registers: the same doubles, operation for
// operation, as one pixel at a time, so every level gives the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/VectorLevel.h"

// One channel of count pixels: the centre samples in[i x stride], the
// neighbour sums s[i], the weights w[i], divisors d[i] and their reciprocals
// rd[i] = 1 / d[i] of each pixel's mask value. out[i x stride] = the clamped, truncated (centre + w s) / d
// where mask[i] is not 0; other pixels are left alone.
void sharpenChannelRow(const uint16_t* in, uint16_t* out, int stride, const uint16_t* mask, const double* s,
                       const double* w, const double* d, const double* rd, size_t count, VectorLevel level);

// 0 for NaN and anything not above 0, 65535 above it, else truncated.
inline uint16_t clampTruncate(double v) {
    if (!(v > 0)) return 0;
    if (v > 65535) return 65535;
    return uint16_t(v);
}
