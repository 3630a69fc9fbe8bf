// The dialog framework's events, produced from real window messages and input.
#include <gtest/gtest.h>
#include <windows.h>
// The common controls need the Windows types first.
#include <commctrl.h>

#include "tests/win32/RealInput.h"
#include "tests/win32/ScriptedDialog.h"
#include "toolkit/ButtonControls.h"
#include "toolkit/DropList.h"
#include "toolkit/Label.h"
#include "toolkit/ScrollBar.h"
#include "toolkit/Slider.h"
#include "toolkit/Spinner.h"

namespace {

void press(HWND window, int x, int y) {
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, clientPoint(x, y));
    SendMessageA(window, WM_LBUTTONUP, 0, clientPoint(x, y));
}

// The mouse moved by real input to client point (x, y) of window, which may
// lie outside it.
void moveMouse(HWND window, int x, int y) {
    POINT p{x, y};
    ClientToScreen(window, &p);
    send(mouseAt(p, 0));
}

}  // namespace

TEST(DialogFramework, MouseLeavingTheClientAreaMovesItOutside) {
    ScriptedDialog d;
    PushButton button;
    d.build = [&](ScriptedDialog& d) {
        button.create(20, 20, 100, 24, "Press", &d, 1);
        return 0u;
    };
    d.body = [&](ScriptedDialog& d) {
        SetForegroundWindow(d.window());
        const auto lastMove = [&] { return d.last(EventMouseMove) ? d.last(EventMouseMove)->a : 0; };
        // Onto a button, which takes the mouse itself, then off the dialog.
        const POINT away[2] = {{60, 30}, {600, 500}};
        for (const POINT& p : away) {
            moveMouse(d.window(), 200, 150);
            d.pump(3000, [&] { return lastMove() == packPosition(200, 150); });
            EXPECT_EQ(lastMove(), packPosition(200, 150));
            moveMouse(d.window(), p.x, p.y);
            d.pump(3000, [&] { return lastMove() == kMouseOutside; });
            EXPECT_EQ(lastMove(), kMouseOutside) << p.x << "," << p.y;
        }
    };
    EXPECT_EQ(d.start(), 99u);
}

TEST(DialogFramework, InitAnswerClosesAtOnceWithoutCloseRequest) {
    ScriptedDialog d;
    bool bodyRan = false;
    d.build = [](ScriptedDialog&) { return 7u; };
    d.body = [&](ScriptedDialog&) { bodyRan = true; };
    EXPECT_EQ(d.start(), 7u);
    EXPECT_FALSE(bodyRan);
    EXPECT_EQ(d.count(EventCloseRequest), 0u);
    EXPECT_EQ(d.window(), nullptr);
}

TEST(DialogFramework, ClientAreaTitleAndNestedRunRefused) {
    ScriptedDialog d;
    d.body = [](ScriptedDialog& d) {
        RECT client{};
        GetClientRect(d.window(), &client);
        EXPECT_EQ(client.right, 400);
        EXPECT_EQ(client.bottom, 300);
        POINT origin{0, 0};
        ClientToScreen(d.window(), &origin);
        EXPECT_EQ(origin.x, 100);
        EXPECT_EQ(origin.y, 100);
        const Rect16 onScreen = d.windowRect(RectClientOnScreen);
        EXPECT_EQ(onScreen.left, 100);
        EXPECT_EQ(onScreen.bottom, 400);
        EXPECT_EQ(d.windowSize(RectClientOnScreen).h, 400);
        char title[32] = {};
        GetWindowTextA(d.window(), title, sizeof title);
        EXPECT_STREQ(title, "Test");
        EXPECT_EQ(GetWindowLongA(d.window(), GWL_STYLE) & WS_SYSMENU, 0);
        // While a dialog runs no double click can happen.
        EXPECT_EQ(GetDoubleClickTime(), 1u);
        // Running the same dialog again is refused.
        EXPECT_EQ(d.run("Again", 0, 0, 10, 10, nullptr, nullptr), kDialogFailed);
    };
    // The user's own double-click time comes back, not the system's default.
    SetDoubleClickTime(333);
    EXPECT_EQ(d.start(), 99u);
    EXPECT_EQ(GetDoubleClickTime(), 333u);
    SetDoubleClickTime(0);
}

