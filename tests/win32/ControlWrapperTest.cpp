// The control wrappers against real windows in a running toolkit dialog.
#include <gtest/gtest.h>
#include <windows.h>
// The common controls need the Windows types first.
#include <commctrl.h>

#include "tests/win32/ScriptedDialog.h"
#include "toolkit/BitmapPair.h"
#include "toolkit/ButtonControls.h"
#include "toolkit/DropList.h"
#include "toolkit/Label.h"
#include "toolkit/ProgressBar.h"
#include "toolkit/ScrollBar.h"
#include "toolkit/Slider.h"

namespace {

LONG styleOf(const Control& c) { return GetWindowLongA(c.window(), GWL_STYLE); }

// Runs body in a live dialog.
void inDialog(const std::function<void(ScriptedDialog&)>& body) {
    ScriptedDialog dialog;
    dialog.body = body;
    EXPECT_EQ(dialog.start(), 99u);
}

}  // namespace

TEST(SliderTickFrequency, FirstCountWhoseGapsDivideTheSpan) {
    EXPECT_EQ(sliderTickFrequency(100, 11), 10);
    EXPECT_EQ(sliderTickFrequency(100, 4), 100);  // 100 % 3 != 0, k = 2 gives the span
    EXPECT_EQ(sliderTickFrequency(100, 6), 20);
    EXPECT_EQ(sliderTickFrequency(90, 4), 30);
    EXPECT_EQ(sliderTickFrequency(7, 5), 7);  // k = 5, 3 fail; ticks at the ends only
    EXPECT_EQ(sliderTickFrequency(100, 1), 100);
    EXPECT_EQ(sliderTickFrequency(100, 0), 0);
    EXPECT_EQ(sliderTickFrequency(100, -3), 0);
}

TEST(ControlWrappers, WithoutWindowEveryOperationIsInert) {
    PushButton button;
    Slider slider;
    ScrollBar bar;
    DropList list;
    CheckBox box;
    RadioButton radio;
    EXPECT_EQ(button.typeCode(), 0);
    EXPECT_FALSE(button.isVisible());
    EXPECT_EQ(button.text(), "");
    const Rect16 r = button.rectangle();
    EXPECT_EQ(r.top | r.left | r.bottom | r.right, 0);
    EXPECT_FALSE(button.contains(Point16{0, 0}));
    EXPECT_EQ(slider.position(), -1);
    EXPECT_EQ(slider.storedPosition(), -1);
    EXPECT_EQ(bar.position(), -1);
    EXPECT_EQ(bar.pageStep(), -1);
    EXPECT_EQ(list.selection(), -1);
    EXPECT_EQ(box.state(), -1);
    EXPECT_EQ(radio.isChecked(), -1);
    button.show(1);
    button.setText("x");
    list.addItem("x");
    bar.setPageStep(5);
    EXPECT_EQ(bar.pageStep(), -1);
    // A wrapper without a live owner window cannot create one.
    ScriptedDialog notRunning;
    EXPECT_FALSE(button.create(0, 0, 10, 10, "x", &notRunning, 1));
}

TEST(ControlWrappers, CreatingTwiceFailsAndKeepsTheFirstWindow) {
    inDialog([](ScriptedDialog& d) {
        PushButton button;
        ASSERT_TRUE(button.create(10, 20, 80, 24, "Go", &d, 7));
        HWND first = button.window();
        EXPECT_FALSE(button.create(50, 60, 80, 24, "Again", &d, 8));
        EXPECT_EQ(button.window(), first);
        EXPECT_TRUE(IsWindow(first));
        EXPECT_EQ(button.text(), "Go");
        EXPECT_EQ(button.typeCode(), ControlPushButton);
        EXPECT_EQ(Control::fromWindow(first), &button);
        EXPECT_EQ(GetDlgCtrlID(first), 7);
        const Rect16 r = button.rectangle();
        EXPECT_EQ(r.left, 10);
        EXPECT_EQ(r.top, 20);
        EXPECT_EQ(r.right, 90);
        EXPECT_EQ(r.bottom, 44);
        EXPECT_TRUE(button.contains(Point16{20, 10}));
        EXPECT_FALSE(button.contains(Point16{20, 90}));  // right edge is exclusive
        EXPECT_FALSE(button.contains(Point16{44, 10}));
        EXPECT_EQ(SendMessageA(first, WM_GETFONT, 0, 0), LRESULT(GetStockObject(DEFAULT_GUI_FONT)));
        button.enable(0);
        EXPECT_FALSE(IsWindowEnabled(first));
        button.show(0);
        EXPECT_FALSE(button.isVisible());
        button.setUserValue(5);
        // Destroying a window behind the wrapper's back is harmless.
        DestroyWindow(first);
        button.destroy();
        EXPECT_EQ(button.window(), nullptr);
        EXPECT_EQ(button.userValue(), 0);
        EXPECT_EQ(button.typeCode(), 0);
    });
}

