// The one dialog procedure of the toolkit: finds the Dialog behind a window,
// turns window messages into events, and closes the dialog when an answer and
// its close request agree.
#include <windows.h>
// The common controls and message crackers need the Windows types first.
#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "toolkit/ButtonControls.h"
#include "toolkit/ColorBox.h"
#include "toolkit/ColorSwatch.h"
#include "toolkit/Dialog.h"
#include "toolkit/DialogState.h"
#include "toolkit/DropList.h"
#include "toolkit/KeyState.h"
#include "toolkit/ScrollBar.h"
#include "toolkit/Slider.h"
#include "toolkit/Spinner.h"
#include "toolkit/SpinnerPress.h"

namespace {

int32_t mouseModifiers(WPARAM flags) {
    return ((flags & MK_SHIFT) ? ModifierShift : 0) + ((flags & MK_CONTROL) ? ModifierControl : 0);
}

int32_t keyModifiers() {
    return (isKeyDown(KeyShift) ? ModifierShift : 0) + (isKeyDown(KeyControl) ? ModifierControl : 0);
}

bool isGroupFrame(const Control* c) {
    return c && (c->typeCode() == ControlGroupBox || c->typeCode() == ControlCheckGroup);
}

bool isButton(const Control* c) {
    switch (c->typeCode()) {
        case ControlCheckBox:
        case ControlPushButton:
        case ControlBitmapButton:
        case ControlGroupBox:
        case ControlCheckGroup:
        case ControlRadioButton:
            return true;
        default:
            return false;
    }
}

BOOL CALLBACK destroyChild(HWND child, LPARAM) {
    if (IsWindow(child)) DestroyWindow(child);
    return TRUE;
}

RECT rectInParent(HWND child, HWND parent) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

}  // namespace

INT_PTR CALLBACK Dialog::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<Dialog*>(lParam);
    } else {
        dialog = reinterpret_cast<Dialog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (!dialog || dialog->window_ != window) return 0;
    }
    if (!dialog) return 0;
    try {
        if (message == WM_DESTROY) {
            dialog->releaseDrawingState();
            return 0;
        }
        uint32_t result =
            message == WM_INITDIALOG ? dialog->onInit(window) : dialog->translate(message, wParam, lParam);
        if (result == 0) return 0;
        if (message != WM_INITDIALOG) {
            result = dialog->handleEvent(EventCloseRequest, nullptr, int32_t(result), 0);
            if (result == 0) return 0;
        }
        dialog->closeWith(result);
    } catch (...) {
        // Nothing may escape into the system; a dialog that failed closes.
        if (dialog->window_) dialog->closeWith(kDialogFailed);
    }
    return 0;
}

void Dialog::closeWith(uint32_t result) {
    EnumChildWindows(window_, destroyChild, 0);
    EndDialog(window_, INT_PTR(result));
}

Control* Dialog::wrapperOf(HWND child) const {
    if (!child || child == window_ || GetParent(child) != window_) return nullptr;
    return Control::fromWindow(child);
}

uint32_t Dialog::onInit(HWND window) {
    DialogRunState& state = dialogRunState();
    window_ = window;
    state.current = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowTextA(window, state.title);
    move(Point16{state.y, state.x}, Point16{int16_t(state.y + state.height), int16_t(state.x + state.width)},
         MoveClientArea);
    // The dialog chooses its cursors itself.
    SetClassLongPtrA(window, GCLP_HCURSOR, 0);
    if (!state.keyboardHook && installKeyboardHook()) installedHook_ = 1;
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES};
    if (!InitCommonControlsEx(&controls)) return kDialogFailed;
    return handleEvent(EventInitialised, nullptr, 0, 0);
}

