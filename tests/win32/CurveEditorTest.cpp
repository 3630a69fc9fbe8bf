// The curve editor on a real dialog: mouse drags made with real input from a
// second thread, the curve's slots compared with the same steps made by
// placePointAt, and the drawing read back from the window pixel by pixel.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "curves/win32/CurveEditor.h"
#include "tests/win32/RealInput.h"
#include "tests/win32/ScriptedDialog.h"
#include "toolkit/ColorBox.h"
#include "toolkit/Label.h"

namespace {

// ---- the test dialog: editors wired as the main dialog wires them ----

struct EditorPane {
    ColorBox box;
    Label xText, yText;
    Curve curve{};
    CurveEditor editor;
};

// Graphs of the main dialog's size (341 x 159), one under the other.
Rect16 graphRect(int pane) { return Rect16{int16_t(20 + 215 * pane), 60, int16_t(179 + 215 * pane), 401}; }

class EditorDialog : public ScriptedDialog {
public:
    explicit EditorDialog(int panes) : panes_(panes) {
        build = [this](ScriptedDialog&) {
            for (int i = 0; i < panes_; ++i) {
                EditorPane& p = pane[i];
                const Rect16 g = graphRect(i);
                p.curve.reset(CurveHue + i);
                EXPECT_TRUE(p.box.create(g.left, g.top, g.right - g.left, g.bottom - g.top, this, 10 + i));
                p.xText.create(420, g.top + 20, 110, 16, "", this, 20 + i, AlignLeft);
                p.yText.create(420, g.top + 40, 110, 16, "", this, 30 + i, AlignLeft);
                EXPECT_TRUE(p.editor.attach(&p.box, this, g, &p.curve, &p.xText, &p.yText));
            }
            return 0u;
        };
        answer = [this](const RecordedEvent& e) -> uint32_t {
            const Point16 at{int16_t(positionY(e.a)), int16_t(positionX(e.a))};
            for (int i = 0; i < panes_; ++i) {
                if (e.code == EventPainted) pane[i].editor.paint();
                if (e.code == EventMouseMove) pane[i].editor.showReadout(at);
                if (e.code == EventMouseDown) pane[i].editor.track(at);
            }
            return 0;
        };
    }
    EditorPane pane[3];

private:
    int panes_;
};

// ---- real input ----

// A person's drag: press at the first point, move through the others in steps
// of a few pixels, release at the last. Points are client coordinates.
void dragBySecondThread(EditorDialog& d, const std::vector<POINT>& path) {
    std::vector<POINT> screen = path;
    for (POINT& p : screen) ClientToScreen(d.window(), &p);
    SetForegroundWindow(d.window());
    std::atomic<bool> done{false};
    std::thread hand([&] {
        // Put the system's pointer there too, so no stale pointer position
        // from the display moves the cursor away during the drag.
        SetCursorPos(screen[0].x, screen[0].y);
        Sleep(50);
        send(mouseAt(screen[0], 0));
        Sleep(40);
        send(mouseAt(screen[0], MOUSEEVENTF_LEFTDOWN));
        Sleep(40);
        for (size_t k = 1; k < screen.size(); ++k) {
            const POINT a = screen[k - 1], b = screen[k];
            const int steps = std::max(1L, std::max(std::labs(b.x - a.x), std::labs(b.y - a.y)) / 6);
            for (int s = 1; s <= steps; ++s) {
                send(mouseAt(POINT{a.x + (b.x - a.x) * s / steps, a.y + (b.y - a.y) * s / steps}, 0));
                Sleep(8);
            }
        }
        Sleep(40);
        send(mouseAt(screen.back(), MOUSEEVENTF_LEFTUP));
        Sleep(40);
        done = true;
    });
    d.pump(15000, [&] { return done.load(); });
    hand.join();
    d.pump(300);
    EXPECT_EQ(d.count(EventMouseDown), 1u) << "the press did not arrive";
    POINT cursor{};
    GetCursorPos(&cursor);
    EXPECT_EQ(cursor.x, screen.back().x);
    EXPECT_EQ(cursor.y, screen.back().y);
}

void moveBySecondThread(EditorDialog& d, POINT client) {
    ClientToScreen(d.window(), &client);
    SetForegroundWindow(d.window());
    std::atomic<bool> done{false};
    std::thread hand([&] {
        SetCursorPos(client.x, client.y);
        Sleep(20);
        send(mouseAt(client, 0));
        Sleep(40);
        done = true;
    });
    d.pump(5000, [&] { return done.load(); });
    hand.join();
    d.pump(150);
}

// ---- pixels read back from the window ----

class ClientPixels {
public:
    explicit ClientPixels(HWND window) {
        RECT r{};
        GetClientRect(window, &r);
        width_ = r.right;
        height_ = r.bottom;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        HDC source = GetDC(window);
        HDC memory = CreateCompatibleDC(source);
        HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width_, height_, source, 0, 0, SRCCOPY);
        GdiFlush();
        const uint32_t* p = static_cast<const uint32_t*>(bits);
        pixels_.assign(p, p + size_t(width_) * height_);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(window, source);
    }
    // As RGB(): 0x00BBGGRR.
    COLORREF at(int x, int y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
        const uint32_t v = pixels_[size_t(y) * width_ + x];
        return RGB((v >> 16) & 255, (v >> 8) & 255, v & 255);
    }
    bool operator==(const ClientPixels& o) const { return pixels_ == o.pixels_; }

private:
    int width_ = 0, height_ = 0;
    std::vector<uint32_t> pixels_;
};

