// How the stand-in host reads one channel of its image scaled to another
// size, eight bits per sample, as its channel ports serve it.
#pragma once

#include <cstdint>

#include "hostapi/PluginHost.h"

// One channel of an image held in the host's conventions: sample (x, y) is
// samples[(y x width + x) x stride + offset]; depth 8 (0..255) or 16
// (0..32768).
struct ChannelSource {
    const uint16_t* samples = nullptr;
    const uint8_t* bytes = nullptr;  // instead of samples: 8-bit, one byte per sample
    int32_t width = 0;
    int32_t height = 0;
    int stride = 1;
    int offset = 0;
    int depth = 8;
};

// Column span of the source that destination column x (relative to the
// destination's left edge) averages: [first, first + count).
struct SourceSpan {
    int32_t first = 0;
    int32_t count = 1;
};

// Destination position i of n covers source positions
// [trunc(i x m / n), trunc((i + 1) x m / n)) of m, at least one: shrinking
// averages blocks, enlarging repeats samples.
SourceSpan sourceSpan(int32_t i, int32_t n, int32_t m);

// Fills writeRect (destination coordinates) of the scaled channel: the source
// rectangle maps onto the destination rectangle, each destination sample the
// mean of the source samples it covers, rounded half up, 16-bit means brought
// to 0..255 by x 255 / 32768. The byte of (writeRect.top, writeRect.left) is
// data; rows are rowBytes apart. paramErr for a source rectangle outside the
// channel or empty, a write rectangle outside the destination, or a row
// shorter than the write rectangle.
OSErr readScaledChannel(const ChannelSource& channel, const PSScaling& scaling, const VRect& writeRect, uint8_t* data,
                        int32_t rowBytes);
