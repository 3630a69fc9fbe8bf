// Process-wide state of the dialog framework. One modal dialog runs at a time
// on the user-interface thread, so plain globals serve.
#pragma once

#include <windows.h>

#include <cstdint>

struct DialogRunState {
    char title[1024] = {};  // title of the dialog being started
    int16_t x = 0, y = 0, width = 0, height = 0;
    HWND current = nullptr;  // the dialog that receives space-bar keys
    HHOOK keyboardHook = nullptr;
};

DialogRunState& dialogRunState();

// Installs the thread keyboard hook unless one is installed; true when this
// call installed it.
bool installKeyboardHook();
void removeKeyboardHook();
