// The about box, opened for real and closed by real mouse clicks from a
// second thread, with a stand-in host suite that records the browsed address.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "dialog/win32/AboutBox.h"

namespace {

std::vector<std::string> gBrowsed;

SPErr PSCALL browseUrl(const char* url) {
    gBrowsed.emplace_back(url);
    return kSPNoError;
}

PSGetFileListSuite4 gFileList = [] {
    PSGetFileListSuite4 suite{};
    suite.BrowseUrl = browseUrl;
    return suite;
}();

SPErr PSCALL acquireSuite(const char* name, int32 version, const void** suite) {
    if (std::strcmp(name, kPSGetFileListSuite) == 0 && version == kPSGetFileListSuiteVersion4) {
        *suite = &gFileList;
        return kSPNoError;
    }
    return kSPSuiteNotFoundError;
}
SPErr PSCALL releaseSuite(const char*, int32) { return kSPNoError; }

SPBasicSuite gBasic = [] {
    SPBasicSuite suite{};
    suite.AcquireSuite = acquireSuite;
    suite.ReleaseSuite = releaseSuite;
    return suite;
}();

struct FoundBox {
    HWND window = nullptr;
};

BOOL CALLBACK findDialog(HWND window, LPARAM found) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::strcmp(name, "#32770") == 0 && IsWindowVisible(window)) {
        reinterpret_cast<FoundBox*>(found)->window = window;
        return FALSE;
    }
    return TRUE;
}

HWND waitForAboutBox(DWORD thread) {
    for (int i = 0; i < 500; ++i) {
        FoundBox found;
        EnumThreadWindows(thread, findDialog, reinterpret_cast<LPARAM>(&found));
        if (found.window) return found.window;
        Sleep(10);
    }
    return nullptr;
}

struct Child {
    HWND window;
    std::string text;
    RECT rect;  // in the dialog's client coordinates
};

BOOL CALLBACK collect(HWND child, LPARAM list) {
    Child c{child, std::string(), RECT{}};
    char text[256] = {};
    GetWindowTextA(child, text, sizeof text);
    c.text = text;
    GetWindowRect(child, &c.rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&c.rect), 2);
    reinterpret_cast<std::vector<Child>*>(list)->push_back(c);
    return TRUE;
}

// A real click at a point of the dialog's client area; after a few seconds
// without effect, a posted click closes the box so the test cannot hang.
void clickAt(HWND box, int x, int y, std::atomic<bool>& closed) {
    POINT p{x, y};
    ClientToScreen(box, &p);
    SetForegroundWindow(box);
    SetCursorPos(p.x, p.y);
    Sleep(50);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof input[0]);
    for (int i = 0; i < 300 && !closed; ++i) Sleep(10);
    if (!closed && IsWindow(box)) {
        ADD_FAILURE() << "the real click did not close the box";
        PostMessageA(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 1));
    }
}

struct AboutRun {
    uint32_t result = 0;
    std::vector<Child> children;
    RECT client{};
    POINT origin{};
};

// Opens the box on this thread; a second thread looks at it and clicks on
// the child whose text starts with target (or on the empty area).
AboutRun runAboutBox(const std::string& target, SPBasicSuite* basic = &gBasic) {
    AboutRun run;
    std::atomic<bool> closed{false};
    const DWORD self = GetCurrentThreadId();
    std::thread clicker([&] {
        HWND box = waitForAboutBox(self);
        if (!box) {
            ADD_FAILURE() << "no about box appeared";
            return;
        }
        EnumChildWindows(box, collect, reinterpret_cast<LPARAM>(&run.children));
        GetClientRect(box, &run.client);
        ClientToScreen(box, &run.origin);
        int x = 10, y = 240;
        for (const Child& c : run.children)
            if (!target.empty() && c.text.compare(0, target.size(), target) == 0) {
                x = (c.rect.left + c.rect.right) / 2;
                y = (c.rect.top + c.rect.bottom) / 2;
            }
        clickAt(box, x, y, closed);
    });
    run.result = showAboutBox(basic);
    closed = true;
    clicker.join();
    return run;
}

const Child* childWithText(const AboutRun& run, const std::string& text) {
    for (const Child& c : run.children)
        if (c.text == text) return &c;
    return nullptr;
}

}  // namespace

TEST(AboutBox, ShowsItsLinesAndAClickOnTheProductLineClosesIt) {
    gBrowsed.clear();
    const AboutRun run = runAboutBox("Tarvo Crisp+Calm Plug-in for");
    EXPECT_EQ(run.result, 1u);
    EXPECT_TRUE(gBrowsed.empty());  // nothing opened
    ASSERT_EQ(run.children.size(), 5u);
    const Child* product = childWithText(run, "Tarvo Crisp+Calm Plug-in for Adobe Photoshop\xae");
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(product->rect.left, 50);
    EXPECT_EQ(product->rect.top, 30);
    EXPECT_EQ(product->rect.right, 400);
    EXPECT_EQ(product->rect.bottom, 46);
    const Child* caption = childWithText(run, "Version: ");
    ASSERT_NE(caption, nullptr);
    EXPECT_EQ(caption->rect.left, 140);
    const Child* number = childWithText(run, "2.2");
    ASSERT_NE(number, nullptr);
    EXPECT_EQ(number->rect.left, 196);
    EXPECT_EQ(number->rect.top, 80);
    const Child* link = childWithText(run, kMakerWebAddress);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->rect.left, 90);
    EXPECT_EQ(link->rect.top, 195);
    EXPECT_EQ(link->rect.right - link->rect.left, 180);
    EXPECT_EQ(link->rect.bottom - link->rect.top, 24);
    bool twoLineNotice = false;
    for (const Child& c : run.children)
        if (c.rect.left == 25 && c.rect.top == 130) twoLineNotice = c.text.find('\r') != std::string::npos;
    EXPECT_TRUE(twoLineNotice);
    // The client area: 350 by 250 at (300, 260).
    EXPECT_EQ(run.client.right, 350);
    EXPECT_EQ(run.client.bottom, 250);
    EXPECT_EQ(run.origin.x, 300);
    EXPECT_EQ(run.origin.y, 260);
}

TEST(AboutBox, AClickOnTheWebLinkOpensTheAddressThenCloses) {
    gBrowsed.clear();
    const AboutRun run = runAboutBox(kMakerWebAddress);
    EXPECT_EQ(run.result, 1u);
    ASSERT_EQ(gBrowsed.size(), 1u);
    EXPECT_EQ(gBrowsed[0], std::string("http://") + kMakerWebAddress);
}

TEST(AboutBox, WithoutTheHostSuiteTheLinkOpensNothingButCloses) {
    gBrowsed.clear();
    const AboutRun run = runAboutBox(kMakerWebAddress, nullptr);
    EXPECT_EQ(run.result, 1u);
    EXPECT_TRUE(gBrowsed.empty());
}

TEST(AboutBox, AClickOnTheEmptyAreaCloses) {
    gBrowsed.clear();
    const AboutRun run = runAboutBox("");
    EXPECT_EQ(run.result, 1u);
    EXPECT_TRUE(gBrowsed.empty());
}
