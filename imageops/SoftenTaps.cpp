// The vector kernels keep, per accumulator set a and lane e, a 32-bit sum of
// weight x sample. Vector v of a run goes to set v mod stride; every run
// starts at a pixel's first channel, so element v x lanes + e of a run is
// channel (v x lanes + e) mod stride = (a x lanes + e) mod stride, and each
// (a, e) belongs to one channel. A radius whose weights could carry one lane
// past 32 bits (65535 x 65537 < 2^32) is summed in 64 bits instead.
#include "imageops/SoftenTaps.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>
#define CC_HAVE_AVX2_KERNELS 1
#endif

namespace {

constexpr uint32_t kLaneWeightLimit = 65537;

int lanesFor(VectorLevel level) { return level == VectorLevel::Avx2 ? 16 : 8; }

using SumKernel = TapSumKernel;

template <int S, int Lanes>
void plainSums(const uint16_t* base, const int32_t* const* offsets, const int32_t* counts, const uint16_t* weights,
               uint64_t* out) {
    for (int a = 0; a < S; ++a)
        for (int32_t i = 0; i < counts[a]; ++i, weights += Lanes) {
            const uint16_t* p = base + offsets[a][i];
            for (int e = 0; e < Lanes; ++e) out[(a * Lanes + e) % S] += uint64_t(p[e]) * weights[e];
        }
}

// Adds the 32-bit lanes of set a (element e of the set at lanes[a][e]) to
// their channels.
template <int S, int Lanes>
inline void addLanes(const uint32_t (&lanes)[S][Lanes], uint64_t* out) {
    uint64_t sums[S] = {};
#pragma GCC unroll 80
    for (int i = 0; i < S * Lanes; ++i) sums[i % S] += lanes[i / Lanes][i % Lanes];
    for (int c = 0; c < S; ++c) out[c] += sums[c];
}

#if defined(__SSE2__)
inline void macSse2(__m128i& lo, __m128i& hi, const uint16_t* p, const uint16_t* w) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w));
    const __m128i low = _mm_mullo_epi16(x, y), high = _mm_mulhi_epu16(x, y);
    lo = _mm_add_epi32(lo, _mm_unpacklo_epi16(low, high));  // elements 0..3
    hi = _mm_add_epi32(hi, _mm_unpackhi_epi16(low, high));  // elements 4..7
}

template <int S>
void sse2Sums(const uint16_t* base, const int32_t* const* offsets, const int32_t* counts, const uint16_t* weights,
              uint64_t* out) {
    uint32_t lanes[S][8];
    for (int a = 0; a < S; ++a) {
        __m128i lo = _mm_setzero_si128(), hi = _mm_setzero_si128();
        const int32_t* offset = offsets[a];
        for (int32_t i = 0; i < counts[a]; ++i, weights += 8) macSse2(lo, hi, base + offset[i], weights);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes[a]), lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes[a] + 4), hi);
    }
    addLanes<S, 8>(lanes, out);
}
#endif

#if defined(CC_HAVE_AVX2_KERNELS)
__attribute__((target("avx2"))) inline void macAvx2(__m256i& lo, __m256i& hi, const uint16_t* p, const uint16_t* w) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w));
    const __m256i low = _mm256_mullo_epi16(x, y), high = _mm256_mulhi_epu16(x, y);
    lo = _mm256_add_epi32(lo, _mm256_unpacklo_epi16(low, high));  // elements 0..3, 8..11
    hi = _mm256_add_epi32(hi, _mm256_unpackhi_epi16(low, high));  // elements 4..7, 12..15
}

template <int S>
__attribute__((target("avx2"))) void avx2Sums(const uint16_t* base, const int32_t* const* offsets,
                                              const int32_t* counts, const uint16_t* weights, uint64_t* out) {
    uint32_t lanes[S][16];
    for (int a = 0; a < S; ++a) {
        __m256i lo0 = _mm256_setzero_si256(), hi0 = lo0, lo1 = lo0, hi1 = lo0;
        const int32_t* offset = offsets[a];
        const int32_t count = counts[a];
        int32_t i = 0;
        for (; i + 2 <= count; i += 2, weights += 32) {
            macAvx2(lo0, hi0, base + offset[i], weights);
            macAvx2(lo1, hi1, base + offset[i + 1], weights + 16);
        }
        if (i < count) {
            macAvx2(lo0, hi0, base + offset[i], weights);
            weights += 16;
        }
        uint32_t low[8], high[8];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(low), _mm256_add_epi32(lo0, lo1));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(high), _mm256_add_epi32(hi0, hi1));
        for (int e = 0; e < 4; ++e) {
            lanes[a][e] = low[e];
            lanes[a][8 + e] = low[4 + e];
            lanes[a][4 + e] = high[e];
            lanes[a][12 + e] = high[4 + e];
        }
    }
    addLanes<S, 16>(lanes, out);
}
#endif

