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

#include "imageops/BandRun.h"
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

namespace {

constexpr int32_t kBandRows = 64;  // rows per band; each band starts its column sums afresh
constexpr int kMaxThreads = 64;

struct SharpenJob {
    const ImageBuffer* src;
    ImageBuffer* dst;
    const ImageBuffer* mask;
    ChannelLayout layout;
    int32_t left, right, r;
    int enabled[4];
    int enabledCount;
    int32_t columns;  // of the column sums: left - r .. right + r - 1
    double gain, neighbours;
};

// Column sums of rows y - r .. y + r, built afresh at the band's first row
// and then moved down by one row.
void updateColumnSums(const SharpenJob& job, uint32_t* columnSums, int32_t y, bool first) {
    const int stride = job.layout.stride;
    const size_t rowSamples = size_t(job.src->width) * stride;
    const int32_t r = job.r, columns = job.columns;
    for (int e = 0; e < job.enabledCount; ++e) {
        uint32_t* sums = columnSums + size_t(e) * columns;
        const uint16_t* base = job.src->data + size_t(job.left - r) * stride + job.enabled[e];
        if (first) {
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

// One row; columnSums null (nothing enabled, or r = 0) copies it.
void sharpenRow(const SharpenJob& job, const uint32_t* columnSums, int32_t y) {
    const int stride = job.layout.stride;
    const size_t rowSamples = size_t(job.src->width) * stride;
    const uint16_t* maskRow = job.mask->data + size_t(y) * size_t(job.mask->width);
    const uint16_t* in = job.src->data + size_t(y) * rowSamples;
    uint16_t* out = job.dst->data + size_t(y) * rowSamples;
    const int32_t r = job.r, columns = job.columns;

    // Square sums at the current column, per enabled channel.
    uint64_t box[4] = {0, 0, 0, 0};
    if (columnSums)
        for (int e = 0; e < job.enabledCount; ++e) {
            const uint32_t* sums = columnSums + size_t(e) * columns;
            for (int32_t i = 0; i <= 2 * r; ++i) box[e] += sums[i];
        }

    // w and D depend on the mask value only; masks hold long runs of equal values.
    int32_t cachedMask = -1;
    double w = 0, d = 1;
    for (int32_t x = job.left; x < job.right; ++x) {
        const uint16_t* c = in + size_t(x) * stride;
        uint16_t* o = out + size_t(x) * stride;
        const int32_t m = maskRow[x];
        copyFields(c, o, job.layout);
        if (m != 0 && columnSums) {
            if (m != cachedMask) {
                const double t = m / 65535.0;
                w = -1 / (((job.gain + 1) - t) * job.neighbours);
                d = 1 + w * job.neighbours;
                cachedMask = m;
            }
            for (int e = 0; e < job.enabledCount; ++e) {
                const uint16_t centre = c[job.enabled[e]];
                const double s = double(box[e] - centre);
                o[job.enabled[e]] = clampTruncate((centre + w * s) / d);
            }
        }
        if (columnSums && x + 1 < job.right) {
            const int32_t i = x - job.left;  // column x - r in the sums
            for (int e = 0; e < job.enabledCount; ++e) {
                const uint32_t* sums = columnSums + size_t(e) * columns;
                box[e] = box[e] + sums[i + 2 * r + 1] - sums[i];
            }
        }
    }
}

}  // namespace

bool sharpenRegion(const ImageBuffer& src, ImageBuffer& dst, const ImageBuffer& mask, int model, const uint8_t flags[4],
                   Point16 topLeft, Point16 bottomRight, double size, double amount, uint8_t progressMode,
                   int threads) {
    const double half = size * 0.5;
    ChannelLayout layout;
    if (!flags || !channelLayoutFor(model, layout)) return false;
    if (!acceptRegion(src, dst, mask, topLeft, bottomRight, half)) return false;

    const int32_t top = topLeft.v, bottom = bottomRight.v;
    SharpenJob job{&src, &dst, &mask, layout, topLeft.h, bottomRight.h, radiusForSize(size), {}, 0, 0, 0, 0};
    // Enabled channels; a fourth flag means something only for CMYK.
    for (int f = 0; f < layout.fields; ++f)
        if (flags[f]) job.enabled[job.enabledCount++] = layout.field[f];
    job.columns = (job.right - job.left) + 2 * job.r;
    job.gain = 3.9 * std::exp(-6 * amount) + 1.1;
    job.neighbours = double((2 * int64_t(job.r) + 1) * (2 * int64_t(job.r) + 1) - 1);

    const int32_t bands = (bottom - top + kBandRows - 1) / kBandRows;
    threads = std::max(1, std::min({threads, kMaxThreads, int(std::max(bands, 1))}));
    // Column sums per thread, one row per enabled channel. With r = 0 the
    // neighbourhood is empty and nothing is sharpened.
    struct Sums {
        uint32_t* slot[kMaxThreads] = {};
        ~Sums() {
            for (uint32_t* s : slot) freeBuffer(s);
        }
    } sums;
    const bool sharpens = job.enabledCount > 0 && job.r > 0 && job.right > job.left;
    if (sharpens)
        for (int t = 0; t < threads; ++t) {
            sums.slot[t] =
                static_cast<uint32_t*>(allocBuffer(size_t(job.columns) * job.enabledCount * sizeof(uint32_t)));
            if (!sums.slot[t]) return false;
        }

    RowProgress progress(progressMode, progressPeriod(job.r));
    BandRun run(threads, bands, [&] { return progress.afterRow(uint32_t(mask.width)); });
    const bool done = run.run([&](int32_t band, int slot) {
        const int32_t y0 = top + band * kBandRows, end = std::min(y0 + kBandRows, bottom);
        uint32_t* columnSums = sums.slot[slot];
        for (int32_t y = y0; y < end; ++y) {
            if (columnSums) updateColumnSums(job, columnSums, y, y == y0);
            sharpenRow(job, columnSums, y);
            if (!run.rowDone(slot)) return false;
        }
        return true;
    });
    if (!done) return false;
    progress.finish();
    return true;
}
