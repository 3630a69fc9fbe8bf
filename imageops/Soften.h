// Gaussian disc blur whose radius follows the selection weight.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/Geometry.h"
#include "base/Modes.h"
#include "base/VectorLevel.h"
#include "imageops/DistanceTable.h"
#include "imageops/ImageBuffer.h"
#include "imageops/SoftenTaps.h"
#include "services/RunContext.h"

// One sample of a radius's grid: its offset and weight.
using GridSample = TapSample;

// A working block softenRegion keeps between calls: taken again only when a
// call needs more bytes, so the tiles of a run do not each take, clear and
// give back their own.
struct KeptBlock {
    void* data = nullptr;
    size_t bytes = 0;
};

constexpr int kSoftenMaxThreads = 64;

// The tables of one size: distances, weights, and the sampling grid of every
// radius up to the size's, with the working blocks of softenRegion. Their
// blocks come from the run that prepared them and go back with
// releaseSoftenTables or when the tables go.
struct SoftenTables {
    DistanceTable distance;
    int32_t weight[101] = {};
    int32_t radius = 0;             // largest k the grids cover
    GridSample* samples = nullptr;  // grids of k = 1..radius, one after the other
    int32_t* gridStart = nullptr;   // samples of k: [gridStart[k], gridStart[k + 1])
    uint32_t* weightSum = nullptr;  // per k
    bool ready = false;
    const RunContext* run = nullptr;  // who supplied the blocks
    // softenRegion's: sample offsets, then per thread the radii, the steps
    // used and the step copies of its band.
    KeptBlock offsets;
    KeptBlock radii[kSoftenMaxThreads], stepUsed[kSoftenMaxThreads], copies[kSoftenMaxThreads];
    // The last call's tap layout, used again while the radius, channels,
    // rectangle width and vector level stay (every tile of an image).
    TapLayout taps;

    SoftenTables() = default;
    SoftenTables(const SoftenTables&) = delete;
    SoftenTables& operator=(const SoftenTables&) = delete;
    ~SoftenTables();
};

// Builds the tables for one size (releasing old ones); false when their
// memory cannot be obtained.
bool prepareSoftenTables(const RunContext& run, SoftenTables& tables, double size);
void releaseSoftenTables(SoftenTables& tables);
// The tables must be prepared for this size (or a larger one); false without
// them, and for the rejected calls of sharpenRegion. The working blocks are
// kept in the tables for the next call (one call at a time per tables). Progress goes through the
// run in its mode. level caps the vector instructions used, and the rows are
// shared among the run's threads; the bytes are the same for every level and
// thread count.
bool softenRegion(RunContext& run, SoftenTables& tables, const ImageBuffer& src, ImageBuffer& dst,
                  const ImageBuffer& mask, ColorModel model, const uint8_t flags[4], Point16 topLeft,
                  Point16 bottomRight, double size, VectorLevel level = widestVectorLevel());
