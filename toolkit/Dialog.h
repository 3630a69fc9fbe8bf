// Modal dialogs built from an empty in-memory template. A derived dialog
// creates its controls on the init event and decides, event by event, whether
// the dialog closes and with which result. While a dialog runs, a thread
// keyboard hook sends the space bar to it whichever control has the focus,
// and the system double-click time is 1 ms so no double clicks arrive.
#pragma once

#include <windows.h>

#include <cstdint>

#include "toolkit/Canvas.h"
#include "toolkit/DialogEvent.h"

class Control;
class PushButton;

// Result of Dialog::run when the dialog is already running or could not be
// built.
constexpr uint32_t kDialogFailed = 3;

class Dialog : public Canvas {
public:
    Dialog() = default;
    // Does not destroy a window.
    virtual ~Dialog() = default;

    // Runs the dialog modally with a client area of width x height pixels at
    // (x, y) on the screen. The owner's window (or the foreground window)
    // owns it; the module is the one given or the owner window's. Returns the
    // result handleEvent decided, or 3 when the dialog is already running or
    // could not be built.
    uint32_t run(const char* title, int16_t x, int16_t y, int16_t width, int16_t height, Canvas* owner,
                 HINSTANCE module);

    // 0 keeps the dialog open; any other value closes it with that result,
    // subject to the close request (event 3) that follows for every event but
    // the init event.
    virtual uint32_t handleEvent(int32_t code, Control* control, int32_t a, int32_t b) = 0;

    // Makes the button the default push button and gives it the focus.
    void setDefaultButton(PushButton& button);
    // Centres the window on the desktop's client area.
    void centerOnScreen();

    // The radio button clicked last, or null.
    HWND lastRadio() const { return lastRadio_; }

private:
    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Turns one window message into events; 0 means nothing to close.
    uint32_t translate(UINT message, WPARAM wParam, LPARAM lParam);
    uint32_t onInit(HWND window);
    uint32_t onPaint();
    uint32_t onMouseMove(WPARAM wParam, LPARAM lParam);
    uint32_t onLeftButtonDown(WPARAM wParam, LPARAM lParam);
    uint32_t onLeftButtonUp(WPARAM wParam, LPARAM lParam);
    uint32_t onScroll(WPARAM wParam, LPARAM lParam);
    uint32_t onCommand(WPARAM wParam, LPARAM lParam);
    // The wrapper of a direct child of this dialog, or null.
    Control* wrapperOf(HWND child) const;
    void closeWith(uint32_t result);

    HWND lastRadio_ = nullptr;
    uint8_t installedHook_ = 0;
    // The user's own double-click time, put back whenever the dialog stops
    // holding it at 1 ms (0 asks for the system's default).
    UINT userDoubleClickTime_ = 0;
    void holdDoubleClicks();
    void releaseDoubleClicks();
};