uint32_t Dialog::translate(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETFOCUS:
            holdDoubleClicks();
            return 0;
        case WM_KILLFOCUS:
            releaseDoubleClicks();
            return 0;
        case WM_PAINT:
            return onPaint();
        case WM_KEYDOWN:
        case WM_KEYUP:
            return handleEvent(message == WM_KEYDOWN ? EventKeyDown : EventKeyUp, nullptr,
                               int32_t(MapVirtualKeyA(UINT(wParam), MAPVK_VK_TO_CHAR)), keyModifiers());
        case WM_MOUSEMOVE:
            return onMouseMove(wParam, lParam);
        case WM_MOUSELEAVE:
            return handleEvent(EventMouseMove, nullptr, kMouseOutside, keyModifiers());
        case WM_LBUTTONDOWN:
            return onLeftButtonDown(wParam, lParam);
        case WM_LBUTTONUP:
            return onLeftButtonUp(wParam, lParam);
        case WM_HSCROLL:
        case WM_VSCROLL:
            return onScroll(wParam, lParam);
        case WM_COMMAND:
            return onCommand(wParam, lParam);
        default:
            return 0;
    }
}

uint32_t Dialog::onPaint() {
    PAINTSTRUCT paint{};
    BeginPaint(window_, &paint);
    for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        Control* c = Control::fromWindow(child);
        if (!c) continue;
        if (c->typeCode() == ControlColorBox)
            static_cast<ColorBox*>(c)->paint();
        else if (c->typeCode() == ControlColorSwatch)
            static_cast<ColorSwatch*>(c)->paint();
        else if (c->typeCode() == ControlSpinner)
            static_cast<Spinner*>(c)->paint(SpinnerReleased);
        else
            continue;
        const RECT r = rectInParent(child, window_);
        ValidateRect(window_, &r);
    }
    EndPaint(window_, &paint);
    return handleEvent(EventPainted, nullptr, 0, 0);
}

uint32_t Dialog::onMouseMove(WPARAM wParam, LPARAM lParam) {
    const int32_t x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    if ((wParam & MK_LBUTTON) && spinnerPressActive())
        trackSpinnerPress(wrapperOf(ChildWindowFromPoint(window_, POINT{x, y})), y);
    // Told when the mouse leaves, so that what follows it can let go.
    TRACKMOUSEEVENT leave{sizeof(TRACKMOUSEEVENT), TME_LEAVE, window_, 0};
    TrackMouseEvent(&leave);
    return handleEvent(EventMouseMove, nullptr, packPosition(x, y), mouseModifiers(wParam));
}

uint32_t Dialog::onLeftButtonDown(WPARAM wParam, LPARAM lParam) {
    const int32_t x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    const POINT point{x, y};
    Control* control = wrapperOf(ChildWindowFromPoint(window_, point));
    if (isGroupFrame(control)) {
        // A group's frame covers the controls inside it: the click goes to the
        // first other child under the mouse, or to none.
        control = nullptr;
        for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            const RECT r = rectInParent(child, window_);
            if (!PtInRect(&r, point)) continue;
            Control* inner = wrapperOf(child);
            if (isGroupFrame(inner)) continue;
            control = inner;
            break;
        }
    }
    if (control && control->typeCode() == ControlSpinner) {
        beginSpinnerPress(*static_cast<Spinner*>(control), y);
        // Keep the mouse so the release is seen wherever it happens.
        SetCapture(window_);
    }
    return handleEvent(EventMouseDown, control, packPosition(x, y), mouseModifiers(wParam));
}

uint32_t Dialog::onLeftButtonUp(WPARAM wParam, LPARAM lParam) {
    const int32_t x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
    Control* control = wrapperOf(ChildWindowFromPoint(window_, POINT{x, y}));
    int32_t half = 0;
    Spinner* stepped = spinnerPressActive() ? finishSpinnerPress(control, y, half) : nullptr;
    if (GetCapture() == window_) ReleaseCapture();
    const int32_t position = packPosition(x, y);
    const int32_t modifiers = mouseModifiers(wParam);
    uint32_t result = handleEvent(EventMouseUp, control, position, modifiers);
    if (stepped) {
        int32_t minimum = 0, maximum = 0;
        stepped->range(minimum, maximum);
        const int32_t value = stepped->value();
        int32_t next = value;
        if (half == SpinnerUpperPressed && value < maximum) next = value + 1;
        if (half == SpinnerLowerPressed && value > minimum) next = value - 1;
        if (next != value) {
            stepped->setValue(next);
            const uint32_t changed = handleEvent(EventControlChanged, stepped, position, modifiers);
            if (result == 0) result = changed;
        }
    }
    return result;
}

