// Distances in hundredths of a pixel, as the neighbourhood filters look them
// up instead of taking square roots: entry (dy, dx) =
// roundHalfAway(sqrt(dx^2 + dy^2) x 100) for 0 <= dx, dy <= radius.
#pragma once

#include <cstdint>

struct DistanceTable {
    int32_t* entries = nullptr;  // (radius + 1)^2, row dy by row; from the host's buffer service
    int32_t radius = -1;

    int32_t at(int32_t dy, int32_t dx) const { return entries[dy * (radius + 1) + dx]; }
};

// One entry computed directly.
int32_t distanceHundredths(int32_t dy, int32_t dx);
// False (and an empty table) when the memory cannot be obtained or the
// radius is negative.
bool buildDistanceTable(DistanceTable& table, int32_t radius);
void releaseDistanceTable(DistanceTable& table);
