#include "toolkit/Canvas.h"

namespace {

Rect16 toRect16(const RECT& r) {
    Rect16 out;
    out.top = int16_t(r.top);
    out.left = int16_t(r.left);
    out.bottom = int16_t(r.bottom);
    out.right = int16_t(r.right);
    return out;
}

}  // namespace

Canvas::~Canvas() { releaseDrawingState(); }

void Canvas::attach(HWND window) { window_ = window; }

HDC Canvas::deviceContext() {
    if (!window_) return nullptr;
    if (!dc_) dc_ = GetDC(window_);
    return dc_;
}

void Canvas::releaseDrawingState() {
    if (dc_) {
        SelectObject(dc_, GetStockObject(BLACK_PEN));
        SelectObject(dc_, GetStockObject(DEFAULT_GUI_FONT));
        if (window_) ReleaseDC(window_, dc_);
        dc_ = nullptr;
    }
    if (pen_) DeleteObject(pen_);
    if (font_) DeleteObject(font_);
    pen_ = nullptr;
    font_ = nullptr;
}

void Canvas::moveTo(int32_t x, int32_t y) {
    HDC dc = deviceContext();
    if (dc) MoveToEx(dc, x, y, nullptr);
}

void Canvas::lineTo(int32_t x, int32_t y) {
    HDC dc = deviceContext();
    if (!dc) return;
    LineTo(dc, x, y);
    // LineTo leaves out the end pixel. In XOR mode draw it as a one-pixel
    // line, so drawing the same lines again removes them exactly.
    if (GetROP2(dc) != R2_COPYPEN) {
        LineTo(dc, x + 1, y);
        MoveToEx(dc, x, y, nullptr);
        return;
    }
    LOGPEN pen{};
    COLORREF color = RGB(0, 0, 0);
    HGDIOBJ current = GetCurrentObject(dc, OBJ_PEN);
    if (current && GetObject(current, sizeof pen, &pen) == sizeof pen) color = pen.lopnColor;
    SetPixel(dc, x, y, color);
}

void Canvas::lineBy(int32_t dx, int32_t dy) {
    HDC dc = deviceContext();
    if (!dc) return;
    POINT p{};
    GetCurrentPositionEx(dc, &p);
    lineTo(p.x + dx, p.y + dy);
}

void Canvas::frameRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    HDC dc = deviceContext();
    if (!dc) return;
    HGDIOBJ old = SelectObject(dc, GetStockObject(HOLLOW_BRUSH));
    Rectangle(dc, left, top, right + 1, bottom + 1);
    SelectObject(dc, old);
}

void Canvas::frameEllipse(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    HDC dc = deviceContext();
    if (!dc) return;
    HGDIOBJ old = SelectObject(dc, GetStockObject(HOLLOW_BRUSH));
    Ellipse(dc, left, top, right + 1, bottom + 1);
    SelectObject(dc, old);
}

void Canvas::drawText(const char* text) {
    HDC dc = deviceContext();
    if (!dc || !text) return;
    if (GetBkMode(dc) != TRANSPARENT) SetBkMode(dc, TRANSPARENT);
    POINT p{};
    GetCurrentPositionEx(dc, &p);
    const int32_t rise = fontSize_ != 0 ? fontSize_ : 9;
    TextOutA(dc, p.x, p.y - rise, text, int(lstrlenA(text)));
}

void Canvas::setClip(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    HDC dc = deviceContext();
    if (!dc) return;
    HRGN region = CreateRectRgn(left, top, right, bottom);
    if (!region) return;
    SelectClipRgn(dc, region);
    DeleteObject(region);
}

void Canvas::resetClip() {
    HDC dc = deviceContext();
    if (!dc) return;
    RECT r{};
    GetClientRect(window_, &r);
    setClip(r.left, r.top, r.right, r.bottom);
}

Rgb16 Canvas::setColor(Rgb16 c) {
    Rgb16 previous;
    HDC dc = deviceContext();
    if (!dc) return previous;
    if (pen_) {
        SelectObject(dc, GetStockObject(BLACK_PEN));
        LOGPEN old{};
        if (GetObject(pen_, sizeof old, &old) == sizeof old) previous = rgb16FromColorRef(old.lopnColor);
        DeleteObject(pen_);
        pen_ = nullptr;
    }
    const COLORREF color = rgb16ToColorRef(c);
    pen_ = CreatePen(PS_SOLID, 1, color);
    if (pen_) SelectObject(dc, pen_);
    SetTextColor(dc, color);
    return previous;
}

