#include "toolkit/CursorHandle.h"

#include "toolkit/BitmapPair.h"

CursorHandle::~CursorHandle() { release(); }

void CursorHandle::release() {
    if (cursor_ && owned_ && GetCursor() != cursor_) DestroyCursor(cursor_);
    cursor_ = nullptr;
    owned_ = false;
}

bool CursorHandle::loadResource(int32_t id, const Canvas* owner) {
    release();
    cursor_ = static_cast<HCURSOR>(LoadImageA(resourceModule(owner), MAKEINTRESOURCEA(id), IMAGE_CURSOR, 0, 0, 0));
    owned_ = cursor_ != nullptr;
    return cursor_ != nullptr;
}

bool CursorHandle::loadSystem(int32_t kind) {
    release();
    if (kind == SystemCursorArrow)
        cursor_ = LoadCursorA(nullptr, IDC_ARROW);
    else if (kind == SystemCursorCross)
        cursor_ = LoadCursorA(nullptr, IDC_CROSS);
    else
        return false;
    return cursor_ != nullptr;
}

void CursorHandle::set() const {
    if (cursor_) SetCursor(cursor_);
}

void CursorHandle::forget() {
    cursor_ = nullptr;
    owned_ = false;
}