COLORREF gdi(Rgb16 c) { return rgb16ToColorRef(c); }

// Rows the line may cover in column x: for each segment spanning x, the rows
// it passes between x - 0.5 and x + 0.5, widened by one pixel.
bool lineMayCover(const CurveLine& line, int x, int y) {
    GraphPoint a = line.start;
    for (const GraphPoint& b : line.vertices) {
        const int x0 = std::min(a.x, b.x), x1 = std::max(a.x, b.x);
        if (x >= x0 && x <= x1) {
            double lo = std::min(a.y, b.y), hi = std::max(a.y, b.y);
            if (a.x != b.x) {
                auto rowAt = [&](double cx) { return a.y + (b.y - a.y) * (cx - a.x) / double(b.x - a.x); };
                const double ya = rowAt(std::max(x - 0.5, double(x0))), yb = rowAt(std::min(x + 0.5, double(x1)));
                lo = std::min(ya, yb);
                hi = std::max(ya, yb);
            }
            if (y >= std::floor(lo) - 1 && y <= std::ceil(hi) + 1) return true;
        }
        a = b;
    }
    return false;
}

bool nearPoint(const CurveGraph& g, const Curve& c, int x, int y) {
    for (int i = 0; i < kCurveSlots; ++i)
        if (c.points[i] != NoPoint && std::abs(x - g.xOfIndex(i)) <= 2 && std::abs(y - g.yOfValue(c.points[i])) <= 2)
            return true;
    return false;
}

bool isDark(COLORREF c) { return GetRValue(c) < 128 && GetGValue(c) < 128 && GetBValue(c) < 128; }

// The graph, the colour bar and the axes against the drawing rules. Failures
// are counted per kind so a broken drawing reports a few lines, not thousands.
void expectDrawn(const ClientPixels& px, const CurveGraph& g, const Curve& c) {
    const Rect16& r = g.rect;
    const COLORREF background = gdi(CurveEditor::kBackgroundColor), ink = gdi(CurveEditor::kCurveColor),
                   red = gdi(CurveEditor::kPointColor), axis = gdi(CurveEditor::kAxisColor);
    const CurveLine line = curveLine(g, c);
    int strayInk = 0, strayRed = 0, strayOther = 0, gaps = 0;
    for (int x = r.left; x < r.right; ++x) {
        bool covered = false;
        for (int y = r.top; y < r.bottom; ++y) {
            const COLORREF p = px.at(x, y);
            const bool onLine = lineMayCover(line, x, y);
            if (p == ink)
                strayInk += !onLine;
            else if (p == red)
                strayRed += !nearPoint(g, c, x, y);
            else
                strayOther += p != background;
            covered |= onLine && (p == ink || p == red);
        }
        gaps += !covered;
    }
    EXPECT_EQ(strayInk, 0) << "line pixels off the line";
    EXPECT_EQ(strayRed, 0) << "point pixels away from the points";
    EXPECT_EQ(strayOther, 0) << "graph pixels of another colour";
    EXPECT_EQ(gaps, 0) << "columns the line misses";

    int pointMisses = 0;
    for (int i = 0; i < kCurveSlots; ++i) {
        if (c.points[i] == NoPoint) continue;
        const int x = g.xOfIndex(i), y = g.yOfValue(c.points[i]);
        for (const POINT e : {POINT{x - 2, y}, POINT{x + 2, y}, POINT{x, y - 2}, POINT{x, y + 2}})
            if (g.contains(Point16{int16_t(e.y), int16_t(e.x)})) pointMisses += px.at(e.x, e.y) != red;
    }
    EXPECT_EQ(pointMisses, 0) << "circle pixels missing";

    const std::vector<int32_t> ticks = horizontalTickColumns(g, c.kind);
    int barMisses = 0, tickMisses = 0;
    for (int j = 0; j < g.width(); ++j) {
        const int x = r.left + j;
        const bool tick = std::find(ticks.begin(), ticks.end(), x) != ticks.end();
        const std::array<uint16_t, 3> rgb = colorBarColor(c.kind, j, g.width());
        const COLORREF bar = gdi(Rgb16{rgb[0], rgb[1], rgb[2]});
        for (int y = r.bottom; y < r.bottom + kColorBarRows; ++y) barMisses += px.at(x, y) != (tick ? axis : bar);
        if (tick) tickMisses += px.at(x, r.bottom + kHorizontalTickRows - 1) != axis;
    }
    for (int32_t y : verticalTickRows(g))
        for (int x = r.left - kVerticalTickLength; x < r.left; ++x) tickMisses += px.at(x, y) != axis;
    EXPECT_EQ(barMisses, 0) << "colour bar pixels";
    EXPECT_EQ(tickMisses, 0) << "tick pixels";

    std::vector<AxisLabel> labels = verticalAxisLabels(g);
    for (const AxisLabel& l : horizontalAxisLabels(g, c.kind)) labels.push_back(l);
    for (const AxisLabel& l : labels) {
        int dark = 0;
        for (int y = l.at.y - 9; y < l.at.y + 6; ++y)
            for (int x = l.at.x; x < l.at.x + 40; ++x)
                if (x < r.left - kVerticalTickLength || y >= r.bottom + kHorizontalTickRows)
                    dark += isDark(px.at(x, y));
        EXPECT_GT(dark, 6) << "no text at the label \"" << l.text << "\"";
    }
}