TEST(ControlWrappers, SlidersStoreTheirPositionAndTicks) {
    inDialog([](ScriptedDialog& d) {
        Slider every10, ends, plain, upright;
        ASSERT_TRUE(every10.create(10, 10, 200, 30, &d, 1, 0, 100, 30, true, 11));
        ASSERT_TRUE(ends.create(10, 50, 200, 30, &d, 2, 0, 100, 0, true, 4));
        ASSERT_TRUE(plain.create(10, 90, 200, 30, &d, 3, -50, 50, 10, false, 0));
        ASSERT_TRUE(upright.create(250, 10, 30, 30, &d, 4, 0, 10, 3, true, 0));
        EXPECT_EQ(every10.position(), 30);
        EXPECT_EQ(every10.storedPosition(), 30);
        every10.setPosition(70);
        EXPECT_EQ(every10.position(), 70);
        EXPECT_EQ(every10.storedPosition(), 70);
        // A tick every 10 over 0..100: 11 ticks with the ends.
        EXPECT_EQ(SendMessageA(every10.window(), TBM_GETNUMTICS, 0, 0), 11);
        EXPECT_EQ(SendMessageA(ends.window(), TBM_GETNUMTICS, 0, 0), 2);
        EXPECT_TRUE(styleOf(every10) & TBS_AUTOTICKS);
        EXPECT_EQ(styleOf(plain) & (TBS_NOTICKS | TBS_BOTH), TBS_NOTICKS | TBS_BOTH);
        EXPECT_TRUE(styleOf(upright) & TBS_NOTICKS);
        EXPECT_FALSE(styleOf(upright) & TBS_BOTH);
        EXPECT_TRUE(styleOf(upright) & TBS_VERT);  // not wider than high
        EXPECT_FALSE(styleOf(every10) & TBS_VERT);
        int32_t lo = 0, hi = 0;
        plain.range(lo, hi);
        EXPECT_EQ(lo, -50);
        EXPECT_EQ(hi, 50);
        EXPECT_EQ(plain.position(), 10);
        every10.setRange(0, 50);
        EXPECT_EQ(SendMessageA(every10.window(), TBM_GETNUMTICS, 0, 0), 11);  // every 5 now
        EXPECT_EQ(SendMessageA(every10.window(), WM_GETFONT, 0, 0), 0);
    });
}