TEST(DialogFramework, CloseRequestDecidesAndChildrenAreDestroyed) {
    ScriptedDialog d;
    PushButton button;
    int requests = 0;
    d.build = [&](ScriptedDialog& d) {
        button.create(10, 10, 80, 24, "OK", &d, 1);
        return 0u;
    };
    // The first click asks to close with 5 and is refused; the second one is accepted.
    d.answer = [&](const RecordedEvent& e) -> uint32_t {
        if (e.code == EventControlChanged) return 5;
        if (e.code == EventCloseRequest) return ++requests == 1 ? 0 : uint32_t(e.a);
        return 0;
    };
    HWND buttonWindow = nullptr;
    d.body = [&](ScriptedDialog& d) {
        buttonWindow = button.window();
        SendMessageA(button.window(), BM_CLICK, 0, 0);
        EXPECT_TRUE(IsWindow(buttonWindow));
        // Escape and the close command do not close the dialog.
        SendMessageA(d.window(), WM_COMMAND, IDCANCEL, 0);
        SendMessageA(d.window(), WM_SYSCOMMAND, SC_CLOSE, 0);
        SendMessageA(d.window(), WM_CLOSE, 0, 0);
        EXPECT_TRUE(IsWindow(d.window()));
        SendMessageA(button.window(), BM_CLICK, 0, 0);
    };
    EXPECT_EQ(d.start(), 5u);
    EXPECT_EQ(requests, 2);
    EXPECT_FALSE(IsWindow(buttonWindow));
    const RecordedEvent* request = d.last(EventCloseRequest);
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->a, 5);
    EXPECT_EQ(request->control, nullptr);
}

TEST(DialogFramework, GroupBoxClickReachesTheControlInside) {
    ScriptedDialog d;
    GroupBox group;
    CheckGroup checkGroup;
    Label inner, innerOfCheckGroup;
    d.build = [&](ScriptedDialog& d) {
        group.create(10, 10, 200, 100, "Group", &d, 1);
        inner.create(30, 40, 60, 16, "Inner", &d, 2, 1);
        checkGroup.create(10, 150, 200, 100, "Checked", &d, 3);
        innerOfCheckGroup.create(30, 180, 60, 16, "Inner 2", &d, 4, 1);
        return 0u;
    };
    d.body = [&](ScriptedDialog& d) {
        // The frames come first in the z order, so the system's hit is the frame.
        ASSERT_EQ(ChildWindowFromPoint(d.window(), POINT{35, 45}), group.window());
        SendMessageA(d.window(), WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, clientPoint(35, 45));
        const RecordedEvent* down = d.last(EventMouseDown);
        ASSERT_NE(down, nullptr);
        EXPECT_EQ(down->control, &inner);
        EXPECT_EQ(positionX(down->a), 35);
        EXPECT_EQ(positionY(down->a), 45);
        EXPECT_EQ(down->b, ModifierShift);
        // Inside the frame but over nothing else: no control.
        SendMessageA(d.window(), WM_LBUTTONDOWN, MK_LBUTTON, clientPoint(150, 90));
        EXPECT_EQ(d.last(EventMouseDown)->control, nullptr);
        SendMessageA(d.window(), WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, clientPoint(35, 185));
        EXPECT_EQ(d.last(EventMouseDown)->control, &innerOfCheckGroup);
        EXPECT_EQ(d.last(EventMouseDown)->b, ModifierControl);
        // The check group's own title is passed over too.
        const Rect16 title = checkGroup.rectangle();
        SendMessageA(d.window(), WM_LBUTTONDOWN, MK_LBUTTON, clientPoint(title.left + 2, title.top + 2));
        EXPECT_EQ(d.last(EventMouseDown)->control, nullptr);
        // Outside every control: no control; release gives event 5.
        press(d.window(), 300, 280);
        EXPECT_EQ(d.last(EventMouseDown)->control, nullptr);
        ASSERT_NE(d.last(EventMouseUp), nullptr);
        EXPECT_EQ(positionX(d.last(EventMouseUp)->a), 300);
        EXPECT_EQ(positionY(d.last(EventMouseUp)->a), 280);
        // A label outside any group is its own hit.
        SendMessageA(d.window(), WM_MOUSEMOVE, MK_SHIFT | MK_CONTROL, clientPoint(7, 9));
        EXPECT_EQ(d.last(EventMouseMove)->b, ModifierShift | ModifierControl);
        EXPECT_EQ(d.last(EventMouseMove)->a, packPosition(7, 9));
    };
    EXPECT_EQ(d.start(), 99u);
}

