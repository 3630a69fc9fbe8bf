// The window record every toolkit dialog carries: draws on the window's client
// area with GDI, answers geometry questions and tracks mouse drags. Every
// operation does nothing, or returns the stated default, while the record has
// no window.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/Geometry.h"
#include "toolkit/Rgb16.h"

// Drawing modes of Canvas::setDrawMode.
enum : int32_t { DrawModeCopy = 1, DrawModeXor = 2, DrawModeOther = 9 };
// Rectangle modes of the geometry operations.
enum : int32_t { RectClientOnScreen = 1, RectWindow = 0 };
// Move modes: MoveExact places the window rectangle as given; any other mode
// treats the rectangle as the client area and widens it by the window's frame.
enum : int32_t { MoveClientArea = 1, MoveExact = 2 };

class Canvas {
public:
    Canvas() = default;
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    // Virtual: dialogs derive from it, and an owner is held as a Canvas.
    virtual ~Canvas();

    // Makes a bare record refer to an existing window (for instance the host's
    // main window, passed as the owner of a dialog).
    void attach(HWND window);

    HWND window() const { return window_; }
    HINSTANCE instance() const { return instance_; }
    Canvas* owner() const { return owner_; }
    int32_t fontSize() const { return fontSize_; }

    // ---- drawing, in client coordinates ----
    void moveTo(int32_t x, int32_t y);
    // Draws to (x, y) including the end pixel, in the pen's colour.
    void lineTo(int32_t x, int32_t y);
    void lineBy(int32_t dx, int32_t dy);
    // Hollow rectangle and ellipse; right and bottom are included.
    void frameRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
    void frameEllipse(int32_t left, int32_t top, int32_t right, int32_t bottom);
    // Transparent text whose top lies the font size (9 with the default
    // font) above the current position.
    void drawText(const char* text);
    void setClip(int32_t left, int32_t top, int32_t right, int32_t bottom);
    void resetClip();
    // Selects a 1-pixel pen and text colour of c; returns the previous pen's
    // colour (zero when this record had made no pen).
    Rgb16 setColor(Rgb16 c);
    // Size in points; 0 selects the default GUI font. Returns the previous size.
    int32_t setFont(int32_t points);
    // 1 copy, 2 XOR; returns the previous mode (1, 2, 9 other, 0 failure).
    // Any other requested mode changes nothing and returns 0.
    int32_t setDrawMode(int32_t mode);
    // The record's device context, acquired on first use and kept.
    HDC deviceContext();
    // Gives back the device context and deletes the pen and font this
    // record made; called when the window goes away.
    void releaseDrawingState();

    // ---- geometry ----
    void screenToClient(Point16& p) const;
    void clientToScreen(Point16& p) const;
    void screenToClient(Rect16& r) const;
    void clientToScreen(Rect16& r) const;
    // Mode 1: the client rectangle on the screen; other modes: the window
    // rectangle.
    Rect16 windowRect(int32_t mode) const;
    // v = height, h = width of windowRect(mode).
    Point16 windowSize(int32_t mode) const;
    void move(Point16 topLeft, Point16 bottomRight, int32_t mode);
    // Moves the window by dh to the right and dv down, keeping its size.
    void offset(int32_t dh, int32_t dv, int32_t mode);
    void show(int32_t flag);
    void setTitle(const char* text);
    // Follows the mouse from the current cursor position: 2 when a drag was
    // detected, 1 when the button was released first, -1 without window. The
    // last cursor position, in client coordinates, goes into where.
    int32_t trackDrag(Point16& where);
    // The desktop window's client size: v = height, h = width.
    static Point16 screenSize();

protected:
    HWND window_ = nullptr;
    HINSTANCE instance_ = nullptr;
    Canvas* owner_ = nullptr;
    HDC dc_ = nullptr;
    HPEN pen_ = nullptr;
    HFONT font_ = nullptr;
    int32_t fontSize_ = 0;
};
