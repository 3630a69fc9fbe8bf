#include "toolkit/Dialog.h"

#include <cstring>

#include "toolkit/ButtonControls.h"
#include "toolkit/DialogState.h"

DialogRunState& dialogRunState() {
    static DialogRunState state;
    return state;
}

namespace {

// An empty dialog: popup with caption, no system menu (so neither Escape nor
// the close command ends it), no controls, default class, empty title.
struct alignas(4) EmptyTemplate {
    DLGTEMPLATE header;
    WORD menu;
    WORD windowClass;
    WORD title;
};

}  // namespace

uint32_t Dialog::run(const char* title, int16_t x, int16_t y, int16_t width, int16_t height, Canvas* owner,
                     HINSTANCE module) {
    if (window_) return kDialogFailed;
    owner_ = owner;
    DialogRunState& state = dialogRunState();
    std::memset(state.title, 0, sizeof state.title);
    if (title) std::strncpy(state.title, title, sizeof state.title - 1);
    state.x = x;
    state.y = y;
    state.width = width;
    state.height = height;

    EmptyTemplate dialogTemplate{};
    dialogTemplate.header.style = WS_POPUP | WS_CAPTION;  // 0x80C00000
    dialogTemplate.header.dwExtendedStyle = 0;
    dialogTemplate.header.cdit = 0;
    dialogTemplate.header.x = x;
    dialogTemplate.header.y = y;
    dialogTemplate.header.cx = width;
    dialogTemplate.header.cy = height;

    HWND ownerWindow = owner ? owner->window() : GetForegroundWindow();
    instance_ = module;
    if (!instance_ && ownerWindow)
        instance_ = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(ownerWindow, GWLP_HINSTANCE));

    holdDoubleClicks();
    installedHook_ = 0;
    const INT_PTR answer = DialogBoxIndirectParamA(instance_, &dialogTemplate.header, ownerWindow, procedure,
                                                   reinterpret_cast<LPARAM>(this));
    // A dialog whose window never came up failed to build.
    const bool ranAtAll = window_ != nullptr;
    if (installedHook_) {
        removeKeyboardHook();
        installedHook_ = 0;
    }
    releaseDoubleClicks();
    releaseDrawingState();
    window_ = nullptr;
    if (!ranAtAll || answer == -1) return kDialogFailed;
    return uint32_t(answer);
}

// While the dialog has the focus no two clicks make a double click: the
// controls tell double clicks apart themselves.
void Dialog::holdDoubleClicks() {
    const UINT now = GetDoubleClickTime();
    if (now != 1) userDoubleClickTime_ = now;
    SetDoubleClickTime(1);
}

void Dialog::releaseDoubleClicks() { SetDoubleClickTime(userDoubleClickTime_); }

void Dialog::setDefaultButton(PushButton& button) {
    if (!window_ || !button.window()) return;
    const LRESULT previous = SendMessageA(window_, DM_GETDEFID, 0, 0);
    const int id = GetDlgCtrlID(button.window());
    SendMessageA(window_, DM_SETDEFID, WPARAM(id), 0);
    if (HIWORD(previous) == DC_HASDEFID) {
        HWND old = GetDlgItem(window_, LOWORD(previous));
        char windowClass[16] = {};
        if (old && GetClassNameA(old, windowClass, int(sizeof windowClass)) > 0 &&
            lstrcmpiA(windowClass, "button") == 0 && (GetWindowLongA(old, GWL_STYLE) & 0xFF) == BS_DEFPUSHBUTTON)
            SendMessageA(old, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    }
    SendMessageA(button.window(), BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    SetFocus(button.window());
}

void Dialog::centerOnScreen() {
    if (!window_) return;
    const Point16 screen = screenSize();
    const Point16 size = windowSize(RectWindow);
    const int16_t left = int16_t((screen.h - size.h) / 2);
    const int16_t top = int16_t((screen.v - size.v) / 2);
    move(Point16{top, left}, Point16{int16_t(top + size.v), int16_t(left + size.h)}, MoveExact);
}
