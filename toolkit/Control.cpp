#include "toolkit/Control.h"

#include <set>

#include "toolkit/Dialog.h"

namespace {

// Wrappers that are alive, so that a user data value that is not one of ours
// is never followed. Touched only on the user-interface thread.
std::set<const Control*>& liveWrappers() {
    static std::set<const Control*> wrappers;
    return wrappers;
}

}  // namespace

Control::~Control() {
    liveWrappers().erase(this);
    if (window_ && IsWindow(window_) && GetWindowLongPtrA(window_, GWLP_USERDATA) == LONG_PTR(this))
        SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
}

void Control::destroy() {
    if (window_ && IsWindow(window_)) DestroyWindow(window_);
    window_ = nullptr;
    userValue_ = 0;
}

Control* Control::fromWindow(HWND window) {
    if (!window) return nullptr;
    Control* wrapper = reinterpret_cast<Control*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!wrapper || liveWrappers().count(wrapper) == 0 || wrapper->window_ != window) return nullptr;
    return wrapper;
}

bool Control::createWindow(Dialog* owner, int32_t type, const char* windowClass, const char* text, DWORD style,
                           DWORD exStyle, int x, int y, int width, int height, int id, bool guiFont) {
    if (window_ || !owner || !owner->window()) return false;
    HWND created =
        CreateWindowExA(exStyle, windowClass, text ? text : "", WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                        owner->window(), reinterpret_cast<HMENU>(INT_PTR(id)), owner->instance(), nullptr);
    if (!created) return false;
    window_ = created;
    type_ = type;
    owner_ = owner;
    liveWrappers().insert(this);
    SetWindowLongPtrA(created, GWLP_USERDATA, LONG_PTR(this));
    if (guiFont) SendMessageA(created, WM_SETFONT, WPARAM(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    return true;
}

void Control::show(int32_t flag) {
    if (window_) ShowWindow(window_, flag == 1 ? SW_SHOW : SW_HIDE);
}

bool Control::isVisible() const { return window_ && IsWindowVisible(window_); }

void Control::enable(int32_t flag) {
    if (window_) EnableWindow(window_, flag == 1);
}

std::string Control::text() const {
    if (!window_) return std::string();
    char buffer[1024];
    const int n = GetWindowTextA(window_, buffer, int(sizeof buffer));
    return std::string(buffer, n > 0 ? size_t(n) : 0);
}

void Control::setText(const char* text) {
    if (window_) SetWindowTextA(window_, text ? text : "");
}

Rect16 Control::rectangle() const {
    if (!window_) return Rect16{};
    RECT r{};
    GetWindowRect(window_, &r);
    HWND parent = owner_ ? owner_->window() : nullptr;
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return Rect16{int16_t(r.top), int16_t(r.left), int16_t(r.bottom), int16_t(r.right)};
}

Point16 Control::size() const {
    const Rect16 r = rectangle();
    return Point16{int16_t(r.bottom - r.top), int16_t(r.right - r.left)};
}

bool Control::contains(Point16 p) const {
    const Rect16 r = rectangle();
    return r.left <= p.h && p.h < r.right && r.top <= p.v && p.v < r.bottom;
}
