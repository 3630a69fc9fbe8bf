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
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imageops/ColorModel.h"
#include "imageops/DistanceTable.h"
#include "imageops/HostBlock.h"
#include "imageops/MaskFilters.h"
#include "imageops/OperationRegion.h"
#include "imageops/RowProgress.h"

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

int32_t gridStep(int32_t k) { return std::max(int32_t((2 * k) * 0.05), int32_t(1)); }

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

// Lane sums of one pixel, or of eight neighbouring pixels of equal radius:
// lane l adds sample l of the pixel block (all channels of the pixels side by
// side) times the sample's weight. Sum is 32 or 64 bits wide; 32-bit sums are
// exact while the weight sum is at most 65537 (65535 x 65537 < 2^32).
template <int Lanes, typename Sum>
void laneSums(const uint16_t* centre, const int32_t* offsets, const GridSample* samples, int32_t count, Sum* sums) {
    Sum acc[Lanes] = {};
    for (int32_t i = 0; i < count; ++i) {
        const uint16_t* p = centre + offsets[i];
        const Sum w = samples[i].weight;
        for (int l = 0; l < Lanes; ++l) acc[l] += Sum(p[l]) * w;
    }
    std::memcpy(sums, acc, sizeof acc);
}

#if defined(__SSE2__)
// laneSums of eight pixels (8 x Stride lanes, 32-bit) with the accumulators
// held in registers: per sample, Stride vectors of eight samples times the
// weight, widened to 32 bits.
template <int Stride>
void blockLaneSums(const uint16_t* centre, const int32_t* offsets, const GridSample* samples, int32_t count,
                   uint32_t* sums) {
    __m128i acc[2 * Stride];
#pragma GCC unroll 16
    for (int v = 0; v < 2 * Stride; ++v) acc[v] = _mm_setzero_si128();
    for (int32_t i = 0; i < count; ++i) {
        const __m128i* p = reinterpret_cast<const __m128i*>(centre + offsets[i]);
        const __m128i w = _mm_set1_epi16(int16_t(samples[i].weight));
#pragma GCC unroll 16
        for (int v = 0; v < Stride; ++v) {
            const __m128i x = _mm_loadu_si128(p + v);
            const __m128i low = _mm_mullo_epi16(x, w), high = _mm_mulhi_epu16(x, w);
            acc[2 * v] = _mm_add_epi32(acc[2 * v], _mm_unpacklo_epi16(low, high));
            acc[2 * v + 1] = _mm_add_epi32(acc[2 * v + 1], _mm_unpackhi_epi16(low, high));
        }
    }
#pragma GCC unroll 16
    for (int v = 0; v < 2 * Stride; ++v) _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + 4 * v), acc[v]);
}
#endif

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
};

void copyFields(const uint16_t* in, uint16_t* out, const ChannelLayout& layout) {
    for (int f = 0; f < layout.fields; ++f) out[layout.field[f]] = in[layout.field[f]];
}

template <int Stride>
void softenPixels(const RegionJob& job, size_t element, int32_t k, int pixels) {
    const SoftenTables& tables = *job.tables;
    const int32_t first = tables.gridStart[k], count = tables.gridStart[k + 1] - first;
    const GridSample* samples = tables.samples + first;
    const int32_t* offsets = job.offsets + first;
    const uint32_t wsum = tables.weightSum[k];
    const uint16_t* in = job.src->data + element;
    uint16_t* out = job.dst->data + element;

    if (pixels == 8 && wsum <= 65537) {
        uint32_t sums[8 * Stride];
#if defined(__SSE2__)
        blockLaneSums<Stride>(in, offsets, samples, count, sums);
#else
        laneSums<8 * Stride, uint32_t>(in, offsets, samples, count, sums);
#endif
        for (int j = 0; j < 8; ++j)
            for (int f = 0; f < job.layout.fields; ++f) {
                const int field = job.layout.field[f];
                out[j * Stride + field] =
                    job.enabled[f] ? uint16_t(sums[j * Stride + field] / wsum) : in[j * Stride + field];
            }
    } else {
        for (int j = 0; j < pixels; ++j) {
            uint64_t sums[Stride];
            if (wsum <= 65537) {
                uint32_t narrow[Stride];
                laneSums<Stride, uint32_t>(in + j * Stride, offsets, samples, count, narrow);
                for (int l = 0; l < Stride; ++l) sums[l] = narrow[l];
            } else {
                laneSums<Stride, uint64_t>(in + j * Stride, offsets, samples, count, sums);
            }
            for (int f = 0; f < job.layout.fields; ++f) {
                const int field = job.layout.field[f];
                out[j * Stride + field] = job.enabled[f] ? uint16_t(sums[field] / wsum) : in[j * Stride + field];
            }
        }
    }
    // Single pixels leave their hue to the caller, which averages four at once.
    if (job.hue && pixels == 8) averageHueOfEight<Stride>(in, offsets, samples, count, out);
}