int32_t Canvas::setFont(int32_t points) {
    HDC dc = deviceContext();
    if (!dc) return 0;
    const int32_t previous = fontSize_;
    if (font_) {
        SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        DeleteObject(font_);
        font_ = nullptr;
    }
    if (points == 0) {
        SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    } else {
        // Height in device pixels for the point size, then in logical units.
        POINT height{0, (points * GetDeviceCaps(dc, LOGPIXELSY)) / 72};
        DPtoLP(dc, &height, 1);
        font_ = CreateFontA(-height.y, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Arial");
        if (font_) SelectObject(dc, font_);
    }
    fontSize_ = points;
    return previous;
}

int32_t Canvas::setDrawMode(int32_t mode) {
    HDC dc = deviceContext();
    if (!dc) return 0;
    int rop = 0;
    if (mode == DrawModeCopy)
        rop = R2_COPYPEN;
    else if (mode == DrawModeXor)
        rop = R2_XORPEN;
    else
        return 0;
    const int previous = SetROP2(dc, rop);
    if (previous == R2_COPYPEN) return DrawModeCopy;
    if (previous == R2_XORPEN) return DrawModeXor;
    if (previous == 0) return 0;
    return DrawModeOther;
}

void Canvas::screenToClient(Point16& p) const {
    if (!window_) return;
    POINT q{p.h, p.v};
    ScreenToClient(window_, &q);
    p.h = int16_t(q.x);
    p.v = int16_t(q.y);
}

void Canvas::clientToScreen(Point16& p) const {
    if (!window_) return;
    POINT q{p.h, p.v};
    ClientToScreen(window_, &q);
    p.h = int16_t(q.x);
    p.v = int16_t(q.y);
}

void Canvas::screenToClient(Rect16& r) const {
    Point16 a{r.top, r.left}, b{r.bottom, r.right};
    screenToClient(a);
    screenToClient(b);
    r = Rect16{a.v, a.h, b.v, b.h};
}

void Canvas::clientToScreen(Rect16& r) const {
    Point16 a{r.top, r.left}, b{r.bottom, r.right};
    clientToScreen(a);
    clientToScreen(b);
    r = Rect16{a.v, a.h, b.v, b.h};
}

Rect16 Canvas::windowRect(int32_t mode) const {
    if (!window_) return Rect16{};
    RECT r{};
    if (mode == RectClientOnScreen) {
        GetClientRect(window_, &r);
        POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
        ClientToScreen(window_, &corners[0]);
        ClientToScreen(window_, &corners[1]);
        r = RECT{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    } else {
        GetWindowRect(window_, &r);
    }
    return toRect16(r);
}

Point16 Canvas::windowSize(int32_t mode) const {
    const Rect16 r = windowRect(mode);
    return Point16{int16_t(r.bottom - r.top), int16_t(r.right - r.left)};
}

void Canvas::move(Point16 topLeft, Point16 bottomRight, int32_t mode) {
    if (!window_) return;
    RECT r{topLeft.h, topLeft.v, bottomRight.h, bottomRight.v};
    // Widen by the window's own frame, so the client area is exactly the
    // rectangle asked for (a fixed caption-and-sizing-border frame would make
    // it larger on a dialog with the thinner dialog frame).
    if (mode != MoveExact)
        AdjustWindowRectEx(&r, DWORD(GetWindowLongA(window_, GWL_STYLE)), FALSE,
                           DWORD(GetWindowLongA(window_, GWL_EXSTYLE)));
    MoveWindow(window_, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

void Canvas::offset(int32_t dh, int32_t dv, int32_t mode) {
    if (!window_) return;
    RECT r{};
    GetWindowRect(window_, &r);
    // A child window is placed in its parent's client coordinates.
    HWND parent = GetParent(window_);
    if (parent && (GetWindowLongA(window_, GWL_STYLE) & WS_CHILD)) MapWindowPoints(nullptr, parent, (POINT*)&r, 2);
    (void)mode;  // the window keeps its size whichever rectangle is meant
    MoveWindow(window_, r.left + dh, r.top + dv, r.right - r.left, r.bottom - r.top, TRUE);
}

void Canvas::show(int32_t flag) {
    if (window_) ShowWindow(window_, flag == 1 ? SW_SHOW : SW_HIDE);
}

void Canvas::setTitle(const char* text) {
    if (window_) SetWindowTextA(window_, text ? text : "");
}

int32_t Canvas::trackDrag(Point16& where) {
    if (!window_) return -1;
    POINT p{};
    GetCursorPos(&p);
    const BOOL dragged = DragDetect(window_, p);
    GetCursorPos(&p);
    ScreenToClient(window_, &p);
    where.h = int16_t(p.x);
    where.v = int16_t(p.y);
    return dragged ? 2 : 1;
}

Point16 Canvas::screenSize() {
    RECT r{};
    GetClientRect(GetDesktopWindow(), &r);
    return Point16{int16_t(r.bottom - r.top), int16_t(r.right - r.left)};
}
