#include "imageops/DistanceTable.h"

#include <cmath>
#include <cstddef>

#include "imageops/ColorModel.h"
#include "services/HostServices.h"

int32_t distanceHundredths(int32_t dy, int32_t dx) {
    // In double: the squares of large radii do not fit 32 bits.
    const double squared = double(dx) * dx + double(dy) * dy;
    return int32_t(roundHalfAway(std::sqrt(squared) * 100));
}

bool buildDistanceTable(DistanceTable& table, int32_t radius) {
    table.entries = nullptr;
    table.radius = -1;
    if (radius < 0) return false;
    const uint64_t side = uint64_t(radius) + 1;
    const uint64_t bytes = side * side * sizeof(int32_t);
    if (bytes > 0xFFFFFFFFu) return false;
    int32_t* entries = static_cast<int32_t*>(allocBuffer(size_t(bytes)));
    if (!entries) return false;
    for (int32_t dy = 0; dy <= radius; ++dy)
        for (int32_t dx = 0; dx <= radius; ++dx) entries[size_t(dy) * side + dx] = distanceHundredths(dy, dx);
    table.entries = entries;
    table.radius = radius;
    return true;
}

void releaseDistanceTable(DistanceTable& table) {
    freeBuffer(table.entries);
    table.entries = nullptr;
    table.radius = -1;
}