// The kernel of a level; the plain one walks vectors of lanes elements.
template <int S>
SumKernel kernelFor(VectorLevel level, int lanes) {
#if defined(CC_HAVE_AVX2_KERNELS)
    if (level == VectorLevel::Avx2) return avx2Sums<S>;
#endif
#if defined(__SSE2__)
    if (level == VectorLevel::Sse2) return sse2Sums<S>;
#endif
    return lanes == 16 ? plainSums<S, 16> : plainSums<S, 8>;
}

SumKernel kernelFor(VectorLevel level, int lanes, int stride) {
    switch (stride) {
        case 3:
            return kernelFor<3>(level, lanes);
        case 4:
            return kernelFor<4>(level, lanes);
        default:
            return kernelFor<5>(level, lanes);
    }
}

// Calls visit(first, end) for each run of the grid of radius k: samples
// [first, end) of one row, their columns one step apart.
template <typename Visit>
void forEachRun(const TapSample* samples, int32_t begin, int32_t end, int32_t step, Visit visit) {
    int32_t first = begin;
    for (int32_t i = begin + 1; i <= end; ++i) {
        if (i < end && samples[i].dy == samples[i - 1].dy && samples[i].dx == samples[i - 1].dx + step) continue;
        visit(first, i);
        first = i;
    }
}

int32_t phasePixels(const TapLayout& layout, int32_t step) { return (layout.columns + step - 1) / step; }

// Lists the vectors of every run of radius k, set by set; with write false
// only counts them. Returns the vectors of k.
int32_t layOutRadius(TapLayout& layout, const TapSample* samples, int32_t begin, int32_t end, int32_t k,
                     int32_t firstVector, bool write) {
    const int stride = layout.stride, lanes = layout.lanes;
    const int32_t step = tapGridStep(k);
    int32_t vector = firstVector;
    for (int a = 0; a < stride; ++a) {
        if (write) layout.vectorStart[k * stride + a] = vector;
        forEachRun(samples, begin, end, step, [&](int32_t first, int32_t last) {
            const int32_t column = (samples[first].dx + k) / step;  // in the grid row
            const int32_t start = samples[first].dy * layout.rowElements + column * stride;
            const int32_t elements = (last - first) * stride;
            for (int32_t v = a; v * lanes < elements; v += stride, ++vector) {
                if (!write) continue;
                layout.offsets[vector] = start + v * lanes;
                uint16_t* w = layout.weights + size_t(vector) * lanes;
                for (int e = 0; e < lanes; ++e) {
                    const int32_t element = v * lanes + e;
                    w[e] = element < elements ? samples[first + element / stride].weight : 0;
                }
            }
        });
    }
    if (write) layout.vectorStart[k * stride + stride] = vector;
    return vector - firstVector;
}

// True when some 32-bit lane of the vector kernels could pass 65535 x 65537
// for radius k.
bool needsWideSums(const TapLayout& layout, int32_t k) {
    uint64_t laneWeights[5 * 16] = {};
    for (int a = 0; a < layout.stride; ++a)
        for (int32_t v = layout.vectorStart[k * layout.stride + a]; v < layout.vectorStart[k * layout.stride + a + 1];
             ++v)
            for (int e = 0; e < layout.lanes; ++e)
                laneWeights[a * layout.lanes + e] += layout.weights[size_t(v) * layout.lanes + e];
    return *std::max_element(laneWeights, laneWeights + 5 * 16) > kLaneWeightLimit;
}

}  // namespace

bool buildTapLayout(const RunContext& run, TapLayout& layout, const TapSample* samples, const int32_t* gridStart,
                    int32_t radius, int stride, int32_t left, int32_t right, VectorLevel level) {
    releaseTapLayout(layout);
    layout.run = &run;
    layout.level = supportedVectorLevel(level);
    layout.stride = stride;
    layout.lanes = lanesFor(layout.level);
    layout.radius = radius;
    layout.maxStep = tapGridStep(radius);
    layout.firstColumn = left - radius;
    layout.columns = right - left + 2 * radius;
    layout.rowElements = (layout.columns + layout.maxStep + 16) * stride;
    layout.narrowSums = kernelFor(layout.level, layout.lanes, stride);
    layout.wideSums = kernelFor(VectorLevel::Plain, layout.lanes, stride);

    int64_t vectors = 0;
    for (int32_t k = 1; k <= radius; ++k) {
        vectors += layOutRadius(layout, samples, gridStart[k], gridStart[k + 1], k, 0, false);
        if (vectors > 0x3FFFFFF) return false;
    }
    layout.offsets = static_cast<int32_t*>(run.allocate(size_t(vectors + 1) * sizeof(int32_t)));
    layout.weights = static_cast<uint16_t*>(run.allocate(size_t(vectors + 1) * layout.lanes * sizeof(uint16_t)));
    layout.vectorStart = static_cast<int32_t*>(run.allocate(size_t(radius + 2) * stride * sizeof(int32_t)));
    layout.wide = static_cast<uint8_t*>(run.allocate(size_t(radius + 2)));
    if (!layout.offsets || !layout.weights || !layout.vectorStart || !layout.wide) {
        releaseTapLayout(layout);
        return false;
    }
    int32_t vector = 0;
    for (int32_t k = 1; k <= radius; ++k) {
        vector += layOutRadius(layout, samples, gridStart[k], gridStart[k + 1], k, vector, true);
        layout.wide[k] = layout.level != VectorLevel::Plain && needsWideSums(layout, k);
    }
    return true;
}

