// Gaussian disc blur with a radius per pixel that follows the mask.
//
// A pixel of radius k samples a grid of step trunc(2k x 0.05) (at least 1)
// anchored at (x - k, y - k), keeping the samples whose percentage distance d
// is at most 100, weighted by weight(d). The grid of each k is the same for
// every pixel, so prepareSoftenTables lists its samples once, in the plain
// loop's order (row by row from the top, each row left to right), with their
// weights and weight sum. Integer channel sums may be added in any order; the
// HSI hue's two double sums are added in the list's order, which is the plain
// loop's. The cosine and sine of every hue value come from a table computed
// once with the same expression.
#include "imageops/Soften.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "imageops/ColorModel.h"
#include "imageops/DistanceTable.h"
#include "imageops/HostBlock.h"
#include "imageops/MaskFilters.h"
#include "imageops/OperationRegion.h"
#include "imageops/RowProgress.h"
#include "imageops/SoftenTaps.h"
#include "threads/BandRun.h"

namespace {

constexpr double kRadiansPerHueUnit = 9.587526218051424e-05;  // 6.283185307 / 65535
constexpr double kHueUnitsPerRadian = 10430.219195825479;     // 65535 / 6.283185307
constexpr double kFullTurn = 6.283185307;

// cos and sin of hue x 9.587526218051424e-05 for every hue value, computed
// once on first use and never changed.
struct HueTable {
    double cosine[65536];
    double sine[65536];
};

const HueTable& hueTable() {
    static const std::unique_ptr<const HueTable> table([] {
        auto built = std::make_unique<HueTable>();
        for (int32_t h = 0; h < 65536; ++h) {
            const double angle = h * kRadiansPerHueUnit;
            built->cosine[h] = std::cos(angle);
            built->sine[h] = std::sin(angle);
        }
        return built.release();
    }());
    return *table;
}

int32_t gridStep(int32_t k) { return tapGridStep(k); }

// Visits the grid of radius k in the plain loop's order; the positions are
// integers, so stepping in double from -k meets exactly the same ones.
template <typename Visit>
void forEachGridSample(const SoftenTables& tables, int32_t k, Visit visit) {
    const int32_t step = gridStep(k);
    for (double py = -k; py < k + 0.01; py += step) {
        const int32_t dy = int32_t(roundHalfAway(py));
        for (double px = -k; px < k + 0.01; px += step) {
            const int32_t dx = int32_t(roundHalfAway(px));
            const int32_t d = tables.distance.at(std::abs(dy), std::abs(dx)) / k;
            if (d <= 100) visit(dy, dx, tables.weight[d]);
        }
    }
}

bool buildGrids(const RunContext& run, SoftenTables& tables, int32_t radius) {
    const size_t kinds = size_t(radius) + 2;
    tables.gridStart = static_cast<int32_t*>(run.allocate(kinds * sizeof(int32_t)));
    tables.weightSum = static_cast<uint32_t*>(run.allocate(kinds * sizeof(uint32_t)));
    if (!tables.gridStart || !tables.weightSum) return false;
    uint64_t count = 0;
    for (int32_t k = 1; k <= radius; ++k) {
        tables.gridStart[k] = int32_t(count);
        forEachGridSample(tables, k, [&](int32_t, int32_t, int32_t) { ++count; });
        if (count > 0x7FFFFFFF / sizeof(GridSample)) return false;
    }
    tables.gridStart[radius + 1] = int32_t(count);
    tables.samples = static_cast<GridSample*>(run.allocate(size_t(count ? count : 1) * sizeof(GridSample)));
    if (!tables.samples) return false;
    for (int32_t k = 1; k <= radius; ++k) {
        GridSample* out = tables.samples + tables.gridStart[k];
        uint32_t sum = 0;
        forEachGridSample(tables, k, [&](int32_t dy, int32_t dx, int32_t w) {
            *out++ = {int16_t(dy), int16_t(dx), uint16_t(w)};
            sum += uint32_t(w);
        });
        tables.weightSum[k] = sum;
    }
    return true;
}

// The averaged hue of four pixels of equal radius: the cosine and sine sums
// in the grid's order, as eight independent chains.
void hueSumsOfFour(const uint16_t* centre, int stride, const int32_t* offsets, const GridSample* samples, int32_t count,
                   double sc[4], double ss[4]) {
    const double* hueCosine = hueTable().cosine;
    const double* hueSine = hueTable().sine;
    double c0 = 0, c1 = 0, c2 = 0, c3 = 0, s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    for (int32_t i = 0; i < count; ++i) {
        const uint16_t* p = centre + offsets[i];
        const double w = samples[i].weight;
        const uint16_t h0 = p[0], h1 = p[stride], h2 = p[2 * stride], h3 = p[3 * stride];
        c0 += w * hueCosine[h0];
        s0 += w * hueSine[h0];
        c1 += w * hueCosine[h1];
        s1 += w * hueSine[h1];
        c2 += w * hueCosine[h2];
        s2 += w * hueSine[h2];
        c3 += w * hueCosine[h3];
        s3 += w * hueSine[h3];
    }
    sc[0] = c0, sc[1] = c1, sc[2] = c2, sc[3] = c3;
    ss[0] = s0, ss[1] = s1, ss[2] = s2, ss[3] = s3;
}

// The averaged hue of eight neighbouring pixels of equal radius: the cosine
// and sine sums in the grid's order (sixteen independent chains), the angle
// back to the field.
template <int Stride>
void averageHueOfEight(const uint16_t* centre, const int32_t* offsets, const GridSample* samples, int32_t count,
                       uint16_t* out) {
    double sc[8], ss[8];
    hueSumsOfFour(centre, Stride, offsets, samples, count, sc, ss);
    hueSumsOfFour(centre + 4 * Stride, Stride, offsets, samples, count, sc + 4, ss + 4);
    for (int j = 0; j < 8; ++j) {
        double a = std::atan2(ss[j], sc[j]);
        if (a < 0) a += kFullTurn;
        out[j * Stride] = uint16_t(a * kHueUnitsPerRadian);
    }
}

// A pixel whose hue is still to be averaged.
struct HueTask {
    size_t element;
    int32_t k;
};

// Four pixels of any radii: their chains run side by side while all have
// samples left, then each finishes alone, every chain in its grid's order.
void averageHueOfFour(const SoftenTables& tables, const ImageBuffer& src, ImageBuffer& dst, const int32_t* offsets,
                      const HueTask* tasks, int count) {
    const double* hueCosine = hueTable().cosine;
    const double* hueSine = hueTable().sine;
    double sc[4] = {}, ss[4] = {};
    const uint16_t* centre[4];
    const int32_t* off[4];
    const GridSample* grid[4];
    int32_t length[4];
    int32_t common = INT32_MAX;
    for (int j = 0; j < count; ++j) {
        const int32_t first = tables.gridStart[tasks[j].k];
        centre[j] = src.data + tasks[j].element;
        off[j] = offsets + first;
        grid[j] = tables.samples + first;
        length[j] = tables.gridStart[tasks[j].k + 1] - first;
        common = std::min(common, length[j]);
    }
    int32_t i = 0;
    if (count == 4) {
        double c0 = 0, c1 = 0, c2 = 0, c3 = 0, s0 = 0, s1 = 0, s2 = 0, s3 = 0;
        for (; i < common; ++i) {
            const uint16_t h0 = centre[0][off[0][i]], h1 = centre[1][off[1][i]];
            const uint16_t h2 = centre[2][off[2][i]], h3 = centre[3][off[3][i]];
            const double w0 = grid[0][i].weight, w1 = grid[1][i].weight;
            const double w2 = grid[2][i].weight, w3 = grid[3][i].weight;
            c0 += w0 * hueCosine[h0];
            s0 += w0 * hueSine[h0];
            c1 += w1 * hueCosine[h1];
            s1 += w1 * hueSine[h1];
            c2 += w2 * hueCosine[h2];
            s2 += w2 * hueSine[h2];
            c3 += w3 * hueCosine[h3];
            s3 += w3 * hueSine[h3];
        }
        sc[0] = c0, sc[1] = c1, sc[2] = c2, sc[3] = c3;
        ss[0] = s0, ss[1] = s1, ss[2] = s2, ss[3] = s3;
    }
    for (int j = 0; j < count; ++j) {
        for (int32_t n = i; n < length[j]; ++n) {
            const uint16_t hue = centre[j][off[j][n]];
            const double w = grid[j][n].weight;
            sc[j] += w * hueCosine[hue];
            ss[j] += w * hueSine[hue];
        }
        double a = std::atan2(ss[j], sc[j]);
        if (a < 0) a += kFullTurn;
        dst.data[tasks[j].element] = uint16_t(a * kHueUnitsPerRadian);
    }
}

struct RegionJob {
    const SoftenTables* tables;
    const ImageBuffer* src;
    ImageBuffer* dst;
    ChannelLayout layout;
    bool enabled[4];
    bool hue;                // the HSI hue is averaged on the circle
    const int32_t* offsets;  // per sample, in u16 elements from the centre
    const TapLayout* taps;
};

void copyFields(const uint16_t* in, uint16_t* out, const ChannelLayout& layout) {
    for (int f = 0; f < layout.fields; ++f) out[layout.field[f]] = in[layout.field[f]];
}

// Grid sums straight from the source, for radii whose step has no copy.
void gridSums(const RegionJob& job, size_t element, int32_t k, uint64_t* sums) {
    const SoftenTables& tables = *job.tables;
    const int32_t first = tables.gridStart[k], end = tables.gridStart[k + 1];
    const uint16_t* centre = job.src->data + element;
    for (int c = 0; c < job.layout.stride; ++c) sums[c] = 0;
    for (int32_t i = first; i < end; ++i) {
        const uint16_t* p = centre + job.offsets[i];
        for (int c = 0; c < job.layout.stride; ++c) sums[c] += uint64_t(p[c]) * tables.samples[i].weight;
    }
}

// sum / wsum truncated: the double quotient's truncation is the whole part
// of the exact quotient (sum < 2^53, and a quotient that is not whole lies at
// least 1 / wsum > 2^-32 below the next whole number, far more than the
// rounding error of a quotient below 2^17). The product with the rounded
// reciprocal is off by less than 2^-30, so its truncation is that whole part
// or one either side, put right with exact integers.
uint16_t quotient(uint64_t sum, uint64_t wsum, double reciprocal) {
    // Through int64: sum < 2^53, and the conversions are single instructions.
    uint64_t q = uint64_t(int64_t(double(int64_t(sum)) * reciprocal));
    if (q * wsum > sum)
        --q;
    else if ((q + 1) * wsum <= sum)
        ++q;
    return uint16_t(q);
}

// The integer channels of one pixel; the hue is left to the caller.
// reciprocal = 1 / weightSum[k].
void softenPixel(const RegionJob& job, const TapRows& rows, size_t element, int32_t x, int32_t y, int32_t k,
                 double reciprocal) {
    uint64_t sums[5];
    if (gridStep(k) <= rows.copiedSteps)
        tapSums(*job.taps, rows, x, y, k, sums);
    else
        gridSums(job, element, k, sums);
    const uint32_t wsum = job.tables->weightSum[k];
    const uint16_t* in = job.src->data + element;
    uint16_t* out = job.dst->data + element;
    for (int f = 0; f < job.layout.fields; ++f) {
        const int field = job.layout.field[f];
        out[field] = job.enabled[f] ? quotient(sums[field], wsum, reciprocal) : in[field];
    }
}

}  // namespace

