// Real input for the Win32 tests: what a person's mouse and keyboard send.
#pragma once

#include <windows.h>

// A mouse event at a screen point. Absolute positions run 0..65535 over the
// screen; round up so that Wine's (dx x width) >> 16 lands on the pixel meant.
inline INPUT mouseAt(POINT screen, DWORD flags) {
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = (screen.x * 65536 + width - 1) / width;
    input.mi.dy = (screen.y * 65536 + height - 1) / height;
    input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    return input;
}

inline void send(INPUT input) { SendInput(1, &input, sizeof input); }

inline void sendKey(WORD key, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    send(input);
}
