// The main dialog's cursors, run in this process on the stand-in host so
// that the cursor shown can be told apart by its hot spot: the library's
// sampling cursor over the preview image, its panning cursor while the space
// bar is held, the system cross over a curve pane and the system arrow
// elsewhere. A second thread moves the mouse and presses keys with real
// input, then cancels the dialog.
#include <gtest/gtest.h>
#include <windows.h>

#include <thread>

#include "dialog/MainDialogLayout.h"
#include "dialog/win32/MainDialog.h"
#include "host/HostCore.h"
#include "services/HostServices.h"
#include "tests/win32/RealInput.h"

namespace {

void moveTo(POINT screen) {
    for (int step = 1; step >= 0; --step) {  // from beside it: a move must move
        send(mouseAt(POINT{screen.x + step, screen.y}, 0));
        Sleep(100);
    }
    Sleep(200);
}

void key(WORD vk, bool up) {
    sendKey(vk, up);
    Sleep(200);
}

POINT middleOf(HWND dialog, int id) {
    RECT r{};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

HCURSOR shownCursor() {
    CURSORINFO info{};
    info.cbSize = sizeof info;
    GetCursorInfo(&info);
    return info.hCursor;
}

POINT hotSpot(HCURSOR cursor) {
    ICONINFO icon{};
    if (!GetIconInfo(cursor, &icon)) return POINT{-1, -1};
    if (icon.hbmMask) DeleteObject(icon.hbmMask);
    if (icon.hbmColor) DeleteObject(icon.hbmColor);
    return POINT{LONG(icon.xHotspot), LONG(icon.yHotspot)};
}

}  // namespace

TEST(MainDialogPointer, CursorsFollowTheMouseAndTheSpaceBar) {
    HostImage image;
    ASSERT_TRUE(makeHostImage(image, 160, 120, 3, 8));
    std::fill(image.samples.begin(), image.samples.end(), uint16_t(128));
    HostCore host;
    host.setImage(image);
    FilterParameters block;
    block.setDefaults();
    // The test program carries the plug-in's cursors.
    moduleInstance = GetModuleHandleA(nullptr);

    enum { OverImage, SpaceHeld, SpaceReleased, OverPane, Elsewhere, Count };
    HCURSOR seen[Count] = {};
    POINT sampling{-1, -1}, panning{-1, -1};  // hot spots, read while the cursors live
    std::thread hand([&] {
        HWND dialog = nullptr;
        for (int i = 0; i < 300 && !dialog; ++i) {
            dialog = FindWindowA(nullptr, kMainDialogTitle);
            if (!dialog || !IsWindowVisible(dialog)) dialog = nullptr, Sleep(100);
        }
        if (!dialog) return;
        Sleep(500);
        SetForegroundWindow(dialog);
        moveTo(middleOf(dialog, IdPreviewPane));  // the image lies centred in the pane
        seen[OverImage] = shownCursor();
        sampling = hotSpot(seen[OverImage]);
        key(VK_SPACE, false);
        seen[SpaceHeld] = shownCursor();
        panning = hotSpot(seen[SpaceHeld]);
        key(VK_SPACE, true);
        seen[SpaceReleased] = shownCursor();
        moveTo(middleOf(dialog, curveRowId(1, CurvePane)));
        seen[OverPane] = shownCursor();
        moveTo(middleOf(dialog, IdTopSwatch));
        seen[Elsewhere] = shownCursor();
        const POINT cancel = middleOf(dialog, IdCancel);
        moveTo(cancel);
        for (DWORD flags : {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP}) {
            INPUT input{};
            input.type = INPUT_MOUSE;
            input.mi.dwFlags = flags;
            SendInput(1, &input, sizeof input);
            Sleep(100);
        }
    });
    const int16 result =
        host.callStart([&](FilterRecord& record) { return int16(runMainDialogWin32(&record, &block)); });
    hand.join();
    moduleInstance = nullptr;
    EXPECT_EQ(result, MainDialogCancelled);

    EXPECT_EQ(sampling.x, 0);
    EXPECT_EQ(sampling.y, 15);  // the library's cursor 128
    EXPECT_EQ(panning.x, 0);
    EXPECT_EQ(panning.y, 0);  // the library's cursor 129
    EXPECT_NE(seen[SpaceHeld], seen[OverImage]);
    EXPECT_NE(seen[SpaceHeld], LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
    EXPECT_EQ(seen[SpaceReleased], seen[OverImage]);
    EXPECT_EQ(seen[OverPane], LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_CROSS)));
    EXPECT_EQ(seen[Elsewhere], LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
}