TEST(DialogFramework, OnlyDraggingTheThumbChangesASlider) {
    ScriptedDialog d;
    Slider slider;
    d.build = [&](ScriptedDialog& d) {
        slider.create(20, 20, 300, 30, &d, 1, 0, 100, 50, true, 11);
        return 0u;
    };
    d.body = [&](ScriptedDialog& d) {
        SetFocus(slider.window());
        for (WPARAM key : {WPARAM(VK_RIGHT), WPARAM(VK_LEFT), WPARAM(VK_NEXT), WPARAM(VK_PRIOR)}) {
            SendMessageA(slider.window(), WM_KEYDOWN, key, 0);
            SendMessageA(slider.window(), WM_KEYUP, key, 0);
            EXPECT_EQ(slider.position(), 50) << "key " << key;
        }
        // A click in the channel beside the thumb pages, and springs back.
        RECT thumb{};
        SendMessageA(slider.window(), TBM_GETTHUMBRECT, 0, LPARAM(&thumb));
        const int y = (thumb.top + thumb.bottom) / 2;
        SendMessageA(slider.window(), WM_LBUTTONDOWN, MK_LBUTTON, clientPoint(thumb.right + 40, y));
        SendMessageA(slider.window(), WM_LBUTTONUP, 0, clientPoint(thumb.right + 40, y));
        EXPECT_EQ(slider.position(), 50);
        EXPECT_EQ(d.count(EventControlChanged), 0u);
        EXPECT_EQ(d.count(EventThumbDragged), 0u);

        // Dragging the thumb: tracking events, then one change with the new position stored.
        const int x = (thumb.left + thumb.right) / 2;
        SendMessageA(slider.window(), WM_LBUTTONDOWN, MK_LBUTTON, clientPoint(x, y));
        SendMessageA(slider.window(), WM_MOUSEMOVE, MK_LBUTTON, clientPoint(x + 60, y));
        SendMessageA(slider.window(), WM_LBUTTONUP, 0, clientPoint(x + 60, y));
        EXPECT_GE(d.count(EventThumbDragged, &slider), 1u);
        EXPECT_EQ(d.count(EventControlChanged, &slider), 1u);
        EXPECT_GT(slider.position(), 50);
        EXPECT_EQ(slider.storedPosition(), slider.position());
        EXPECT_EQ(d.last(EventThumbDragged)->a, slider.position());
        EXPECT_EQ(d.last(EventControlChanged)->a, 0);
        // The same position again is no change.
        SendMessageA(d.window(), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, slider.position()), LPARAM(slider.window()));
        EXPECT_EQ(d.count(EventControlChanged, &slider), 1u);
    };
    EXPECT_EQ(d.start(), 99u);
}

