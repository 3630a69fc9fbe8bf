// Running sums of interleaved 16-bit samples over a square: per column, one
// row of samples enters a row of 32-bit sums and, optionally, an older one
// leaves it; along a row, the sums of 2r + 1 neighbouring columns. A vector at
// a time where the processor allows; the integers are the same at every level.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/VectorLevel.h"

// sums[j] += enter[j] - leave[j] for j < count; leave null adds enter alone.
void moveColumnSums(uint32_t* sums, const uint16_t* enter, const uint16_t* leave, size_t count, VectorLevel level);

// s[e][i] = the sum of columns i .. i + 2r of sample enabled[e] (sums[c x
// stride + enabled[e]]) less centre[i x stride + enabled[e]], for the n pixels
// of a row, as exact doubles. sums holds (n + 2r + 1) x stride + 1 readable
// elements, centre n x stride + 1; count <= 4.
void rowBoxSums(const uint32_t* sums, const uint16_t* centre, int stride, const int* enabled, int count, int32_t r,
                size_t n, double* const* s, VectorLevel level);
