#include "toolkit/ButtonControls.h"

#include "toolkit/BitmapPair.h"

bool PushButton::create(int16_t x, int16_t y, int16_t width, int16_t height, const char* text, Dialog* owner, int id) {
    return createWindow(owner, ControlPushButton, "BUTTON", text, BS_PUSHBUTTON, 0, x, y, width, height, id, true);
}

bool BitmapButton::create(int16_t x, int16_t y, const BitmapPair& pictures, Dialog* owner, int id) {
    if (window_ || !pictures.first()) return false;
    const Point16 size = pictures.size();
    if (!createWindow(owner, ControlBitmapButton, "BUTTON", "", BS_BITMAP, 0, x, y, size.h + 4, size.v + 4, id, false))
        return false;
    SendMessageA(window_, BM_SETIMAGE, IMAGE_BITMAP, LPARAM(pictures.first()));
    return true;
}

bool CheckBox::create(int16_t x, int16_t y, int16_t width, const char* text, Dialog* owner, int id, bool triState) {
    return createWindow(owner, ControlCheckBox, "BUTTON", text, triState ? BS_AUTO3STATE : BS_AUTOCHECKBOX, 0, x, y,
                        width, 13, id, true);
}

int32_t CheckBox::state() const {
    if (!window_) return -1;
    const LRESULT s = SendMessageA(window_, BM_GETCHECK, 0, 0);
    if (s == BST_CHECKED) return CheckOn;
    if (s == BST_INDETERMINATE) return CheckIndeterminate;
    return CheckOff;
}

void CheckBox::setState(int32_t state) {
    if (!window_) return;
    const WPARAM s = (state == CheckOn || state == CheckIndeterminate) ? WPARAM(state) : WPARAM(BST_UNCHECKED);
    SendMessageA(window_, BM_SETCHECK, s, 0);
}

// A plain radio button: the dialog checks it and unchecks the others of its
// user value. The system's automatic kind would also uncheck the radio
// buttons of every other group in the dialog.
bool RadioButton::create(int16_t x, int16_t y, int16_t width, const char* text, Dialog* owner, int id) {
    return createWindow(owner, ControlRadioButton, "BUTTON", text, BS_RADIOBUTTON, 0, x, y, width, 13, id, true);
}

int32_t RadioButton::isChecked() const {
    if (!window_) return -1;
    return SendMessageA(window_, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void RadioButton::setChecked(int32_t flag) {
    if (window_) SendMessageA(window_, BM_SETCHECK, flag == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool GroupBox::create(int16_t x, int16_t y, int16_t width, int16_t height, const char* text, Dialog* owner, int id) {
    return createWindow(owner, ControlGroupBox, "BUTTON", text, BS_GROUPBOX, 0, x, y, width, height, id, true);
}

bool CheckGroup::create(int16_t x, int16_t y, int16_t width, int16_t height, const char* text, Dialog* owner, int id) {
    if (!createWindow(owner, ControlCheckGroup, "BUTTON", text, BS_AUTOCHECKBOX, WS_EX_TRANSPARENT, x + 10, y, 0, 13,
                      id, true))
        return false;
    // The title is as wide as its text in the GUI font, plus room for the box.
    SIZE extent{};
    const std::string title = text ? text : "";
    HDC dc = GetDC(window_);
    if (dc) {
        HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        GetTextExtentPoint32A(dc, title.c_str(), int(title.size()), &extent);
        SelectObject(dc, old);
        ReleaseDC(window_, dc);
    }
    SetWindowPos(window_, nullptr, 0, 0, extent.cx + 20, 13, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    frame_.create(x, y, width, height, "", owner, 0);
    return true;
}
