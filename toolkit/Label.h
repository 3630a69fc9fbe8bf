// A static text.
#pragma once

#include "toolkit/Control.h"

// Alignments of a label: 1 left, 2 centred, any other right.
enum : int32_t { AlignLeft = 1, AlignCenter = 2, AlignRight = 3 };

class Label : public Control {
public:
    bool create(int16_t x, int16_t y, int16_t width, int16_t height, const char* text, Dialog* owner, int id,
                int32_t alignment);
};
