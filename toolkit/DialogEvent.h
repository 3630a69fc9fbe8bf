// The events a toolkit dialog receives through Dialog::handleEvent, with the
// packing of mouse positions and the modifier bits.
#pragma once

#include <cstdint>

enum DialogEvent : int32_t {
    EventControlChanged = 1,  // control clicked or changed; a = position (or 0), b = modifiers
    EventThumbDragged = 2,    // slider or scroll bar thumb moving; a = new position
    EventCloseRequest = 3,    // a = proposed result; the answer is the result (0 keeps the dialog)
    EventMouseDown = 4,       // left button pressed; control under the mouse or null
    EventMouseUp = 5,         // left button released; control under the mouse or null
    EventMouseMove = 8,       // a = position, b = modifiers
    EventKeyDown = 9,         // a = character of the key, b = modifiers
    EventKeyUp = 10,
    EventPainted = 11,
    EventInitialised = 13,  // build the controls now
};

// Modifier bits of b.
enum : int32_t { ModifierShift = 1, ModifierControl = 4 };

// Positions are in the dialog's client coordinates, x in the low 16 bits and
// y in the high 16 bits.
inline int32_t packPosition(int32_t x, int32_t y) {
    return int32_t((uint32_t(uint16_t(x))) | (uint32_t(uint16_t(y)) << 16));
}
inline int32_t positionX(int32_t packed) { return int16_t(uint32_t(packed) & 0xFFFFu); }
inline int32_t positionY(int32_t packed) { return int16_t(uint32_t(packed) >> 16); }

// The position of EventMouseMove once the mouse has left the dialog's client
// area, or gone over a control that takes the mouse itself: far outside any
// window, so that whatever follows the mouse lets go.
constexpr int32_t kMouseOutside = int32_t(0x80008000u);  // x = y = -32768
