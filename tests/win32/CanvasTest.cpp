// The drawing surface, read back pixel by pixel from the window, and the
// custom-drawn colour controls and resource holders.
#include <gtest/gtest.h>
#include <windows.h>

#include "tests/win32/ScriptedDialog.h"
#include "toolkit/BitmapPair.h"
#include "toolkit/ColorBox.h"
#include "toolkit/ColorSwatch.h"
#include "toolkit/CursorHandle.h"
#include "toolkit/KeyState.h"

namespace {

COLORREF pixel(HWND window, int x, int y) {
    HDC dc = GetDC(window);
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return c;
}

// Paints the client area white so every test starts from a known background.
void whiten(HWND window) {
    HDC dc = GetDC(window);
    RECT r{};
    GetClientRect(window, &r);
    FillRect(dc, &r, HBRUSH(GetStockObject(WHITE_BRUSH)));
    ReleaseDC(window, dc);
}

const COLORREF kWhite = RGB(255, 255, 255);

}  // namespace

TEST(Rgb16, HighByteToGdiAndBackTimes256) {
    EXPECT_EQ(rgb16ToColorRef(Rgb16{65280, 32768, 255}), RGB(255, 128, 0));
    const Rgb16 back = rgb16FromColorRef(RGB(195, 1, 255));
    EXPECT_EQ(back.red, 49920);
    EXPECT_EQ(back.green, 256);
    EXPECT_EQ(back.blue, 65280);
}

TEST(KeyState, OnlyShiftControlAndSpaceAreKnown) {
    EXPECT_FALSE(isKeyDown(65));
    EXPECT_FALSE(isKeyDown(0));
    EXPECT_FALSE(isKeyDown(KeySpace));
}

TEST(Canvas, WithoutWindowNothingHappens) {
    Canvas bare;
    EXPECT_EQ(bare.deviceContext(), nullptr);
    bare.lineTo(3, 3);
    EXPECT_EQ(bare.setColor(Rgb16{1, 2, 3}), Rgb16{});
    EXPECT_EQ(bare.setDrawMode(1), 0);
    Point16 where{};
    EXPECT_EQ(bare.trackDrag(where), -1);
    EXPECT_EQ(bare.windowSize(0).h, 0);
    const Point16 screen = Canvas::screenSize();
    EXPECT_GE(screen.v, 768);  // the test screen is large enough for the plug-in
}

TEST(Canvas, LinesIncludeTheirEndPixelAndFramesTheirCorners) {
    ScriptedDialog d;
    d.body = [](ScriptedDialog& d) {
        whiten(d.window());
        EXPECT_EQ(d.setColor(Rgb16{65535, 0, 0}), Rgb16{});  // no pen of ours yet
        d.moveTo(0, 0);
        d.lineTo(3, 0);
        for (int x = 0; x <= 3; ++x) EXPECT_EQ(pixel(d.window(), x, 0), RGB(255, 0, 0)) << x;
        EXPECT_EQ(pixel(d.window(), 4, 0), kWhite);
        d.lineBy(0, 2);  // from (3, 0) to (3, 2)
        EXPECT_EQ(pixel(d.window(), 3, 2), RGB(255, 0, 0));
        EXPECT_EQ(pixel(d.window(), 3, 3), kWhite);

        d.setColor(Rgb16{0, 0, 65535});
        d.frameRect(11, 11, 13, 13);
        for (int x = 11; x <= 13; ++x) {
            EXPECT_EQ(pixel(d.window(), x, 11), RGB(0, 0, 255));
            EXPECT_EQ(pixel(d.window(), x, 13), RGB(0, 0, 255));
        }
        EXPECT_EQ(pixel(d.window(), 11, 12), RGB(0, 0, 255));
        EXPECT_EQ(pixel(d.window(), 13, 12), RGB(0, 0, 255));
        EXPECT_EQ(pixel(d.window(), 12, 12), kWhite);  // hollow
        EXPECT_EQ(pixel(d.window(), 14, 14), kWhite);

        // The previous colour comes back rounded to 8 bits per component.
        d.setColor(Rgb16{50000, 50000, 50000});
        EXPECT_EQ(d.setColor(Rgb16{0, 0, 0}), (Rgb16{49920, 49920, 49920}));

        // XOR drawing twice restores the background.
        EXPECT_EQ(d.setDrawMode(5), 0);
        EXPECT_EQ(GetROP2(d.deviceContext()), R2_COPYPEN);
        EXPECT_EQ(d.setDrawMode(2), 1);
        d.setColor(Rgb16{65535, 65535, 65535});
        d.moveTo(20, 20);
        d.lineTo(30, 20);
        EXPECT_EQ(pixel(d.window(), 25, 20), RGB(0, 0, 0));
        d.moveTo(20, 20);
        d.lineTo(29, 20);
        EXPECT_EQ(pixel(d.window(), 25, 20), kWhite);
        EXPECT_EQ(d.setDrawMode(1), 2);

        // Clipping keeps drawing inside the rectangle.
        d.setColor(Rgb16{0, 65535, 0});
        d.setClip(40, 40, 45, 45);
        d.moveTo(35, 42);
        d.lineTo(55, 42);
        EXPECT_EQ(pixel(d.window(), 42, 42), RGB(0, 255, 0));
        EXPECT_EQ(pixel(d.window(), 38, 42), kWhite);
        EXPECT_EQ(pixel(d.window(), 50, 42), kWhite);
        d.resetClip();
        d.moveTo(35, 44);
        d.lineTo(55, 44);
        EXPECT_EQ(pixel(d.window(), 50, 44), RGB(0, 255, 0));

        // Text lies above the reference point: nothing of it below.
        EXPECT_EQ(d.setFont(12), 0);
        EXPECT_EQ(d.setFont(0), 12);
        d.setColor(Rgb16{0, 0, 0});
        d.moveTo(100, 100);
        d.drawText("MMMM");
        int inkAbove = 0;
        for (int y = 91; y < 100; ++y)
            for (int x = 100; x < 130; ++x) inkAbove += pixel(d.window(), x, y) != kWhite;
        EXPECT_GT(inkAbove, 10);
        EXPECT_EQ(GetBkMode(d.deviceContext()), TRANSPARENT);
    };
    EXPECT_EQ(d.start(), 99u);
}

