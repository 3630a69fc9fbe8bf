// The integer channel sums of Soften, one pixel at a time whatever the radii
// of its neighbours: each row of a pixel's sample grid is one run of taps,
// read as consecutive samples from a copy of the source rows in which the
// columns are regrouped by grid step (columns p, p + s, p + 2s, ... side by
// side), and multiplied by the run's weights a vector at a time. The sums are
// exact integers, so the order of the additions does not matter.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/VectorLevel.h"
#include "imageops/ImageBuffer.h"
#include "services/RunContext.h"

// One sample of the grid of radius k, relative to the pixel.
struct TapSample {
    int16_t dy, dx;
    uint16_t weight;
};

// Adds weight x sample over count vectors of each accumulator set into
// out[0 .. stride - 1]: vector i of set a starts offsets[i] elements from base
// and is multiplied by the next lanes weights.
using TapSumKernel = void (*)(const uint16_t* base, const int32_t* const* offsets, const int32_t* counts,
                              const uint16_t* weights, uint64_t* out);

// What every band of one softenRegion call shares (read-only once built). The
// runs of a grid (its rows) are cut into vectors of lanes elements (zero
// weights after a run's end); vector v of a run belongs to set v mod stride.
// Per radius k and set a, the vectors are listed one after the other.
struct TapLayout {
    VectorLevel level = VectorLevel::Plain;
    int stride = 0;
    int lanes = 8;
    int32_t radius = 0;              // largest k
    int32_t maxStep = 1;             // grid step of radius
    int32_t firstColumn = 0;         // left - radius: column 0 of the step copies
    int32_t columns = 0;             // right - left + 2 radius
    int32_t rowElements = 0;         // of one row of a step copy
    int32_t* offsets = nullptr;      // per vector, from the pixel's first grid column in its row
    uint16_t* weights = nullptr;     // lanes per vector
    int32_t* vectorStart = nullptr;  // vectors of (k, a): [vectorStart[k x stride + a], ... + 1]
    uint8_t* wide = nullptr;         // per k: lane sums could pass 32 bits, added in 64
    TapSumKernel narrowSums = nullptr, wideSums = nullptr;
    const RunContext* run = nullptr;  // who supplied the blocks
};

// Step copies of the source rows one band needs, for bandRows output rows.
// Steps beyond copiedSteps (when all would pass the memory budget) have none.
struct TapRows {
    uint16_t* copies = nullptr;  // copiedSteps copies of (bandRows + 2 radius) rows
    int32_t copiedSteps = 0;
    int32_t bandRows = 0;
    int32_t firstRow = 0;  // source row of the copies' row 0
    size_t copyElements = 0;
    const RunContext* run = nullptr;  // who supplied the block
};

// The grid step of radius k: trunc(2k x 0.05), at least 1. Inline: it is
// asked for every pixel.
inline int32_t tapGridStep(int32_t k) {
    const int32_t step = int32_t((2 * k) * 0.05);
    return step > 1 ? step : 1;
}

// Builds the vectors of radii 1..radius from the grids (samples of k in
// [gridStart[k], gridStart[k + 1])) for pixels x in [left, right). False when
// memory cannot be had.
bool buildTapLayout(const RunContext& run, TapLayout& layout, const TapSample* samples, const int32_t* gridStart,
                    int32_t radius, int stride, int32_t left, int32_t right, VectorLevel level);
void releaseTapLayout(TapLayout& layout);
// Sizes the copies for as many steps as fit in budget bytes (at least step
// 1) and returns their bytes; the caller points copies at a block that big
// (rows.run null: the block is the caller's to release).
size_t planTapRows(TapRows& rows, const TapLayout& layout, int32_t bandRows, size_t budget);
void releaseTapRows(TapRows& rows);

// Copies source rows top - radius .. top + count + radius - 1 for the grid
// steps marked in stepUsed (index 1..maxStep) that have a copy; output rows
// top .. top + count - 1 can then be summed for radii of those steps.
void fillTapRows(TapRows& rows, const TapLayout& layout, const ImageBuffer& src, int32_t top, int32_t count,
                 const bool* stepUsed);

// sums[c] = sum over the grid of radius k (1..radius) around (x, y) of weight
// x sample c, for every sample c of the pixel (stride of them).
void tapSums(const TapLayout& layout, const TapRows& rows, int32_t x, int32_t y, int32_t k, uint64_t* sums);
