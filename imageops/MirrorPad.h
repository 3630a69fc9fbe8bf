// The mirrored margin fill of a working buffer: around a fetched tile, or
// around a region of the preview.
#pragma once

#include <cstdint>

#include "imageops/ImageBuffer.h"

// Margins to fill on each side, in pixels: for a tile the rows or columns of
// its margin that lay outside the image and were not fetched.
struct MissingMargins {
    int32_t left = 0, right = 0, top = 0, bottom = 0;
};

// The fetched block lies at columns [m.left, m.left + fetchedWidth) and rows
// [m.top, m.top + fetchedHeight) of a buffer with `channels` samples per
// pixel. Fills the missing margins by mirroring without repeating the edge
// pixel: columns first on the fetched rows, then whole rows, so corners mirror
// both ways. A margin wider than the fetched block keeps folding back and forth
// inside it. False when the block does not fit the buffer.
bool mirrorPad(ImageBuffer& buffer, int channels, int32_t fetchedWidth, int32_t fetchedHeight, const MissingMargins& m);

// Position inside [0, n) that mirroring index i (which may lie outside)
// reaches: -1 takes 0, -2 takes 1, n takes n - 1, and so on.
int32_t mirrorIndex(int32_t i, int32_t n);