TEST(Canvas, GeometryOfTheDialogWindow) {
    ScriptedDialog d;
    d.body = [](ScriptedDialog& d) {
        Point16 p{10, 20};
        d.clientToScreen(p);
        EXPECT_EQ(p.h, 120);
        EXPECT_EQ(p.v, 110);
        d.screenToClient(p);
        EXPECT_EQ(p.h, 20);
        EXPECT_EQ(p.v, 10);
        Rect16 r{0, 0, 300, 400};
        d.clientToScreen(r);
        EXPECT_EQ(r.left, 100);
        EXPECT_EQ(r.bottom, 400);
        const Point16 client = d.windowSize(RectClientOnScreen);
        EXPECT_EQ(client.v, 300);
        EXPECT_EQ(client.h, 400);
        const Point16 outer = d.windowSize(RectWindow);
        EXPECT_GT(outer.v, client.v);  // caption and frame

        d.offset(15, 5, RectWindow);
        const Rect16 moved = d.windowRect(RectClientOnScreen);
        EXPECT_EQ(moved.left, 115);
        EXPECT_EQ(moved.top, 105);
        EXPECT_EQ(d.windowSize(RectClientOnScreen).h, 400);

        d.move(Point16{50, 60}, Point16{250, 360}, MoveClientArea);
        EXPECT_EQ(d.windowRect(RectClientOnScreen).left, 60);
        EXPECT_EQ(d.windowSize(RectClientOnScreen).h, 300);
        d.move(Point16{50, 60}, Point16{250, 360}, MoveExact);
        EXPECT_EQ(d.windowRect(RectWindow).left, 60);
        EXPECT_EQ(d.windowSize(RectWindow).v, 200);

        d.centerOnScreen();
        const Point16 screen = Canvas::screenSize();
        const Rect16 centred = d.windowRect(RectWindow);
        EXPECT_EQ(centred.left, (screen.h - (centred.right - centred.left)) / 2);
        EXPECT_EQ(centred.top, (screen.v - (centred.bottom - centred.top)) / 2);
        d.setTitle("Renamed");
        char title[16] = {};
        GetWindowTextA(d.window(), title, sizeof title);
        EXPECT_STREQ(title, "Renamed");
    };
    EXPECT_EQ(d.start(), 99u);
}

