// The common base of every control wrapper. A wrapper owns one child window of
// a toolkit dialog; the window's user data points back at the wrapper, which
// is how the dialog procedure finds the control behind a window message.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/Geometry.h"

class Dialog;

// Type codes of the wrappers.
enum ControlType : int32_t {
    ControlCheckBox = 1,
    ControlLabel = 2,
    ControlSlider = 4,
    ControlPushButton = 5,
    ControlBitmapButton = 6,
    ControlDropList = 7,
    ControlGroupBox = 8,
    ControlCheckGroup = 9,
    ControlColorBox = 10,
    ControlScrollBar = 11,
    ControlProgressBar = 12,
    ControlSpinner = 13,
    ControlColorSwatch = 14,
    ControlRadioButton = 15,
};

class Control {
public:
    Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    // Leaves the window alone (windows die with their dialog) but unhooks it
    // from this wrapper.
    virtual ~Control();

    // Destroys the window if it still exists and clears the handle and the
    // user value.
    virtual void destroy();

    // The wrapper of a window created by this toolkit, or null.
    static Control* fromWindow(HWND window);

    HWND window() const { return window_; }
    Dialog* owner() const { return owner_; }
    // The type code; 0 without window.
    int32_t typeCode() const { return window_ ? type_ : 0; }
    int32_t userValue() const { return userValue_; }
    void setUserValue(int32_t value) { userValue_ = value; }

    void show(int32_t flag);
    bool isVisible() const;
    void enable(int32_t flag);
    // The window text, at most 1,023 characters.
    std::string text() const;
    void setText(const char* text);
    // The window's rectangle in the owner dialog's client coordinates.
    Rect16 rectangle() const;
    // v = height, h = width.
    Point16 size() const;
    bool contains(Point16 p) const;

protected:
    // Creates the child window in the owner dialog. False when this wrapper
    // already has a window, the owner has none, or creation fails.
    bool createWindow(Dialog* owner, int32_t type, const char* windowClass, const char* text, DWORD style,
                      DWORD exStyle, int x, int y, int width, int height, int id, bool guiFont);

    HWND window_ = nullptr;
    Dialog* owner_ = nullptr;
    int32_t type_ = 0;
    int32_t userValue_ = 0;
};
