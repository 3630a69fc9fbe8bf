// Distances in hundredths of a pixel, as the neighbourhood filters look them
// up instead of taking square roots: entry (dy, dx) =
// roundHalfAway(sqrt(dx^2 + dy^2) x 100) for 0 <= dx, dy <= radius.
#pragma once

#include <cstdint>

#include "imageops/HostBlock.h"
#include "services/RunContext.h"

// One entry computed directly.
int32_t distanceHundredths(int32_t dy, int32_t dx);

class DistanceTable {
public:
    // Releases the old table, then fills (radius + 1)^2 entries from the run's
    // buffer service. False (and an empty table) when the memory cannot be
    // obtained or the radius is negative.
    bool build(const RunContext& run, int32_t radius);

    void release() {
        entries_.reset();
        radius_ = -1;
    }

    int32_t radius() const { return radius_; }
    int32_t at(int32_t dy, int32_t dx) const { return entries_.data[dy * (radius_ + 1) + dx]; }

private:
    HostBlock<int32_t> entries_;  // row dy by row
    int32_t radius_ = -1;
};
