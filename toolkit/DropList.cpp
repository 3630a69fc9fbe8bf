#include "toolkit/DropList.h"

bool DropList::create(int16_t x, int16_t y, int16_t width, Dialog* owner, int id) {
    return createWindow(owner, ControlDropList, "COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL, 0, x, y, width, 100, id,
                        true);
}

void DropList::addItem(const char* text) {
    if (window_) SendMessageA(window_, CB_ADDSTRING, 0, LPARAM(text ? text : ""));
}

void DropList::addSeparator() { addItem("--------"); }

void DropList::clear() {
    if (window_) SendMessageA(window_, CB_RESETCONTENT, 0, 0);
}

int32_t DropList::selection() const {
    if (!window_) return -1;
    const LRESULT index = SendMessageA(window_, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : int32_t(index) + 1;
}

void DropList::select(int32_t n) {
    if (!window_) return;
    SendMessageA(window_, CB_SETCURSEL, WPARAM(n - 1), 0);
    storedSelection_ = n;
}

void DropList::setVisibleItems(int32_t n) {
    if (!window_) return;
    const Rect16 r = rectangle();
    const int32_t itemHeight = int32_t(SendMessageA(window_, CB_GETITEMHEIGHT, 0, 0));
    const int32_t height = (r.bottom - r.top) + n * itemHeight + 2;
    MoveWindow(window_, r.left, r.top, r.right - r.left, height, TRUE);
}
