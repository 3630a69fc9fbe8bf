// Points and rectangles in pixels; v is the row, h the column.
#pragma once

#include <cstdint>

struct Point16 {
    int16_t v = 0;
    int16_t h = 0;
};

// top, left inclusive; bottom, right exclusive.
struct Rect16 {
    int16_t top = 0, left = 0, bottom = 0, right = 0;
};
