// Unsharp mask against the mean of the (2r + 1)^2 square less the centre.
//
// The neighbourhood sum S of a channel is a sum of integers, exact in double,
// so it is taken from running sums instead of adding the whole square for
// every pixel: per column, the sum of the 2r + 1 rows around the current row
// (updated by one row in and one row out), and along the row, the sum of
// 2r + 1 of those column sums (one column in, one out). S is then the square's
// sum less the centre, the same integer the plain loop adds up.
#include "imageops/Sharpen.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "imageops/ColumnSums.h"
#include "imageops/HostBlock.h"
#include "imageops/MaskFilters.h"
#include "imageops/OperationRegion.h"
#include "imageops/RowProgress.h"
#include "imageops/SharpenRows.h"
#include "threads/BandRun.h"

namespace {

// Flag-selected channels of one pixel, copied unchanged.
void copyFields(const uint16_t* in, uint16_t* out, const ChannelLayout& layout) {
    for (int f = 0; f < layout.fields; ++f) out[layout.field[f]] = in[layout.field[f]];
}

}  // namespace

namespace {

// Each band sums its first rows' columns afresh: one band for one thread,
// else about four per thread, of at least this many rows.
constexpr int32_t kMinBandRows = 64;
constexpr int kMaxThreads = 64;

// The flag-selected channels a sharpen changes, and the running column sums
// of every sample of columns left - r .. right + r - 1 over the rows
// y - r .. y + r, interleaved as the pixels are (a spare column and one
// element of zeros after them, read by the last steps along the row).
struct ColumnSums {
    int enabled[4] = {0, 0, 0, 0};
    int enabledCount = 0;
    int stride = 0;
    int32_t columns = 0;
    HostBlock<uint32_t> block;  // (columns + 1) x stride + 1 sums; empty when nothing is sharpened
    // The row being sharpened, per pixel: weight, divisor, its reciprocal, then the
    // neighbour sums of each enabled channel; as block.
    HostBlock<double> row;

    size_t samples() const { return size_t(columns) * size_t(stride); }

    // Sums for the first row of the region, or moved down by one row.
    void advance(const ImageBuffer& src, int32_t left, int32_t r, int32_t y, bool first, VectorLevel level) {
        const size_t rowSamples = size_t(src.width) * stride;
        const uint16_t* base = src.data + size_t(left - r) * stride;
        if (first) {
            std::memset(block.data, 0, (samples() + stride + 1) * sizeof(uint32_t));
            for (int32_t yy = y - r; yy <= y + r; ++yy)
                moveColumnSums(block.data, base + size_t(yy) * rowSamples, nullptr, samples(), level);
        } else {
            moveColumnSums(block.data, base + size_t(y + r) * rowSamples, base + size_t(y - r - 1) * rowSamples,
                           samples(), level);
        }
    }
};

// The weight w of the neighbours and the divisor D for a mask value; they
// depend on it alone, and masks hold long runs of equal values.
struct SharpenWeights {
    double gain = 0, neighbours = 0;
    int32_t cachedMask = -1;
    double w = 0, d = 1, rd = 1;  // rd = 1 / d

