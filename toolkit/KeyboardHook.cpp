// The thread keyboard hook: the space bar goes to the current dialog as
// WM_KEYDOWN / WM_KEYUP, whichever control has the focus, and no control
// sees it (a focused push button is not pressed). Control+Z, the undo key,
// goes to the dialog as well while one of its controls has the focus.
#include "toolkit/DialogState.h"

namespace {

LRESULT CALLBACK keyboardHook(int code, WPARAM key, LPARAM keyData) {
    DialogRunState& state = dialogRunState();
    if (code >= 0 && key == VK_SPACE && state.current) {
        // A peek without removal sees the key again later: post it only once.
        if (code == HC_ACTION) {
            const bool released = (uint32_t(keyData) & 0x80000000u) != 0;
            PostMessageA(state.current, released ? WM_KEYUP : WM_KEYDOWN, VK_SPACE, 0);
        }
        return 1;
    }
    if (code == HC_ACTION && key == 'Z' && state.current && GetKeyState(VK_CONTROL) < 0) {
        const HWND focus = GetFocus();
        if (focus == state.current || IsChild(state.current, focus)) {
            if ((uint32_t(keyData) & 0x80000000u) == 0) PostMessageA(state.current, WM_KEYDOWN, 'Z', 0);
            return 1;
        }
    }
    return CallNextHookEx(state.keyboardHook, code, key, keyData);
}

}  // namespace

bool installKeyboardHook() {
    DialogRunState& state = dialogRunState();
    if (state.keyboardHook) return false;
    state.keyboardHook = SetWindowsHookExA(WH_KEYBOARD, keyboardHook, nullptr, GetCurrentThreadId());
    return state.keyboardHook != nullptr;
}

void removeKeyboardHook() {
    DialogRunState& state = dialogRunState();
    if (state.keyboardHook) UnhookWindowsHookEx(state.keyboardHook);
    state.keyboardHook = nullptr;
}