// Radius of each pixel of row [left, right) from its mask value; 0 copies it.
void rowRadii(const uint16_t* maskRow, int32_t left, int32_t right, double half, int32_t radius, uint16_t* radii) {
    for (int32_t x = left; x < right; ++x) {
        const uint16_t m = maskRow[x];
        const double rr = (m * half) / 65535;
        int32_t k = 0;
        if (m != 0 && rr > 0) k = std::min(int32_t(std::ceil(rr) + 0.1), radius);
        radii[x - left] = uint16_t(k);
    }
}

void softenPixelsOfStride(const RegionJob& job, size_t element, int32_t k, int pixels) {
    switch (job.layout.stride) {
        case 3:
            softenPixels<3>(job, element, k, pixels);
            break;
        case 4:
            softenPixels<4>(job, element, k, pixels);
            break;
        default:
            softenPixels<5>(job, element, k, pixels);
            break;
    }
}

// Row y of [left, right): eight pixels of one radius at a time where they
// line up, single ones otherwise, whose hues are averaged four at once.
void softenRow(const RegionJob& job, const uint16_t* radii, int32_t y, int32_t left, int32_t right) {
    const ImageBuffer& src = *job.src;
    ImageBuffer& dst = *job.dst;
    const int stride = job.layout.stride;
    const size_t rowElement = size_t(y) * size_t(src.width) * stride;
    HueTask hueTasks[4];
    int pendingHues = 0;
    for (int32_t x = left; x < right;) {
        const int32_t k = radii ? radii[x - left] : 0;
        const size_t element = rowElement + size_t(x) * stride;
        if (k == 0) {
            copyFields(src.data + element, dst.data + element, job.layout);
            ++x;
            continue;
        }
        int pixels = 1;
        if (x + 8 <= right) {
            int same = 1;
            while (same < 8 && radii[x + same - left] == k) ++same;
            if (same == 8) pixels = 8;
        }
        softenPixelsOfStride(job, element, k, pixels);
        if (job.hue && pixels == 1) {
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
    tables.distance.release();
    if (tables.run) {
        tables.run->release(tables.samples);
        tables.run->release(tables.gridStart);
        tables.run->release(tables.weightSum);
    }
    tables.samples = nullptr;
    tables.gridStart = nullptr;
    tables.weightSum = nullptr;
    tables.radius = 0;
    tables.ready = false;
}

bool softenRegion(RunContext& run, const SoftenTables& tables, const ImageBuffer& src, ImageBuffer& dst,
                  const ImageBuffer& mask, ColorModel model, const uint8_t flags[4], Point16 topLeft,
                  Point16 bottomRight, double size) {
    const double half = size * 0.5;
    ChannelLayout layout;
    if (!flags || !channelLayoutFor(model, layout)) return false;
    if (!acceptRegion(src, dst, mask, topLeft, bottomRight, half)) return false;
    const int32_t top = topLeft.v, left = topLeft.h, bottom = bottomRight.v, right = bottomRight.h;
    const int32_t radius = radiusForSize(size);
    // The grids must cover every radius this size can ask for.
    if (radius > 0 && (!tables.ready || radius > tables.radius)) return false;

    RegionJob job{&tables, &src, &dst, layout, {false, false, false, false}, false, nullptr};
    for (int f = 0; f < layout.fields; ++f) job.enabled[f] = flags[f] != 0;
    job.hue = model == ColorModel::HSI && job.enabled[0];
    if (job.hue) job.enabled[0] = false;  // averaged separately

    const int stride = layout.stride;
    const int32_t n = right - left;
    // Declared in this order so that the offsets go back first.
    HostBlock<uint16_t> radiusBlock;
    HostBlock<int32_t> offsetBlock;
    if (radius > 0 && n > 0) {
        const int32_t count = tables.gridStart[radius + 1];
        const bool taken = offsetBlock.take(run, size_t(count));
        if (!radiusBlock.take(run, size_t(n)) || !taken) return false;
        int32_t* offsets = offsetBlock.data;
        for (int32_t i = 0; i < count; ++i) {
            const GridSample& s = tables.samples[i];
            offsets[i] = (int32_t(s.dy) * src.width + s.dx) * stride;
        }
    }
    uint16_t* radii = radiusBlock.data;
    job.offsets = offsetBlock.data;

    RowProgress progress(run, progressPeriod(radius));
    for (int32_t y = top; y < bottom; ++y) {
        const uint16_t* maskRow = mask.data + size_t(y) * size_t(mask.width);
        if (radii) rowRadii(maskRow, left, right, half, radius, radii);
        softenRow(job, radii, y, left, right);
        if (!progress.afterRow(uint32_t(mask.width))) return false;
    }
    progress.finish();
    return true;
}
