// Two bitmaps from the library's resources, for instance the two looks of a
// bitmap button.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/Geometry.h"

class Canvas;

class BitmapPair {
public:
    BitmapPair() = default;
    BitmapPair(const BitmapPair&) = delete;
    BitmapPair& operator=(const BitmapPair&) = delete;
    ~BitmapPair() { free(); }

    // Frees what the pair holds, then loads bitmap firstId (and secondId when
    // it is not 0) from the owner's module, or from the foreground window's
    // module without owner. False, holding nothing, when a load fails.
    bool load(int32_t firstId, const Canvas* owner, int32_t secondId);
    // v = height, h = width of the first bitmap; zero without one.
    Point16 size() const;
    void free();

    HBITMAP first() const { return first_; }
    HBITMAP second() const { return second_; }

private:
    HBITMAP first_ = nullptr;
    HBITMAP second_ = nullptr;
};

// The module resources are loaded from: the owner's instance, or the
// foreground window's when there is no owner.
HINSTANCE resourceModule(const Canvas* owner);
