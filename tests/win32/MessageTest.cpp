// The toolkit's message box: buttons and icon by kind, and the answer. A
// second thread finds the box and presses one of its buttons.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "dialog/win32/MainDialog.h"
#include "services/Platform.h"
#include "toolkit/MessageBox.h"

namespace {

struct Seen {
    std::vector<std::string> buttons;
    HICON icon = nullptr;
    std::string text;
};

BOOL CALLBACK findBox(HWND window, LPARAM found) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::strcmp(name, "#32770") == 0 && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

struct Look {
    Seen* seen;
    HWND press;
    const char* pressText;
};

BOOL CALLBACK lookAtChild(HWND child, LPARAM data) {
    Look* look = reinterpret_cast<Look*>(data);
    char name[16] = {}, text[256] = {};
    GetClassNameA(child, name, sizeof name);
    GetWindowTextA(child, text, sizeof text);
    if (lstrcmpiA(name, "Button") == 0) {
        look->seen->buttons.emplace_back(text);
        if (std::strcmp(text, look->pressText) == 0) look->press = child;
    } else if (lstrcmpiA(name, "Static") == 0) {
        HICON icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        if (icon) look->seen->icon = icon;
        if (text[0]) look->seen->text = text;
    }
    return TRUE;
}

// Shows a message of this kind and presses the button with this label.
bool answer(int kind, const char* button, Seen& seen) {
    const DWORD self = GetCurrentThreadId();
    std::thread presser([&] {
        HWND box = nullptr;
        for (int i = 0; i < 500 && !box; ++i) {
            EnumThreadWindows(self, findBox, reinterpret_cast<LPARAM>(&box));
            if (!box) Sleep(10);
        }
        if (!box) {
            ADD_FAILURE() << "no message box";
            return;
        }
        Look look{&seen, nullptr, button};
        EnumChildWindows(box, lookAtChild, reinterpret_cast<LPARAM>(&look));
        if (look.press)
            PostMessageA(look.press, BM_CLICK, 0, 0);
        else
            PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
    });
    const bool result = showMessage("Caption", "The text", kind);
    presser.join();
    return result;
}

std::vector<std::string> labels(std::initializer_list<const char*> texts) {
    return std::vector<std::string>(texts.begin(), texts.end());
}

}  // namespace

TEST(ToolkitMessage, OkCancelAndYesNoAnswers) {
    Seen seen;
    EXPECT_TRUE(answer(4, "OK", seen));
    EXPECT_EQ(seen.buttons, labels({"OK", "Cancel"}));
    EXPECT_EQ(seen.text, "The text");
    seen = Seen{};
    EXPECT_FALSE(answer(4, "Cancel", seen));
    seen = Seen{};
    EXPECT_TRUE(answer(5, "&Yes", seen));
    EXPECT_EQ(seen.buttons, labels({"&Yes", "&No"}));
    seen = Seen{};
    EXPECT_FALSE(answer(5, "&No", seen));
}

TEST(ToolkitMessage, KindsChooseTheirIcon) {
    const struct {
        int kind;
        LPCSTR icon;
    } cases[] = {{1, IDI_ASTERISK}, {2, IDI_EXCLAMATION}, {3, IDI_HAND}, {4, IDI_QUESTION}, {99, IDI_ASTERISK}};
    for (const auto& c : cases) {
        Seen seen;
        answer(c.kind, c.kind == 4 ? "Cancel" : "OK", seen);
        EXPECT_EQ(seen.icon, LoadIconA(nullptr, c.icon)) << c.kind;
        if (c.kind != 4) {
            EXPECT_EQ(seen.buttons, labels({"OK"})) << c.kind;
        }
    }
}

TEST(ToolkitMessage, PlatformServicesUseTheToolkit) {
    // The entry point's error kind (3) is the stop icon with OK.
    const PlatformServices services = defaultPlatformServices();
    Seen seen;
    const DWORD self = GetCurrentThreadId();
    std::thread presser([&] {
        HWND box = nullptr;
        for (int i = 0; i < 500 && !box; ++i) {
            EnumThreadWindows(self, findBox, reinterpret_cast<LPARAM>(&box));
            if (!box) Sleep(10);
        }
        ASSERT_NE(box, nullptr);
        char title[32] = {};
        GetWindowTextA(box, title, sizeof title);
        EXPECT_STREQ(title, "Error");
        Look look{&seen, nullptr, "OK"};
        EnumChildWindows(box, lookAtChild, reinterpret_cast<LPARAM>(&look));
        PostMessageA(look.press, BM_CLICK, 0, 0);
    });
    EXPECT_EQ(services.showMessage("Something failed", "Error", MessageError), 1);
    presser.join();
    EXPECT_EQ(seen.text, "Something failed");
    EXPECT_EQ(seen.icon, LoadIconA(nullptr, IDI_HAND));
    EXPECT_GE(services.desktopHeight(), 768);
    // Without a block to work on the dialog refuses to open.
    EXPECT_EQ(services.runMainDialog(nullptr, nullptr), MainDialogFailed);
}