SoftenTables::~SoftenTables() { releaseSoftenTables(*this); }

bool prepareSoftenTables(const RunContext& run, SoftenTables& tables, double size) {
    releaseSoftenTables(tables);
    tables.run = &run;
    for (int32_t i = 0; i <= 100; ++i) tables.weight[i] = int32_t(roundHalfAway(std::exp(-0.0002 * i * i) * 100));
    hueTable();
    const int32_t radius = radiusForSize(size);
    if (!tables.distance.build(run, radius)) return false;
    if (!buildGrids(run, tables, radius)) {
        releaseSoftenTables(tables);
        return false;
    }
    tables.radius = radius;
    tables.ready = true;
    return true;
}

void releaseSoftenTables(SoftenTables& tables) {
    releaseTapLayout(tables.taps);
    tables.distance.release();
    if (tables.run) {
        tables.run->release(tables.samples);
        tables.run->release(tables.gridStart);
        tables.run->release(tables.weightSum);
    }
    if (tables.run) {
        tables.run->release(tables.offsets.data);
        for (int t = 0; t < kSoftenMaxThreads; ++t)
            for (KeptBlock* kept : {&tables.radii[t], &tables.stepUsed[t], &tables.copies[t]})
                tables.run->release(kept->data);
    }
    tables.offsets = KeptBlock{};
    for (int t = 0; t < kSoftenMaxThreads; ++t) tables.radii[t] = tables.stepUsed[t] = tables.copies[t] = KeptBlock{};
    tables.samples = nullptr;
    tables.gridStart = nullptr;
    tables.weightSum = nullptr;
    tables.radius = 0;
    tables.ready = false;
}

