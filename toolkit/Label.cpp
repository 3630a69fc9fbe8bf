#include "toolkit/Label.h"

bool Label::create(int16_t x, int16_t y, int16_t width, int16_t height, const char* text, Dialog* owner, int id,
                   int32_t alignment) {
    const DWORD style = alignment == AlignLeft ? SS_LEFT : alignment == AlignCenter ? SS_CENTER : SS_RIGHT;
    return createWindow(owner, ControlLabel, "STATIC", text, style, 0, x, y, width, height, id, true);
}