TEST(DialogFramework, ScrollBarsStepWithinTheirRange) {
    ScriptedDialog d;
    ScrollBar bar;
    d.build = [&](ScriptedDialog& d) {
        bar.create(20, 20, 14, 200, &d, 1, 0, 10, 8);  // page step 5
        return 0u;
    };
    d.body = [&](ScriptedDialog& d) {
        auto scroll = [&](int request, int position = 0) {
            SendMessageA(d.window(), WM_VSCROLL, MAKEWPARAM(request, position), LPARAM(bar.window()));
        };
        scroll(SB_LINEDOWN);
        EXPECT_EQ(bar.position(), 9);
        scroll(SB_PAGEDOWN);  // cut at the end
        EXPECT_EQ(bar.position(), 10);
        EXPECT_EQ(d.count(EventControlChanged, &bar), 2u);
        scroll(SB_LINEDOWN);  // would not move
        EXPECT_EQ(d.count(EventControlChanged, &bar), 2u);
        scroll(SB_PAGEUP);
        EXPECT_EQ(bar.position(), 5);
        scroll(SB_THUMBTRACK, 3);
        EXPECT_EQ(d.last(EventThumbDragged)->a, 3);
        EXPECT_EQ(bar.storedPosition(), 5);
        scroll(SB_THUMBPOSITION, 3);
        EXPECT_EQ(bar.position(), 3);
        EXPECT_EQ(bar.storedPosition(), 3);
        scroll(SB_THUMBPOSITION, 3);
        scroll(SB_ENDSCROLL);
        EXPECT_EQ(d.count(EventControlChanged, &bar), 4u);
    };
    EXPECT_EQ(d.start(), 99u);
}

TEST(DialogFramework, DropListChangeOnlyForANewSelection) {
    ScriptedDialog d;
    DropList list;
    d.build = [&](ScriptedDialog& d) {
        list.create(20, 20, 120, &d, 1);
        list.addItem("One");
        list.addItem("Two");
        list.addItem("Three");
        list.select(1);
        return 0u;
    };
    d.body = [&](ScriptedDialog& d) {
        SetFocus(list.window());
        SendMessageA(list.window(), WM_KEYDOWN, VK_DOWN, 0);
        EXPECT_EQ(list.selection(), 2);
        EXPECT_EQ(list.storedSelection(), 2);
        ASSERT_EQ(d.count(EventControlChanged, &list), 1u);
        // Choosing the selected item again is no change.
        SendMessageA(d.window(), WM_COMMAND, MAKEWPARAM(1, CBN_SELCHANGE), LPARAM(list.window()));
        EXPECT_EQ(d.count(EventControlChanged, &list), 1u);
    };
    EXPECT_EQ(d.start(), 99u);
}

TEST(DialogFramework, SpaceBarReachesTheDialogThroughTheHook) {
    ScriptedDialog d;
    PushButton button;
    d.build = [&](ScriptedDialog& d) {
        button.create(20, 20, 100, 24, "Press", &d, 1);
        return 0u;
    };
    d.body = [&](ScriptedDialog& d) {
        SetForegroundWindow(d.window());
        d.setDefaultButton(button);
        EXPECT_EQ(GetFocus(), button.window());
        EXPECT_EQ(GetWindowLongA(button.window(), GWL_STYLE) & 0xFF, BS_DEFPUSHBUTTON);
        d.pump(100);
        d.clear();
        sendKey(VK_SPACE, false);
        sendKey(VK_SPACE, true);
        d.pump(3000, [&] { return d.count(EventKeyUp) > 0; });
        ASSERT_EQ(d.count(EventKeyDown), 1u);
        ASSERT_EQ(d.count(EventKeyUp), 1u);
        EXPECT_EQ(d.last(EventKeyDown)->a, 32);
        EXPECT_EQ(d.last(EventKeyUp)->a, 32);
        EXPECT_EQ(d.count(EventControlChanged), 0u);  // the button was not pressed
        // Escape does not close the dialog.
        sendKey(VK_ESCAPE, false);
        sendKey(VK_ESCAPE, true);
        d.pump(200);
        EXPECT_TRUE(IsWindowVisible(d.window()));
        // Keys sent to the dialog itself carry their character and modifiers.
        SendMessageA(d.window(), WM_KEYDOWN, 'A', 0);
        EXPECT_EQ(d.last(EventKeyDown)->a, 'A');
        EXPECT_EQ(d.last(EventKeyDown)->b, 0);
    };
    EXPECT_EQ(d.start(), 99u);
}