    void forMask(int32_t m) {
        if (m == cachedMask) return;
        const double t = m / 65535.0;
        w = -1 / (((gain + 1) - t) * neighbours);
        d = 1 + w * neighbours;
        rd = 1 / d;
        cachedMask = m;
    }
};

// Row y of [left, right): the square sums move along the row one column in,
// one out, each pixel's weight and divisor come from its mask value, and the
// sharpened channels are worked out for the whole row at once; unselected
// pixels and disabled channels are copied.
void sharpenRow(const ImageBuffer& src, ImageBuffer& dst, const ImageBuffer& mask, const ChannelLayout& layout,
                const ColumnSums& columns, SharpenWeights& weights, int32_t y, int32_t left, int32_t right, int32_t r,
                VectorLevel level) {
    const int stride = layout.stride;
    const size_t rowSamples = size_t(src.width) * stride;
    const uint16_t* maskRow = mask.data + size_t(y) * size_t(mask.width);
    const uint16_t* in = src.data + size_t(y) * rowSamples;
    uint16_t* out = dst.data + size_t(y) * rowSamples;
    // Every sample is a field (RGB, YUV, CMYK): the row is copied whole.
    if (layout.fields == stride)
        std::memcpy(out + size_t(left) * stride, in + size_t(left) * stride,
                    size_t(right - left) * stride * sizeof(uint16_t));
    else
        for (int32_t x = left; x < right; ++x) copyFields(in + size_t(x) * stride, out + size_t(x) * stride, layout);
    if (!columns.block.data) return;

    const size_t n = size_t(right - left);
    double* w = columns.row.data;
    double* d = w + n;
    double* rd = d + n;
    for (size_t i = 0; i < n; ++i) {
        const int32_t m = maskRow[left + int32_t(i)];
        if (m != 0) weights.forMask(m);
        w[i] = m != 0 ? weights.w : 0;
        d[i] = m != 0 ? weights.d : 1;
        rd[i] = m != 0 ? weights.rd : 1;
    }
    double* s[4];
    for (int e = 0; e < columns.enabledCount; ++e) s[e] = rd + n * size_t(e + 1);
    rowBoxSums(columns.block.data, in + size_t(left) * stride, stride, columns.enabled, columns.enabledCount, r, n, s,
               level);
    for (int e = 0; e < columns.enabledCount; ++e) {
        const size_t field = size_t(left) * stride + columns.enabled[e];
        sharpenChannelRow(in + field, out + field, stride, maskRow + left, s[e], w, d, rd, n, level);
    }
}

}  // namespace

bool sharpenRegion(RunContext& run, const ImageBuffer& src, ImageBuffer& dst, const ImageBuffer& mask, ColorModel model,
                   const uint8_t flags[4], Point16 topLeft, Point16 bottomRight, double size, double amount,
                   VectorLevel level) {
    const double half = size * 0.5;
    ChannelLayout layout;
    if (!flags || !channelLayoutFor(model, layout)) return false;
    if (!acceptRegion(src, dst, mask, topLeft, bottomRight, half)) return false;

    const int32_t top = topLeft.v, left = topLeft.h, bottom = bottomRight.v, right = bottomRight.h;
    const int32_t r = radiusForSize(size);
    const int wanted = std::max(1, std::min(run.threads(), kMaxThreads));
    const int32_t rows = std::max(bottom - top, 1);
    const int32_t bandRows = wanted == 1 ? rows : std::max(kMinBandRows, (rows + 4 * wanted - 1) / (4 * wanted));
    const int32_t bands = (bottom - top + bandRows - 1) / bandRows;
    const int threads = std::max(1, std::min(wanted, int(std::max(bands, 1))));

    // Column sums and weights per thread, taken here on the host's thread.
    // Enabled channels; a fourth flag means something only for CMYK.
    ColumnSums columns[kMaxThreads];
    SharpenWeights weights[kMaxThreads];
    for (int t = 0; t < threads; ++t) {
        for (int f = 0; f < layout.fields; ++f)
            if (flags[f]) columns[t].enabled[columns[t].enabledCount++] = layout.field[f];
        // With r = 0 the neighbourhood is empty and nothing is sharpened.
        columns[t].columns = (right - left) + 2 * r;
        columns[t].stride = layout.stride;
        if (columns[t].enabledCount > 0 && r > 0 && right > left &&
            !(columns[t].block.take(run, columns[t].samples() + layout.stride + 1) &&
              columns[t].row.take(run, size_t(right - left) * size_t(columns[t].enabledCount + 3))))
            return false;
        weights[t].gain = 3.9 * std::exp(-6 * amount) + 1.1;
        weights[t].neighbours = double((2 * int64_t(r) + 1) * (2 * int64_t(r) + 1) - 1);
    }

    // Each band starts its column sums afresh, so bands do not depend on
    // each other; the host hears of every row on its own thread.
    RowProgress progress(run, progressPeriod(r));
    BandRun bandRun(
        threads, bands, [&] { return progress.afterRow(uint32_t(mask.width)); }, &run.workers());
    const bool done = bandRun.run([&](int32_t band, int slot) {
        const int32_t first = top + band * bandRows, end = std::min(first + bandRows, bottom);
        for (int32_t y = first; y < end; ++y) {
            if (columns[slot].block.data) columns[slot].advance(src, left, r, y, y == first, level);
            sharpenRow(src, dst, mask, layout, columns[slot], weights[slot], y, left, right, r, level);
            if (!bandRun.rowDone(slot)) return false;
        }
        return true;
    });
    if (!done) return false;
    progress.finish();
    return true;
}
