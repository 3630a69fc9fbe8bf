#include "toolkit/BitmapPair.h"

#include "toolkit/Canvas.h"

namespace {

HBITMAP loadBitmap(HINSTANCE module, int32_t id) {
    return static_cast<HBITMAP>(LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

}  // namespace

HINSTANCE resourceModule(const Canvas* owner) {
    if (owner) return owner->instance();
    HWND foreground = GetForegroundWindow();
    return foreground ? reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(foreground, GWLP_HINSTANCE)) : nullptr;
}

bool BitmapPair::load(int32_t firstId, const Canvas* owner, int32_t secondId) {
    free();
    HINSTANCE module = resourceModule(owner);
    first_ = loadBitmap(module, firstId);
    if (!first_) return false;
    if (secondId != 0) {
        second_ = loadBitmap(module, secondId);
        if (!second_) {
            free();
            return false;
        }
    }
    return true;
}

Point16 BitmapPair::size() const {
    BITMAP info{};
    if (!first_ || GetObject(first_, sizeof info, &info) == 0) return Point16{};
    return Point16{int16_t(info.bmHeight), int16_t(info.bmWidth)};
}

void BitmapPair::free() {
    if (first_) DeleteObject(first_);
    if (second_) DeleteObject(second_);
    first_ = nullptr;
    second_ = nullptr;
}