TEST(DialogFramework, SpinnerPressCompletesOnlyOverThePressedHalf) {
    ScriptedDialog d;
    Spinner spinner, failed;
    d.build = [&](ScriptedDialog& d) {
        spinner.create(50, 40, &d, 1, 0, 3, 2);
        return 0u;
    };
    d.body = [&](ScriptedDialog& d) {
        EXPECT_FALSE(failed.create(80, 40, &d, 2, 5, 5, 5));
        EXPECT_EQ(spinner.size().h, 13);
        EXPECT_EQ(spinner.size().v, 24);
        const int x = 56, upper = 45, lower = 58;
        press(d.window(), x, upper);
        EXPECT_EQ(spinner.value(), 3);
        EXPECT_EQ(d.count(EventMouseUp, &spinner), 1u);
        EXPECT_EQ(d.count(EventControlChanged, &spinner), 1u);
        // At the maximum a click on the upper arrow gives event 5 but no change.
        press(d.window(), x, upper);
        EXPECT_EQ(spinner.value(), 3);
        EXPECT_EQ(d.count(EventMouseUp, &spinner), 2u);
        EXPECT_EQ(d.count(EventControlChanged, &spinner), 1u);
        // Press the lower arrow, slide up to the upper one and release: nothing.
        SendMessageA(d.window(), WM_LBUTTONDOWN, MK_LBUTTON, clientPoint(x, lower));
        SendMessageA(d.window(), WM_MOUSEMOVE, MK_LBUTTON, clientPoint(x, upper));
        SendMessageA(d.window(), WM_LBUTTONUP, 0, clientPoint(x, upper));
        EXPECT_EQ(spinner.value(), 3);
        EXPECT_EQ(d.count(EventControlChanged, &spinner), 1u);
        // Released look: the upper inside is face colour, not shadow.
        HDC dc = GetDC(spinner.window());
        EXPECT_EQ(GetPixel(dc, 5, 8), GetSysColor(COLOR_BTNFACE));
        EXPECT_EQ(GetPixel(dc, 5, 19), GetSysColor(COLOR_BTNFACE));
        // Pressed look while held over the lower half, released when moved off it.
        SendMessageA(d.window(), WM_LBUTTONDOWN, MK_LBUTTON, clientPoint(x, lower));
        EXPECT_EQ(GetPixel(dc, 2, 19), GetSysColor(COLOR_BTNSHADOW));
        EXPECT_EQ(GetPixel(dc, 2, 8), GetSysColor(COLOR_BTNFACE));
        SendMessageA(d.window(), WM_MOUSEMOVE, MK_LBUTTON, clientPoint(200, 200));
        EXPECT_EQ(GetPixel(dc, 2, 19), GetSysColor(COLOR_BTNFACE));
        SendMessageA(d.window(), WM_MOUSEMOVE, MK_LBUTTON, clientPoint(x, lower));
        EXPECT_EQ(GetPixel(dc, 2, 19), GetSysColor(COLOR_BTNSHADOW));
        SendMessageA(d.window(), WM_LBUTTONUP, 0, clientPoint(x, lower));
        EXPECT_EQ(GetPixel(dc, 2, 19), GetSysColor(COLOR_BTNFACE));
        EXPECT_EQ(spinner.value(), 2);
        EXPECT_EQ(d.count(EventControlChanged, &spinner), 2u);
        // Arrow tips are black.
        EXPECT_EQ(GetPixel(dc, 6, 4), RGB(0, 0, 0));
        EXPECT_EQ(GetPixel(dc, 6, 18), RGB(0, 0, 0));
        ReleaseDC(spinner.window(), dc);
        spinner.setValue(200);
        EXPECT_EQ(spinner.value(), 3);
        spinner.setRange(5, 5);  // refused
        int32_t lo = 0, hi = 0;
        spinner.range(lo, hi);
        EXPECT_EQ(hi, 3);
    };
    EXPECT_EQ(d.start(), 99u);
    Spinner clamped;
    ScriptedDialog second;
    second.body = [&](ScriptedDialog& d) {
        ASSERT_TRUE(clamped.create(10, 10, &d, 1, 0, 100, 200));
        EXPECT_EQ(clamped.value(), 100);
    };
    EXPECT_EQ(second.start(), 99u);
}
