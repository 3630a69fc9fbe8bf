// One mouse pointer: one of the library's cursors or a system cursor.
#pragma once

#include <windows.h>

#include <cstdint>

class Canvas;

// Kinds of CursorHandle::loadSystem.
enum : int32_t { SystemCursorArrow = 1, SystemCursorCross = 2 };

class CursorHandle {
public:
    CursorHandle() = default;
    CursorHandle(const CursorHandle&) = delete;
    CursorHandle& operator=(const CursorHandle&) = delete;
    // A cursor loaded from the resources and still held is destroyed.
    ~CursorHandle();

    // Cursor id at its natural size from the owner's module (the foreground
    // window's without owner).
    bool loadResource(int32_t id, const Canvas* owner);
    // 1 the arrow, 2 the cross; any other kind leaves the holder empty.
    bool loadSystem(int32_t kind);
    // Makes the held cursor the current one.
    void set() const;
    // Lets go of the cursor without destroying it.
    void forget();

    HCURSOR handle() const { return cursor_; }

private:
    void release();

    HCURSOR cursor_ = nullptr;
    bool owned_ = false;  // loaded from the resources, so ours to destroy
};