uint32_t Dialog::onScroll(WPARAM wParam, LPARAM lParam) {
    Control* control = wrapperOf(reinterpret_cast<HWND>(lParam));
    if (!control) return 0;
    const int request = LOWORD(wParam);
    if (control->typeCode() == ControlSlider) {
        Slider* slider = static_cast<Slider*>(control);
        if (request == TB_THUMBTRACK) return handleEvent(EventThumbDragged, slider, slider->position(), 0);
        if (request == TB_THUMBPOSITION) {
            const int32_t p = slider->position();
            if (p == slider->storedPosition()) return 0;
            slider->setStoredPosition(p);
            return handleEvent(EventControlChanged, slider, 0, 0);
        }
        // Keyboard and page moves do not count: the thumb springs back.
        if (request >= TB_LINEUP && request <= TB_PAGEDOWN) slider->setPosition(slider->storedPosition());
        return 0;
    }
    if (control->typeCode() == ControlScrollBar) {
        ScrollBar* bar = static_cast<ScrollBar*>(control);
        const int32_t thumb = int32_t(HIWORD(wParam));
        if (request == SB_THUMBTRACK) return handleEvent(EventThumbDragged, bar, thumb, 0);
        int32_t minimum = 0, maximum = 0;
        bar->range(minimum, maximum);
        const int32_t stored = bar->storedPosition();
        int32_t next = stored;
        switch (request) {
            case SB_THUMBPOSITION:
                next = thumb;
                break;
            case SB_LINEUP:
                next = std::max(stored - 1, minimum);
                break;
            case SB_LINEDOWN:
                next = std::min(stored + 1, maximum);
                break;
            case SB_PAGEUP:
                next = std::max(stored - bar->pageStep(), minimum);
                break;
            case SB_PAGEDOWN:
                next = std::min(stored + bar->pageStep(), maximum);
                break;
            default:
                return 0;
        }
        if (next == stored) return 0;
        bar->setPosition(next);
        return handleEvent(EventControlChanged, bar, 0, 0);
    }
    return 0;
}

uint32_t Dialog::onCommand(WPARAM wParam, LPARAM lParam) {
    Control* control = wrapperOf(reinterpret_cast<HWND>(lParam));
    if (!control) return 0;
    const int notification = HIWORD(wParam);
    POINT cursor{};
    GetCursorPos(&cursor);
    ScreenToClient(window_, &cursor);
    const int32_t position = packPosition(cursor.x, cursor.y);
    if (notification == BN_CLICKED && isButton(control)) {
        if (control->typeCode() == ControlRadioButton) {
            lastRadio_ = control->window();
            static_cast<RadioButton*>(control)->setChecked(1);
            for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
                Control* other = Control::fromWindow(child);
                if (other && other != control && other->typeCode() == ControlRadioButton &&
                    other->userValue() == control->userValue())
                    static_cast<RadioButton*>(other)->setChecked(0);
            }
        }
        return handleEvent(EventControlChanged, control, position, keyModifiers());
    }
    if (notification == CBN_SELCHANGE && control->typeCode() == ControlDropList) {
        DropList* list = static_cast<DropList*>(control);
        const int32_t n = list->selection();
        if (n == list->storedSelection()) return 0;
        list->setStoredSelection(n);
        return handleEvent(EventControlChanged, list, position, keyModifiers());
    }
    return 0;
}