std::string text(const Label& l) { return l.text(); }

// ---- the tests ----

struct DragCase {
    const char* name;
    int32_t kind;
    std::vector<POINT> path;  // graph-relative pixels; the first is the press
};

TEST(CurveEditor, RealDragsEditTheCurveAsPlacePointAtSays) {
    const DragCase cases[] = {
        {"saturation: drag right over points", CurveSaturation, {{30, 100}, {90, 60}, {150, 40}}},
        {"intensity: drag out past the bottom right corner", CurveIntensity, {{200, 80}, {300, 100}, {380, 190}}},
        {"hue: drag out past the left edge wraps to 360 degrees", CurveHue, {{40, 120}, {10, 90}, {-25, 60}}},
        {"hue: drag out past the right edge wraps to red", CurveHue, {{290, 30}, {330, 100}, {360, 170}}},
        {"hue: a click without movement", CurveHue, {{170, 50}}},
        {"saturation: a press outside the graph changes nothing", CurveSaturation, {{-20, 50}, {100, 50}}},
    };
    for (const DragCase& c : cases) {
        SCOPED_TRACE(c.name);
        EditorDialog d(1);
        d.body = [&](ScriptedDialog&) {
            EditorPane& p = d.pane[0];
            p.curve.reset(c.kind);
            InvalidateRect(d.window(), nullptr, TRUE);
            d.pump(200);
            const Curve before = p.curve;
            const CurveGraph& g = p.editor.graph();
            std::vector<POINT> client;
            for (const POINT& q : c.path) client.push_back(POINT{q.x + g.rect.left, q.y + g.rect.top});
            dragBySecondThread(d, client);

            // The first and the last position decide a drag that moves one way.
            Curve expected = before;
            const POINT first = c.path.front();
            const bool pressInside = g.contains(Point16{int16_t(client[0].y), int16_t(client[0].x)});
            const int lastX = std::clamp<int>(c.path.back().x, 0, g.lastColumn());
            const int lastY = std::clamp<int>(c.path.back().y, 0, g.lastRow());
            if (pressInside) {
                const int32_t index = placePointAt(expected, g, first.x, first.y, true, 0);
                placePointAt(expected, g, lastX, lastY, false, index);
            }
            for (int i = 0; i < kCurveSlots; ++i) ASSERT_EQ(p.curve.points[i], expected.points[i]) << "slot " << i;
            EXPECT_EQ(std::memcmp(p.curve.points, before.points, sizeof before.points) != 0, pressInside);
            if (c.kind == CurveHue) {
                int lowest = 0;
                while (p.curve.points[lowest] == NoPoint) ++lowest;
                EXPECT_EQ(p.curve.points[1023], p.curve.points[lowest]);
            }
            if (pressInside) {
                const ReadoutTexts shown =
                    readoutTexts(g, c.kind, Point16{int16_t(g.rect.top + lastY), int16_t(g.rect.left + lastX)});
                EXPECT_EQ(text(p.xText), shown.x);
                EXPECT_EQ(text(p.yText), shown.y);
            }
            expectDrawn(ClientPixels(d.window()), g, p.curve);
        };
        EXPECT_EQ(d.start(480, 240), 99u);
    }
}