TEST(ControlWrappers, ScrollBarsAreFourteenPixelsThickWithHalfRangePages) {
    inDialog([](ScriptedDialog& d) {
        ScrollBar across, down;
        ASSERT_TRUE(across.create(10, 10, 200, 40, &d, 1, 0, 100, 25));
        ASSERT_TRUE(down.create(250, 10, 40, 200, &d, 2, 10, 21, 12));
        // Made 14 thick; the alignment styles let the system give its own
        // scroll bar thickness (its metric, plus one pixel on some systems).
        EXPECT_GE(across.size().v, GetSystemMetrics(SM_CYHSCROLL));
        EXPECT_LE(across.size().v, GetSystemMetrics(SM_CYHSCROLL) + 1);
        EXPECT_EQ(across.size().h, 200);
        EXPECT_GE(down.size().h, GetSystemMetrics(SM_CXVSCROLL));
        EXPECT_LE(down.size().h, GetSystemMetrics(SM_CXVSCROLL) + 1);
        EXPECT_EQ(down.size().v, 200);
        EXPECT_EQ(down.rectangle().left, 250);  // left-aligned
        EXPECT_EQ(across.rectangle().top, 10);  // top-aligned
        EXPECT_TRUE(styleOf(down) & SBS_VERT);
        EXPECT_FALSE(styleOf(across) & SBS_VERT);
        EXPECT_EQ(across.pageStep(), 50);
        EXPECT_EQ(down.pageStep(), 5);
        EXPECT_EQ(across.position(), 25);
        EXPECT_EQ(across.storedPosition(), 25);
        int32_t lo = 0, hi = 0;
        down.range(lo, hi);
        EXPECT_EQ(lo, 10);
        EXPECT_EQ(hi, 21);
        across.setPosition(80);
        EXPECT_EQ(across.position(), 80);
        EXPECT_EQ(across.storedPosition(), 80);
        across.setPageStep(7);
        EXPECT_EQ(across.pageStep(), 7);
    });
}

TEST(ControlWrappers, DropListsSelectOneBasedItems) {
    inDialog([](ScriptedDialog& d) {
        DropList list;
        ASSERT_TRUE(list.create(10, 10, 120, &d, 1));
        EXPECT_EQ(list.selection(), -1);
        list.addItem("RGB");
        list.addItem("HSI");
        list.addSeparator();
        EXPECT_EQ(list.selection(), -1);
        list.select(1);
        EXPECT_EQ(list.selection(), 1);
        EXPECT_EQ(SendMessageA(list.window(), CB_GETCURSEL, 0, 0), 0);
        EXPECT_EQ(list.storedSelection(), 1);
        char third[32] = {};
        SendMessageA(list.window(), CB_GETLBTEXT, 2, LPARAM(third));
        EXPECT_STREQ(third, "--------");
        // Room for n items: the dropped list grows by one item height per item.
        auto droppedHeight = [&] {
            RECT dropped{};
            SendMessageA(list.window(), CB_GETDROPPEDCONTROLRECT, 0, LPARAM(&dropped));
            return dropped.bottom - dropped.top;
        };
        const LRESULT itemHeight = SendMessageA(list.window(), CB_GETITEMHEIGHT, 0, 0);
        list.setVisibleItems(3);
        const LONG three = droppedHeight();
        list.setVisibleItems(5);
        EXPECT_EQ(droppedHeight() - three, 2 * itemHeight);
        EXPECT_EQ(list.rectangle().left, 10);
        list.clear();
        EXPECT_EQ(SendMessageA(list.window(), CB_GETCOUNT, 0, 0), 0);
        EXPECT_EQ(list.selection(), -1);
    });
}

TEST(ControlWrappers, CheckBoxStatesAndRadioGroups) {
    inDialog([](ScriptedDialog& d) {
        CheckBox box, triple;
        ASSERT_TRUE(box.create(10, 10, 100, "Edges Only", &d, 1, false));
        ASSERT_TRUE(triple.create(10, 30, 100, "Mixed", &d, 2, true));
        EXPECT_EQ(box.size().v, 13);
        EXPECT_EQ(box.size().h, 100);
        EXPECT_EQ(styleOf(box) & 0xF, BS_AUTOCHECKBOX);
        EXPECT_EQ(styleOf(triple) & 0xF, BS_AUTO3STATE);
        triple.setState(2);
        EXPECT_EQ(triple.state(), 2);
        triple.setState(7);
        EXPECT_EQ(triple.state(), 0);
        box.setState(1);
        EXPECT_EQ(box.state(), 1);
        box.setState(0);
        EXPECT_EQ(box.state(), 0);

        RadioButton a, b, other;
        ASSERT_TRUE(a.create(10, 60, 80, "A", &d, 3));
        ASSERT_TRUE(b.create(10, 80, 80, "B", &d, 4));
        ASSERT_TRUE(other.create(10, 100, 80, "C", &d, 5));
        a.setUserValue(1);
        b.setUserValue(1);
        other.setUserValue(2);
        b.setChecked(1);
        other.setChecked(1);
        EXPECT_EQ(b.isChecked(), 1);
        // The click notification alone: the dialog checks the radio and
        // unchecks the radios of the same user value only.
        SendMessageA(d.window(), WM_COMMAND, MAKEWPARAM(3, BN_CLICKED), LPARAM(a.window()));
        EXPECT_EQ(a.isChecked(), 1);
        EXPECT_EQ(b.isChecked(), 0);
        EXPECT_EQ(other.isChecked(), 1);
        EXPECT_EQ(d.lastRadio(), a.window());
        EXPECT_EQ(d.count(EventControlChanged, &a), 1u);
        // A real click on b unchecks a and leaves the other group alone.
        SendMessageA(b.window(), BM_CLICK, 0, 0);
        EXPECT_EQ(b.isChecked(), 1);
        EXPECT_EQ(a.isChecked(), 0);
        EXPECT_EQ(other.isChecked(), 1);
        EXPECT_EQ(d.count(EventControlChanged, &b), 1u);
    });
}

