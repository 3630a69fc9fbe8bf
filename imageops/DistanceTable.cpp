#include "imageops/DistanceTable.h"

#include <cmath>
#include <cstddef>

#include "imageops/ColorModel.h"

int32_t distanceHundredths(int32_t dy, int32_t dx) {
    // In double: the squares of large radii do not fit 32 bits.
    const double squared = double(dx) * dx + double(dy) * dy;
    return int32_t(roundHalfAway(std::sqrt(squared) * 100));
}

bool DistanceTable::build(const RunContext& run, int32_t radius) {
    release();
    if (radius < 0) return false;
    const uint64_t side = uint64_t(radius) + 1;
    if (side * side * sizeof(int32_t) > 0xFFFFFFFFu || !entries_.take(run, size_t(side * side))) return false;
    for (int32_t dy = 0; dy <= radius; ++dy)
        for (int32_t dx = 0; dx <= radius; ++dx) entries_.data[size_t(dy) * side + dx] = distanceHundredths(dy, dx);
    radius_ = radius;
    return true;
}