TEST(CurveEditor, ReadoutsFollowTheMouse) {
    EditorDialog d(1);
    d.body = [&](ScriptedDialog&) {
        EditorPane& p = d.pane[0];
        const Rect16 r = p.editor.graph().rect;
        moveBySecondThread(d, POINT{r.right - 1, r.top});
        EXPECT_EQ(text(p.xText), "X: 360.0\xB0");
        EXPECT_EQ(text(p.yText), "Y: 100%");
        moveBySecondThread(d, POINT{r.left, r.bottom - 1});
        EXPECT_EQ(text(p.xText), "X: 0.0\xB0");
        EXPECT_EQ(text(p.yText), "Y: 0%");
        moveBySecondThread(d, POINT{r.left - 1, r.bottom - 1});
        EXPECT_EQ(text(p.xText), "");
        // Cleared, then the same position is shown again.
        moveBySecondThread(d, POINT{r.left, r.bottom - 1});
        p.editor.showReadout(Point16{0, kNoMousePosition});
        EXPECT_EQ(text(p.yText), "");
        p.editor.showReadout(Point16{int16_t(r.bottom - 1), r.left});
        EXPECT_EQ(text(p.yText), "Y: 0%");
    };
    EXPECT_EQ(d.start(480, 240), 99u);
}

TEST(CurveEditor, MarkerIsOneXorTriangleThatHidesCleanly) {
    EditorDialog d(1);
    d.body = [&](ScriptedDialog&) {
        EditorPane& p = d.pane[0];
        const CurveGraph& g = p.editor.graph();
        const ClientPixels clean(d.window());
        p.editor.showMarker(0.25);
        p.editor.showMarker(0.5);
        ASSERT_TRUE(p.editor.markerShown());
        const ClientPixels marked(d.window());
        const int x = markerColumn(g, 0.5);
        const COLORREF inverted = RGB(255 - 195, 255 - 195, 255 - 195);
        EXPECT_EQ(marked.at(x, g.rect.bottom - 1), inverted);
        EXPECT_EQ(marked.at(x - 2, g.rect.bottom - 3), inverted);
        // Only pixels near the second marker differ from the clean graph.
        int changed = 0, farAway = 0;
        for (int y = g.rect.top; y < g.rect.bottom; ++y)
            for (int col = g.rect.left; col < g.rect.right; ++col) {
                if (marked.at(col, y) == clean.at(col, y)) continue;
                ++changed;
                farAway += std::abs(col - x) > 3 || y < g.rect.bottom - 4;
            }
        EXPECT_GE(changed, 10);
        EXPECT_EQ(farAway, 0);
        // Redrawn under a shown marker, the graph gets it back on top, so
        // that hiding it still leaves the clean graph.
        p.editor.redraw();
        EXPECT_TRUE(ClientPixels(d.window()) == marked);
        p.editor.hideMarker();
        EXPECT_FALSE(p.editor.markerShown());
        EXPECT_TRUE(ClientPixels(d.window()) == clean);
        p.editor.hideMarker();  // nothing shown: nothing drawn
        EXPECT_TRUE(ClientPixels(d.window()) == clean);
    };
    EXPECT_EQ(d.start(480, 240), 99u);
}

// The three editors in their standard shapes. With CC_HOLD_MS set the dialog
// stays up that long, for a screenshot.
TEST(CurveEditor, ThreeStandardCurvesAreDrawnByTheRules) {
    EditorDialog d(3);
    d.body = [&](ScriptedDialog&) {
        InvalidateRect(d.window(), nullptr, TRUE);
        d.pump(200);
        const ClientPixels px(d.window());
        for (EditorPane& p : d.pane) {
            SCOPED_TRACE(p.curve.kind);
            expectDrawn(px, p.editor.graph(), p.curve);
        }
        if (const char* hold = std::getenv("CC_HOLD_MS")) d.pump(DWORD(std::atoi(hold)));
    };
    EXPECT_EQ(d.start(560, 660), 99u);
}

TEST(CurveEditor, AttachRefusesWhatItCannotDraw) {
    EditorDialog d(0);
    d.body = [&](ScriptedDialog&) {
        EditorPane& p = d.pane[0];
        ASSERT_TRUE(p.box.create(10, 10, 1, 50, &d, 9));
        p.xText.create(10, 100, 50, 16, "", &d, 8, AlignLeft);
        p.yText.create(10, 120, 50, 16, "", &d, 7, AlignLeft);
        EXPECT_FALSE(p.editor.attach(&p.box, &d, Rect16{10, 10, 60, 11}, &p.curve, &p.xText, &p.yText));
        EXPECT_FALSE(p.editor.attach(&p.box, &d, Rect16{10, 10, 60, 50}, nullptr, &p.xText, &p.yText));
        EXPECT_FALSE(p.editor.isAttached());
        p.editor.paint();  // unattached: nothing happens
        p.editor.track(Point16{20, 20});
    };
    EXPECT_EQ(d.start(200, 200), 99u);
}

}  // namespace
