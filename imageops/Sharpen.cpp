// Unsharp mask against the mean of the (2r + 1)^2 square less the centre.
//
// The neighbourhood sum S of a channel is a sum of integers, exact in double,
// so it is taken from running sums instead of adding the whole square for
// every pixel: per column, the sum of the 2r + 1 rows around the current row
// (updated by one row in and one row out), and along the row, the sum of
// 2r + 1 of those column sums (one column in, one out). S is then the square's
// sum less the centre, the same integer the plain loop adds up.
#include "imageops/Sharpen.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "imageops/MaskFilters.h"
#include "imageops/OperationRegion.h"
#include "imageops/ProgressCounters.h"
#include "services/HostServices.h"

namespace {

// Flag-selected channels of one pixel, copied unchanged.
void copyFields(const uint16_t* in, uint16_t* out, const ChannelLayout& layout) {
    for (int f = 0; f < layout.fields; ++f) out[layout.field[f]] = in[layout.field[f]];
}

uint16_t clampTruncate(double v) {
    if (!(v > 0)) return 0;  // also NaN
    if (v > 65535) return 65535;
    return uint16_t(v);
}

}  // namespace

bool sharpenRegion(const ImageBuffer& src, ImageBuffer& dst, const ImageBuffer& mask, int model, const uint8_t flags[4],
                   Point16 topLeft, Point16 bottomRight, double size, double amount, uint8_t progressMode) {
    const double half = size * 0.5;
    ChannelLayout layout;
    if (!flags || !channelLayoutFor(model, layout)) return false;
    if (!acceptRegion(src, dst, mask, topLeft, bottomRight, half)) return false;

    const int32_t top = topLeft.v, left = topLeft.h, bottom = bottomRight.v, right = bottomRight.h;
    const int32_t r = radiusForSize(size);
    const int stride = layout.stride;
    const size_t rowSamples = size_t(src.width) * stride;

    // Enabled channels; a fourth flag means something only for CMYK.
    int enabled[4];
    int enabledCount = 0;
    for (int f = 0; f < layout.fields; ++f)
        if (flags[f]) enabled[enabledCount++] = layout.field[f];

    // Column sums over columns left - r .. right + r - 1, one row per enabled
    // channel. With r = 0 the neighbourhood is empty and nothing is sharpened.
    const int32_t columns = (right - left) + 2 * r;
    uint32_t* columnSums = nullptr;
    if (enabledCount > 0 && r > 0 && right > left) {
        columnSums = static_cast<uint32_t*>(allocBuffer(size_t(columns) * enabledCount * sizeof(uint32_t)));
        if (!columnSums) return false;
    }

    const double gain = 3.9 * std::exp(-6 * amount) + 1.1;
    const double neighbours = double((2 * int64_t(r) + 1) * (2 * int64_t(r) + 1) - 1);
    // w and D depend on the mask value only; masks hold long runs of equal values.
    int32_t cachedMask = -1;
    double w = 0, d = 1;

    RowProgress progress(progressMode, progressPeriod(r));
    for (int32_t y = top; y < bottom; ++y) {
        const uint16_t* maskRow = mask.data + size_t(y) * size_t(mask.width);
        const uint16_t* in = src.data + size_t(y) * rowSamples;
        uint16_t* out = dst.data + size_t(y) * rowSamples;

        if (columnSums) {
            for (int e = 0; e < enabledCount; ++e) {
                uint32_t* sums = columnSums + size_t(e) * columns;
                const uint16_t* base = src.data + size_t(left - r) * stride + enabled[e];
                if (y == top) {
                    std::memset(sums, 0, size_t(columns) * sizeof(uint32_t));
                    for (int32_t yy = y - r; yy <= y + r; ++yy) {
                        const uint16_t* p = base + size_t(yy) * rowSamples;
                        for (int32_t i = 0; i < columns; ++i) sums[i] += p[size_t(i) * stride];
                    }
                } else {
                    const uint16_t* enter = base + size_t(y + r) * rowSamples;
                    const uint16_t* leave = base + size_t(y - r - 1) * rowSamples;
                    for (int32_t i = 0; i < columns; ++i)
                        sums[i] = sums[i] + enter[size_t(i) * stride] - leave[size_t(i) * stride];
                }
            }
        }

        // Square sums at the current column, per enabled channel.
        uint64_t box[4] = {0, 0, 0, 0};
        if (columnSums)
            for (int e = 0; e < enabledCount; ++e) {
                const uint32_t* sums = columnSums + size_t(e) * columns;
                for (int32_t i = 0; i <= 2 * r; ++i) box[e] += sums[i];
            }

        for (int32_t x = left; x < right; ++x) {
            const uint16_t* c = in + size_t(x) * stride;
            uint16_t* o = out + size_t(x) * stride;
            const int32_t m = maskRow[x];
            if (m == 0 || !columnSums) {
                copyFields(c, o, layout);
            } else {
                if (m != cachedMask) {
                    const double t = m / 65535.0;
                    w = -1 / (((gain + 1) - t) * neighbours);
                    d = 1 + w * neighbours;
                    cachedMask = m;
                }
                copyFields(c, o, layout);
                for (int e = 0; e < enabledCount; ++e) {
                    const uint16_t centre = c[enabled[e]];
                    const double s = double(box[e] - centre);
                    o[enabled[e]] = clampTruncate((centre + w * s) / d);
                }
            }
            if (columnSums && x + 1 < right) {
                const int32_t i = x - left;  // column x - r in the sums
                for (int e = 0; e < enabledCount; ++e) {
                    const uint32_t* sums = columnSums + size_t(e) * columns;
                    box[e] = box[e] + sums[i + 2 * r + 1] - sums[i];
                }
            }
        }

        if (!progress.afterRow(uint32_t(mask.width))) {
            freeBuffer(columnSums);
            return false;
        }
    }
    freeBuffer(columnSums);
    progress.finish();
    return true;
}