TEST(ControlWrappers, LabelsGroupsAndProgressBars) {
    inDialog([](ScriptedDialog& d) {
        Label left, centre, right;
        ASSERT_TRUE(left.create(10, 10, 100, 16, "Left", &d, 1, 1));
        ASSERT_TRUE(centre.create(10, 30, 100, 16, "Centre", &d, 2, 2));
        ASSERT_TRUE(right.create(10, 50, 100, 16, "Right", &d, 3, 9));
        EXPECT_EQ(styleOf(left) & SS_TYPEMASK, SS_LEFT);
        EXPECT_EQ(styleOf(centre) & SS_TYPEMASK, SS_CENTER);
        EXPECT_EQ(styleOf(right) & SS_TYPEMASK, SS_RIGHT);
        EXPECT_EQ(centre.typeCode(), ControlLabel);

        CheckGroup group;
        ASSERT_TRUE(group.create(150, 10, 200, 100, "Overlay", &d, 4));
        EXPECT_EQ(group.typeCode(), ControlCheckGroup);
        EXPECT_EQ(group.frame().typeCode(), ControlGroupBox);
        EXPECT_EQ(GetDlgCtrlID(group.frame().window()), 0);
        EXPECT_EQ(group.frame().text(), "");
        EXPECT_TRUE(GetWindowLongA(group.window(), GWL_EXSTYLE) & WS_EX_TRANSPARENT);
        const Rect16 title = group.rectangle();
        EXPECT_EQ(title.left, 160);
        EXPECT_EQ(title.top, 10);
        EXPECT_EQ(title.bottom - title.top, 13);
        // As wide as the text in the GUI font plus 20 for the box.
        HDC dc = GetDC(group.window());
        SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        SIZE extent{};
        GetTextExtentPoint32A(dc, "Overlay", 7, &extent);
        ReleaseDC(group.window(), dc);
        EXPECT_EQ(title.right - title.left, extent.cx + 20);
        group.setState(1);
        EXPECT_EQ(group.state(), 1);

        ProgressBar bar;
        ASSERT_TRUE(bar.create(10, 200, 300, &d, 5));
        EXPECT_EQ(bar.size().v, 12);
        EXPECT_EQ(SendMessageA(bar.window(), PBM_GETPOS, 0, 0), 0);
        bar.setPosition(40);
        EXPECT_EQ(SendMessageA(bar.window(), PBM_GETPOS, 0, 0), 40);
    });
}

TEST(ControlWrappers, BitmapButtonsNeedAPicture) {
    inDialog([](ScriptedDialog& d) {
        BitmapPair none, pictures;
        BitmapButton empty, slot;
        EXPECT_FALSE(empty.create(10, 10, none, &d, 1));
        ASSERT_TRUE(pictures.load(132, &d, 133));
        ASSERT_TRUE(slot.create(10, 10, pictures, &d, 2));
        EXPECT_EQ(slot.size().h, 20);  // 16 + 4
        EXPECT_EQ(slot.size().v, 20);
        EXPECT_EQ(HBITMAP(SendMessageA(slot.window(), BM_GETIMAGE, IMAGE_BITMAP, 0)), pictures.first());
    });
}