namespace {

constexpr int32_t kBandRows = 64;                 // output rows per filling of the step copies, at most
constexpr int32_t kLeastBandRows = 16;            // of the last, smaller bands on several threads
constexpr size_t kCopyBudget = size_t(48) << 20;  // bytes of step copies, all threads together

// A kept block of at least bytes, taken anew (its contents lost) only when
// the one kept is smaller.
void* keptBlock(const RunContext& run, KeptBlock& kept, size_t bytes) {
    if (kept.data && kept.bytes >= bytes) return kept.data;
    run.release(kept.data);
    kept = KeptBlock{};
    kept.data = run.allocate(bytes ? bytes : 1);
    if (kept.data) kept.bytes = bytes;
    return kept.data;
}

// What one thread needs for its bands (blocks kept in the tables).
struct BandScratch {
    uint16_t* radii = nullptr;  // kBandRows rows of the rectangle's width
    bool* stepUsed = nullptr;   // per grid step 1..maxStep, in the current band
    TapRows rows;
};

// Per-call scratch, set up on the host's thread; its blocks stay with the
// tables.
struct RegionScratch {
    int32_t* offsets = nullptr;
    const TapLayout* taps = nullptr;
    BandScratch bands[kSoftenMaxThreads];
};

bool prepareScratch(RegionScratch& scratch, SoftenTables& tables, const ImageBuffer& src, int stride, int32_t radius,
                    int32_t left, int32_t right, VectorLevel level, int threads) {
    const RunContext& run = *tables.run;
    const int32_t count = tables.gridStart[radius + 1];
    scratch.offsets = static_cast<int32_t*>(keptBlock(run, tables.offsets, size_t(count) * sizeof(int32_t)));
    if (!scratch.offsets) return false;
    for (int32_t i = 0; i < count; ++i) {
        const GridSample& s = tables.samples[i];
        scratch.offsets[i] = (int32_t(s.dy) * src.width + s.dx) * stride;
    }
    // The layout depends on the rectangle's width, not on where it lies.
    TapLayout& taps = tables.taps;
    const bool same = taps.offsets && taps.radius == radius && taps.stride == stride &&
                      taps.columns == right - left + 2 * radius && taps.level == supportedVectorLevel(level);
    if (!same && !buildTapLayout(run, taps, tables.samples, tables.gridStart, radius, stride, left, right, level))
        return false;
    taps.firstColumn = left - radius;
    scratch.taps = &taps;
    for (int t = 0; t < threads; ++t) {
        BandScratch& b = scratch.bands[t];
        b.radii = static_cast<uint16_t*>(
            keptBlock(run, tables.radii[t], size_t(kBandRows) * size_t(right - left) * sizeof(uint16_t)));
        b.stepUsed = static_cast<bool*>(keptBlock(run, tables.stepUsed[t], size_t(gridStep(radius)) + 1));
        const size_t copyBytes = planTapRows(b.rows, taps, kBandRows, kCopyBudget / threads);
        b.rows.copies = static_cast<uint16_t*>(keptBlock(run, tables.copies[t], copyBytes));
        if (!b.radii || !b.stepUsed || !b.rows.copies) return false;
    }
    return true;
}

// Radius of each pixel of rows [y0, y0 + count) (0 copies it); marks the grid
// steps they use.
void bandRadii(const ImageBuffer& mask, int32_t y0, int32_t count, int32_t left, int32_t right, double half,
               int32_t radius, uint16_t* radii, bool* stepUsed) {
    for (int32_t y = y0; y < y0 + count; ++y) {
        const uint16_t* maskRow = mask.data + size_t(y) * size_t(mask.width);
        uint16_t* out = radii + size_t(y - y0) * size_t(right - left);
        int32_t lastMask = 0, k = 0;  // the radius of mask value lastMask; masks hold long runs
        for (int32_t x = left; x < right; ++x) {
            const uint16_t m = maskRow[x];
            if (m != lastMask) {
                const double rr = (m * half) / 65535;
                k = 0;
                if (m != 0 && rr > 0) k = std::min(int32_t(std::ceil(rr) + 0.1), radius);
                lastMask = m;
            }
            out[x - left] = uint16_t(k);
            if (k) stepUsed[gridStep(k)] = true;
        }
    }
}

// One row of the rectangle; radii null copies it.
void softenRow(const RegionJob& job, const TapRows& rows, const uint16_t* radii, int32_t y, int32_t left,
               int32_t right) {
    const ImageBuffer& src = *job.src;
    ImageBuffer& dst = *job.dst;
    const int stride = job.layout.stride;
    const size_t rowElement = size_t(y) * size_t(src.width) * stride;
    HueTask hueTasks[4];
    int pendingHues = 0;
    int32_t reciprocalOf = 0;  // radius whose weight sum's reciprocal is at hand
    double reciprocal = 0;
    for (int32_t x = left; x < right;) {
        const int32_t k = radii ? radii[x - left] : 0;
        const size_t element = rowElement + size_t(x) * stride;
        if (k == 0) {
            copyFields(src.data + element, dst.data + element, job.layout);
            ++x;
            continue;
        }
        // Eight neighbours of one radius average their hues together.
        int pixels = 1;
        if (job.hue && x + 8 <= right) {
            int same = 1;
            while (same < 8 && radii[x + same - left] == k) ++same;
            if (same == 8) pixels = 8;
        }
        if (k != reciprocalOf) {
            reciprocal = 1.0 / job.tables->weightSum[k];
            reciprocalOf = k;
        }
        for (int j = 0; j < pixels; ++j) softenPixel(job, rows, element + size_t(j) * stride, x + j, y, k, reciprocal);
        if (job.hue && pixels == 8) {
            const SoftenTables& tables = *job.tables;
            const int32_t first = tables.gridStart[k];
            averageHueOfEight<5>(src.data + element, job.offsets + first, tables.samples + first,
                                 tables.gridStart[k + 1] - first, dst.data + element);
        } else if (job.hue) {
            hueTasks[pendingHues++] = {element, k};
            if (pendingHues == 4) {
                averageHueOfFour(*job.tables, src, dst, job.offsets, hueTasks, 4);
                pendingHues = 0;
            }
        }
        x += pixels;
    }
    if (pendingHues) averageHueOfFour(*job.tables, src, dst, job.offsets, hueTasks, pendingHues);
}

}  // namespace