TEST(ColorControls, BoxesPaintHiddenOrNotSwatchesOnlyWhenVisible) {
    ScriptedDialog d;
    ColorBox box, spare;
    ColorSwatch swatch;
    d.build = [&](ScriptedDialog& d) {
        box.create(50, 50, 20, 20, &d, 1);
        swatch.create(100, 50, 20, 20, &d, 2);
        return 0u;
    };
    d.body = [&](ScriptedDialog& d) {
        d.pump(100);
        EXPECT_EQ(box.color(), (Rgb16{32768, 32768, 32768}));
        EXPECT_EQ(pixel(d.window(), 60, 60), RGB(128, 128, 128));  // painted on creation and in WM_PAINT
        box.setColor(Rgb16{65535, 0, 0});
        EXPECT_EQ(pixel(d.window(), 50, 50), RGB(255, 0, 0));
        EXPECT_EQ(pixel(d.window(), 69, 69), RGB(255, 0, 0));
        EXPECT_NE(pixel(d.window(), 70, 70), RGB(255, 0, 0));
        EXPECT_NE(pixel(d.window(), 49, 49), RGB(255, 0, 0));

        swatch.setColor(Rgb16{0, 65535, 0});
        EXPECT_EQ(pixel(d.window(), 110, 60), RGB(0, 255, 0));
        // The sunken edge stays: the corner pixel is not filled.
        EXPECT_NE(pixel(d.window(), 100, 50), RGB(0, 255, 0));

        box.show(0);
        swatch.show(0);
        whiten(d.window());
        box.setColor(Rgb16{0, 0, 65535});
        swatch.setColor(Rgb16{0, 0, 65535});
        EXPECT_EQ(pixel(d.window(), 60, 60), RGB(0, 0, 255));
        EXPECT_EQ(pixel(d.window(), 110, 60), kWhite);
        EXPECT_EQ(swatch.color(), (Rgb16{0, 0, 65535}));  // stored all the same

        // A wrapper without window keeps its colour.
        spare.setColor(Rgb16{1, 2, 3});
        EXPECT_EQ(spare.color(), (Rgb16{32768, 32768, 32768}));

        // Repainting the dialog paints the visible box again.
        box.show(1);
        whiten(d.window());
        InvalidateRect(d.window(), nullptr, FALSE);
        d.clear();
        UpdateWindow(d.window());
        d.pump(100);
        EXPECT_GE(d.count(EventPainted), 1u);
        EXPECT_EQ(pixel(d.window(), 60, 60), RGB(0, 0, 255));
    };
    EXPECT_EQ(d.start(), 99u);
}

TEST(Resources, BitmapsAndCursorsLoadFromTheModule) {
    ScriptedDialog d;
    d.body = [](ScriptedDialog& d) {
        BitmapPair pair;
        ASSERT_TRUE(pair.load(132, &d, 133));
        EXPECT_EQ(pair.size().h, 16);
        EXPECT_EQ(pair.size().v, 16);
        DIBSECTION first{}, second{};
        ASSERT_EQ(GetObject(pair.first(), sizeof first, &first), int(sizeof first));
        ASSERT_EQ(GetObject(pair.second(), sizeof second, &second), int(sizeof second));
        EXPECT_EQ(first.dsBmih.biBitCount, 8);
        EXPECT_EQ(second.dsBmih.biBitCount, 24);
        for (int id : {130, 131}) {
            BitmapPair spare;
            EXPECT_TRUE(spare.load(id, &d, 0)) << id;
            EXPECT_EQ(spare.second(), nullptr);
        }
        // A missing second picture frees the first too.
        EXPECT_FALSE(pair.load(132, &d, 999));
        EXPECT_EQ(pair.first(), nullptr);
        EXPECT_EQ(pair.size().h, 0);

        for (int id : {128, 129}) {
            CursorHandle cursor;
            ASSERT_TRUE(cursor.loadResource(id, &d)) << id;
            ICONINFO info{};
            ASSERT_TRUE(GetIconInfo(cursor.handle(), &info));
            EXPECT_FALSE(info.fIcon);
            EXPECT_EQ(info.xHotspot, 0u);
            EXPECT_EQ(info.yHotspot, id == 128 ? 15u : 0u);
            BITMAP colour{};
            if (info.hbmColor) {
                GetObject(info.hbmColor, sizeof colour, &colour);
                EXPECT_EQ(colour.bmWidth, 16);
                EXPECT_EQ(colour.bmHeight, 16);
                DeleteObject(info.hbmColor);
            }
            DeleteObject(info.hbmMask);
        }
        CursorHandle system;
        EXPECT_TRUE(system.loadSystem(SystemCursorCross));
        EXPECT_EQ(system.handle(), LoadCursorA(nullptr, IDC_CROSS));
        system.set();
        EXPECT_EQ(GetCursor(), system.handle());
        EXPECT_FALSE(system.loadSystem(3));
        EXPECT_EQ(system.handle(), nullptr);
    };
    EXPECT_EQ(d.start(), 99u);
}
