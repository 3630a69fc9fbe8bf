#include "toolkit/KeyState.h"

#include <windows.h>

bool isKeyDown(int keyCode) {
    int virtualKey = 0;
    switch (keyCode) {
        case KeyShift:
            virtualKey = VK_SHIFT;
            break;
        case KeyControl:
            virtualKey = VK_CONTROL;
            break;
        case KeySpace:
            virtualKey = VK_SPACE;
            break;
        default:
            return false;
    }
    return (GetKeyState(virtualKey) & 0x8000) != 0;
}