void releaseTapLayout(TapLayout& layout) {
    if (layout.run)
        for (void* block : {static_cast<void*>(layout.offsets), static_cast<void*>(layout.vectorStart),
                            static_cast<void*>(layout.weights), static_cast<void*>(layout.wide)})
            layout.run->release(block);
    layout = TapLayout{};
}

size_t planTapRows(TapRows& rows, const TapLayout& layout, int32_t bandRows, size_t budget) {
    releaseTapRows(rows);
    rows.bandRows = bandRows;
    // 16 spare elements: the last vector of a run may read past the row.
    rows.copyElements = size_t(bandRows + 2 * layout.radius) * size_t(layout.rowElements) + 16;
    const size_t fit = budget / (rows.copyElements * sizeof(uint16_t));
    rows.copiedSteps = int32_t(std::max<size_t>(1, std::min<size_t>(fit, size_t(layout.maxStep))));
    return rows.copyElements * size_t(rows.copiedSteps) * sizeof(uint16_t);
}

void releaseTapRows(TapRows& rows) {
    if (rows.run) rows.run->release(rows.copies);
    rows = TapRows{};
}

namespace {

// Columns p, p + step, ... of one row for every phase p, side by side.
template <int S>
void regroupRow(const uint16_t* in, uint16_t* out, int32_t columns, int32_t step, int32_t phase) {
    for (int32_t p = 0; p < step; ++p) {
        uint16_t* o = out + size_t(p) * size_t(phase) * S;
        int32_t c = p;
        for (; (S == 3 || S == 4) && c + step < columns; c += step, o += S) {
            uint64_t word;
            std::memcpy(&word, in + size_t(c) * S, sizeof word);
            std::memcpy(o, &word, sizeof word);
        }
        for (; c < columns; c += step, o += S) std::memcpy(o, in + size_t(c) * S, S * sizeof(uint16_t));
    }
}

}  // namespace

void fillTapRows(TapRows& rows, const TapLayout& layout, const ImageBuffer& src, int32_t top, int32_t count,
                 const bool* stepUsed) {
    const int stride = layout.stride;
    rows.firstRow = top - layout.radius;
    const int32_t rowCount = count + 2 * layout.radius;
    for (int32_t step = 1; step <= rows.copiedSteps; ++step) {
        if (!stepUsed[step]) continue;
        uint16_t* copy = rows.copies + size_t(step - 1) * rows.copyElements;
        const int32_t phase = phasePixels(layout, step);
        for (int32_t r = 0; r < rowCount; ++r) {
            const uint16_t* in =
                src.data +
                (size_t(rows.firstRow + r) * size_t(src.width) + size_t(layout.firstColumn)) * size_t(stride);
            uint16_t* out = copy + size_t(r) * size_t(layout.rowElements);
            if (step == 1)
                std::memcpy(out, in, size_t(layout.columns) * stride * sizeof(uint16_t));
            else if (stride == 3)
                regroupRow<3>(in, out, layout.columns, step, phase);
            else if (stride == 4)
                regroupRow<4>(in, out, layout.columns, step, phase);
            else
                regroupRow<5>(in, out, layout.columns, step, phase);
        }
    }
}

void tapSums(const TapLayout& layout, const TapRows& rows, int32_t x, int32_t y, int32_t k, uint64_t* sums) {
    const int stride = layout.stride;
    const int32_t step = tapGridStep(k);
    const int32_t column = x - k - layout.firstColumn;
    const int32_t index = (column % step) * phasePixels(layout, step) + column / step;
    const uint16_t* base = rows.copies + size_t(step - 1) * rows.copyElements +
                           size_t(y - rows.firstRow) * size_t(layout.rowElements) + size_t(index) * stride;
    for (int c = 0; c < stride; ++c) sums[c] = 0;
    const int32_t* start = layout.vectorStart + k * stride;
    const int32_t* offsets[5];
    int32_t counts[5];
    for (int a = 0; a < stride; ++a) {
        offsets[a] = layout.offsets + start[a];
        counts[a] = start[a + 1] - start[a];
    }
    const TapSumKernel kernel = layout.wide[k] ? layout.wideSums : layout.narrowSums;
    kernel(base, offsets, counts, layout.weights + size_t(start[0]) * layout.lanes, sums);
}