bool softenRegion(RunContext& run, SoftenTables& tables, const ImageBuffer& src, ImageBuffer& dst,
                  const ImageBuffer& mask, ColorModel model, const uint8_t flags[4], Point16 topLeft,
                  Point16 bottomRight, double size, VectorLevel level) {
    const double half = size * 0.5;
    ChannelLayout layout;
    if (!flags || !channelLayoutFor(model, layout)) return false;
    if (!acceptRegion(src, dst, mask, topLeft, bottomRight, half)) return false;
    const int32_t top = topLeft.v, left = topLeft.h, bottom = bottomRight.v, right = bottomRight.h;
    const int32_t radius = radiusForSize(size);
    // The grids must cover every radius this size can ask for.
    if (radius > 0 && (!tables.ready || radius > tables.radius)) return false;

    RegionJob job{&tables, &src, &dst, layout, {false, false, false, false}, false, nullptr, nullptr};
    for (int f = 0; f < layout.fields; ++f) job.enabled[f] = flags[f] != 0;
    job.hue = model == ColorModel::HSI && job.enabled[0];
    if (job.hue) job.enabled[0] = false;  // averaged separately

    // Smaller bands at the end fill their copies for fewer rows, but keep a
    // thread from waiting long for the other's last band.
    const int wanted = std::max(1, std::min(run.threads(), kSoftenMaxThreads));
    const BandCut cut = cutBands(bottom - top, kBandRows, kLeastBandRows, wanted);
    const int threads = std::max(1, std::min(wanted, int(cut.count())));
    RegionScratch scratch;
    const bool blurs = radius > 0 && right > left;
    if (blurs && !prepareScratch(scratch, tables, src, layout.stride, radius, left, right, level, threads))
        return false;
    job.offsets = scratch.offsets;
    job.taps = scratch.taps;

    // Bands do not depend on each other; the host hears of every row on its
    // own thread.
    RowProgress progress(run, progressPeriod(radius));
    BandRun bandRun(
        threads, cut.count(), [&] { return progress.afterRow(uint32_t(mask.width)); }, &run.workers());
    const bool done = bandRun.run([&](int32_t band, int slot) {
        int32_t first = 0, count = 0;
        cut.band(band, first, count);
        first += top;
        BandScratch& b = scratch.bands[slot];
        if (blurs) {
            std::fill(b.stepUsed, b.stepUsed + gridStep(radius) + 1, false);
            bandRadii(mask, first, count, left, right, half, radius, b.radii, b.stepUsed);
            fillTapRows(b.rows, *scratch.taps, src, first, count, b.stepUsed);
        }
        for (int32_t y = first; y < first + count; ++y) {
            softenRow(job, b.rows, blurs ? b.radii + size_t(y - first) * size_t(right - left) : nullptr, y, left,
                      right);
            if (!bandRun.rowDone(slot)) return false;
        }
        return true;
    });
    if (!done) return false;
    progress.finish();
    return true;
}
