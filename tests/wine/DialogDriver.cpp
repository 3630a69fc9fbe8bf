// Drives the filter's main dialog in another process as a person would: it
// waits for the window, reads every control's rectangle back and compares it
// with the layout table, then clicks and types through SendInput.
//
//   cc_dialog_driver STEP...
//     geometry     client area and every control against the layout table
//     click:ID     a left click in the middle of control ID (a number, or ok,
//                  cancel, channel1..channel4, preview, snapshot1..5,
//                  filled1..5, load, save, quick, reset1..3, zoom100, fit)
//     shift+click:ID, ctrl+click:ID   the same with Shift or Control held
//     ctrl+key:VK  a key pressed with Control held
//     answer:CAPTION|TEXT|BUTTON   waits for the message box showing TEXT,
//                  checks its caption and clicks BUTTON (ok, yes, no)
//     file:PATH    types PATH into the open or save dialog and confirms
//     shown:ID, hidden:ID   whether control ID is visible
//     checked:ID, unchecked:ID   whether check box ID is checked
//     key:VK       a key press and release (virtual key code)
//     altf4        Alt+F4
//     grab:PATH    the preview pane's pixels as the window shows them, to a
//                  binary PPM at PATH
//     at:ID,FX,FY  a left click at fraction (FX, FY) of control ID's window
//                  (the zoom arrows' halves, a scroll bar's arrows)
//     curve:C,FX1,FY1,FX2,FY2   a drag over curve pane C (1..3) between
//                  fractions of its window
//     slide:ID,POS the slider's thumb dragged until the slider stands at POS
//     state:PATH   what the controls show, one "name value" line each, to PATH
//     lock:PATH    holds PATH open without sharing until the driver ends
//     replace:PATH as file:PATH into the save dialog, answering Yes when it
//                  asks before replacing the file
//     message      no dialog: wait for the "Error" message box and press Enter
//     hover:ID     the mouse moved (no button) to the middle of control ID
//                  (also swatch, topswatch, amount, overlay, pane1..3)
//     hover:W,H,X,Y   ... to pixel (X, Y) of a W x H image shown 1:1
//     keydown:VK, keyup:VK   one key pressed or released
//     readouts     prints the seven colour readouts and the six curve
//                  readouts, "|" between them, bytes above 126 as \xNN
//     cursor       prints the handle of the cursor shown
//     colour:ID    prints the colour of the pixel in the middle of control ID
//     grabctl:ID:PATH   the pixels of control ID's rectangle (or of the whole
//                  client area for "window"), as grab:PATH
//     pick:R,G,B   in the host's colour dialog: prints the colour it opened
//                  with, types R, G and B into its fields and presses OK
//     pickcancel   prints the colour the colour dialog opened with, presses
//                  Cancel
//     bench:N      N drags of the "Amount:" thumb, each timed from the
//                  button's release to the preview changing on the screen
//
// Exit code 0 when every step passed and the window went away afterwards.
#include <windows.h>
// After windows.h, which it relies on.
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dialog/MainDialogLayout.h"

namespace {

HWND waitForWindow(const char* title, int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
        HWND w = FindWindowA(nullptr, title);
        if (w && IsWindowVisible(w)) return w;
        Sleep(100);
    }
    return nullptr;
}

bool waitGone(HWND w, int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
        if (!IsWindow(w)) return true;
        Sleep(100);
    }
    return false;
}

RECT childRect(HWND dialog, HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool same(const char* what, int32_t id, const RECT& r, const WindowBox& want) {
    const bool ok = r.left == want.x && r.top == want.y && (want.width < 0 || r.right - r.left == want.width) &&
                    (want.height < 0 || r.bottom - r.top == want.height);
    if (!ok)
        std::fprintf(stderr, "%s %d: window %ld, %ld, %ld x %ld; layout %d, %d, %d x %d\n", what, id, r.left, r.top,
                     r.right - r.left, r.bottom - r.top, want.x, want.y, want.width, want.height);
    return ok;
}

bool checkGeometry(HWND dialog) {
    RECT desktop{}, client{};
    GetClientRect(GetDesktopWindow(), &desktop);
    GetClientRect(dialog, &client);
    const MainDialogGeometry g = mainDialogGeometry(desktop.right, desktop.bottom);
    bool ok = true;
    if (client.right != g.width || client.bottom != g.height) {
        std::fprintf(stderr, "client area %ld x %ld, expected %d x %d\n", client.right, client.bottom, g.width,
                     g.height);
        ok = false;
    }
    const std::vector<LayoutEntry> layout = mainDialogLayout(g);
    std::vector<int> seen(layout.size(), 0);
    int frames = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const int id = GetDlgCtrlID(child);
        const RECT r = childRect(dialog, child);
        size_t index = 0;
        while (index < layout.size() && layout[index].id != (id == 0 ? int(IdPreviewGroup) : id)) ++index;
        if (index == layout.size()) {
            std::fprintf(stderr, "control %d is not in the layout\n", id);
            ok = false;
            continue;
        }
        const LayoutEntry& e = layout[index];
        if (id == 0) {
            // The frame of the "Preview" group has the placed rectangle.
            ++frames;
            ok = same("frame", e.id, r, WindowBox{e.x, e.y, e.width, e.height}) && ok;
        } else {
            ++seen[index];
            ok = same("control", e.id, r, expectedWindowBox(e)) && ok;
        }
    }
    for (size_t i = 0; i < layout.size(); ++i)
        if (seen[i] != 1) {
            std::fprintf(stderr, "control %d found %d times\n", layout[i].id, seen[i]);
            ok = false;
        }
    if (frames != 1) ok = false;
    std::printf("client %ld x %ld on %ld x %ld, %zu controls checked: %s\n", client.right, client.bottom, desktop.right,
                desktop.bottom, layout.size(), ok ? "ok" : "MISMATCH");
    return ok;
}

int controlId(const std::string& name) {
    if (name == "ok") return IdOk;
    if (name == "cancel") return IdCancel;
    if (name == "preview") return IdPreviewGroup;
    if (name == "load") return IdLoad;
    if (name == "save") return IdSave;
    if (name == "quick") return IdQuickCurvesList;
    if (name == "zoom100") return IdZoom100;
    if (name == "fit") return IdZoomFit;
    if (name == "zoom") return IdZoomArrows;
    if (name == "scrollh") return IdPreviewScrollH;
    if (name == "scrollv") return IdPreviewScrollV;
    if (name == "operation") return IdOperationList;
    if (name == "colorspace") return IdColorSpaceList;
    if (name == "opacity") return IdOpacitySlider;
    if (name == "contract") return IdContractSlider;
    if (name == "falloff") return IdFalloffSlider;
    if (name == "result") return IdOperationResult;
    if (name == "fromcurves") return IdFromCurves;
    if (name == "edges") return IdEdgesOnly;
    if (name == "swatch") return IdOverlaySwatch;
    if (name == "topswatch") return IdTopSwatch;
    if (name == "amount") return IdAmountSlider;
    if (name == "overlay") return IdOverlayColor;
    struct Numbered {
        const char* prefix;
        int first;
    };
    const Numbered numbered[] = {{"channel", IdChannel1},
                                 {"snapshot", IdSnapshot1},
                                 {"filled", IdSnapshotFilled1},
                                 {"reset", -1},
                                 {"sample", -2},
                                 {"pane", -3}};
    for (const Numbered& n : numbered) {
        const size_t length = std::strlen(n.prefix);
        if (name.compare(0, length, n.prefix) != 0) continue;
        const int k = std::atoi(name.c_str() + length) - 1;
        if (n.first == -2) return curveRowId(k, CurveSample);
        if (n.first == -3) return curveRowId(k, CurvePane);
        return n.first < 0 ? curveRowId(k, CurveReset) : n.first + k;
    }
    return std::atoi(name.c_str());
}

// Set when this thread shares the dialog thread's input: the key and button
// state it sees is then the state as far as that thread has read its input.
bool gAttached = false;

// Waits until the dialog's thread has read the last press or release of vk,
// so that what follows does not overtake it.
void waitTaken(int vk, bool down) {
    for (int i = 0; gAttached && i < 5000; ++i) {
        if (((GetKeyState(vk) & 0x8000) != 0) == down) return;
        Sleep(1);
    }
}

void sendMouse(DWORD flags, LONG x, LONG y) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    in.mi.dx = LONG((x * 65535LL + (w - 1) / 2) / (w - 1));
    in.mi.dy = LONG((y * 65535LL + (h - 1) / 2) / (h - 1));
    in.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof in);
    if (flags & (MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_LEFTUP)) waitTaken(VK_LBUTTON, (flags & MOUSEEVENTF_LEFTDOWN) != 0);
}

// Waits until the window's thread takes messages again, so that what the last
// input started has been carried out before the next step looks or types.
void settle(HWND window) {
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK, 20000, &answer);
}

void sendKey(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = WORD(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &in, sizeof in);
    waitTaken(vk, !up);
}

// A left click in the middle of control id; with a modifier key (0 for none)
// held through it as a held key does, repeating while the button goes down
// and up: the display may reset the keyboard state when the window becomes
// active, and a repeat restores it.
bool click(HWND dialog, int id, WORD modifier = 0) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) {
        std::fprintf(stderr, "no control %d to click\n", id);
        return false;
    }
    RECT r{};
    GetWindowRect(control, &r);
    const LONG x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    SetForegroundWindow(dialog);
    sendMouse(MOUSEEVENTF_MOVE, x, y);
    Sleep(modifier ? 300 : 50);
    if (modifier) sendKey(modifier, false);
    Sleep(50);
    sendMouse(MOUSEEVENTF_LEFTDOWN, x, y);
    Sleep(50);
    if (modifier) sendKey(modifier, false);
    Sleep(50);
    sendMouse(MOUSEEVENTF_LEFTUP, x, y);
    Sleep(300);
    if (modifier) sendKey(modifier, true);
    return true;
}

// A drag with the left button over the preview from image pixel (x1, y1) to
// (x2, y2) of an image of width x height shown 1:1, centred in the pane as the
// preview places it (width and height 0: from the pane's centre); the key
// (Shift, Space or 0 for none) held through it.
bool dragOnImage(HWND dialog, const std::string& points, WORD key) {
    int width = 0, height = 0, x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    if (std::sscanf(points.c_str(), "%d,%d,%d,%d,%d,%d", &width, &height, &x1, &y1, &x2, &y2) != 6) return false;
    HWND pane = GetDlgItem(dialog, IdPreviewPane);
    RECT r{};
    if (!pane || !GetWindowRect(pane, &r)) return false;
    const LONG left = r.left + (r.right - r.left - width) / 2, top = r.top + (r.bottom - r.top - height) / 2;
    SetForegroundWindow(dialog);
    sendMouse(MOUSEEVENTF_MOVE, left + x1, top + y1);
    Sleep(300);
    // Pressed twice: the display may reset the keyboard state when the
    // window becomes active, and a repeat restores it.
    if (key) sendKey(key, false);
    Sleep(50);
    if (key) sendKey(key, false);
    Sleep(50);
    sendMouse(MOUSEEVENTF_LEFTDOWN, left + x1, top + y1);
    Sleep(100);
    // In steps, as a hand moves it, each seen by the tracking loop.
    for (int i = 1; i <= 8; ++i) {
        sendMouse(MOUSEEVENTF_MOVE, left + x1 + (x2 - x1) * i / 8, top + y1 + (y2 - y1) * i / 8);
        Sleep(60);
    }
    sendMouse(MOUSEEVENTF_LEFTUP, left + x2, top + y2);
    Sleep(300);
    if (key) sendKey(key, true);
    return true;
}

void pressKey(HWND window, WORD vk) {
    SetForegroundWindow(window);
    sendKey(vk, false);
    Sleep(50);
    sendKey(vk, true);
    Sleep(300);
}

// A visible system dialog (message box or file dialog) of any process.
struct FoundBox {
    const char* text;  // wanted static text, or null for a file dialog
    HWND box;
};

BOOL CALLBACK findBox(HWND w, LPARAM data) {
    FoundBox* f = reinterpret_cast<FoundBox*>(data);
    char cls[64] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (!IsWindowVisible(w) || std::strcmp(cls, "#32770") != 0) return TRUE;
    if (!f->text) {
        // The file dialogs have a file name field (edt1 or cmb13).
        if (GetDlgItem(w, 0x480) || GetDlgItem(w, 0x47c)) f->box = w;
    } else {
        char text[512] = {};
        GetDlgItemTextA(w, 0xFFFF, text, sizeof text);
        if (std::strcmp(text, f->text) == 0) f->box = w;
    }
    return f->box ? FALSE : TRUE;
}

HWND waitForBox(const char* text, int seconds) {
    for (int i = 0; i < seconds * 10; ++i) {
        FoundBox f{text, nullptr};
        EnumWindows(findBox, reinterpret_cast<LPARAM>(&f));
        if (f.box) return f.box;
        Sleep(100);
    }
    return nullptr;
}

bool answer(const std::string& step) {
    const size_t bar1 = step.find('|'), bar2 = step.rfind('|');
    const std::string caption = step.substr(0, bar1), text = step.substr(bar1 + 1, bar2 - bar1 - 1);
    const std::string button = step.substr(bar2 + 1);
    HWND box = waitForBox(text.c_str(), 30);
    if (!box) {
        std::fprintf(stderr, "no message box saying \"%s\"\n", text.c_str());
        return false;
    }
    char title[256] = {};
    GetWindowTextA(box, title, sizeof title);
    const bool same = caption == title;
    std::printf("message \"%s\" titled \"%s\": %s\n", text.c_str(), title, same ? "ok" : "WRONG CAPTION");
    const int id = button == "yes" ? IDYES : button == "no" ? IDNO : IDOK;
    return click(box, id) && waitGone(box, 10) && same;
}

BOOL CALLBACK findQuestion(HWND w, LPARAM data) {
    char cls[64] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (!IsWindowVisible(w) || std::strcmp(cls, "#32770") != 0 || !GetDlgItem(w, IDYES)) return TRUE;
    *reinterpret_cast<HWND*>(data) = w;
    return FALSE;
}

bool answerYes() {
    for (int i = 0; i < 300; ++i) {
        HWND box = nullptr;
        EnumWindows(findQuestion, reinterpret_cast<LPARAM>(&box));
        if (box) {
            char text[512] = {};
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            std::printf("question \"%s\": yes\n", text);
            return click(box, IDYES) && waitGone(box, 10);
        }
        Sleep(100);
    }
    std::fprintf(stderr, "no question came up\n");
    return false;
}

void typeText(const std::string& text) {
    for (char c : text) {
        INPUT in[2] = {};
        for (int k = 0; k < 2; ++k) {
            in[k].type = INPUT_KEYBOARD;
            in[k].ki.wScan = WORD(static_cast<unsigned char>(c));
            in[k].ki.dwFlags = KEYEVENTF_UNICODE | (k ? KEYEVENTF_KEYUP : 0);
        }
        SendInput(2, in, sizeof in[0]);
        Sleep(5);
    }
}

bool chooseFile(const std::string& path, bool replace = false) {
    HWND box = waitForBox(nullptr, 30);
    if (!box) {
        std::fprintf(stderr, "no file dialog came up\n");
        return false;
    }
    Sleep(500);
    HWND field = GetDlgItem(box, 0x480) ? GetDlgItem(box, 0x480) : GetDlgItem(box, 0x47c);
    SetForegroundWindow(box);
    RECT r{};
    GetWindowRect(field, &r);
    // Three clicks select what the field holds, the typing replaces it.
    for (int i = 0; i < 3; ++i) {
        sendMouse(MOUSEEVENTF_LEFTDOWN, r.left + 20, (r.top + r.bottom) / 2);
        sendMouse(MOUSEEVENTF_LEFTUP, r.left + 20, (r.top + r.bottom) / 2);
    }
    Sleep(200);
    sendKey(VK_END, false);
    sendKey(VK_END, true);
    for (int i = 0; i < 300; ++i) {
        sendKey(VK_BACK, false);
        sendKey(VK_BACK, true);
    }
    typeText(path);
    Sleep(200);
    pressKey(box, VK_RETURN);
    std::printf("file dialog: %s\n", path.c_str());
    if (replace && !answerYes()) return false;
    return waitGone(box, 10);
}

// A left click at a fraction of a control's window.
bool clickAt(HWND dialog, const std::string& args) {
    char name[32] = {};
    double fx = 0, fy = 0;
    if (std::sscanf(args.c_str(), "%31[^,],%lf,%lf", name, &fx, &fy) != 3) return false;
    HWND control = GetDlgItem(dialog, controlId(name));
    RECT r{};
    if (!control || !GetWindowRect(control, &r)) return false;
    const LONG x = r.left + LONG(fx * (r.right - r.left)), y = r.top + LONG(fy * (r.bottom - r.top));
    SetForegroundWindow(dialog);
    sendMouse(MOUSEEVENTF_MOVE, x, y);
    Sleep(50);
    sendMouse(MOUSEEVENTF_LEFTDOWN, x, y);
    Sleep(50);
    sendMouse(MOUSEEVENTF_LEFTUP, x, y);
    Sleep(300);
    return true;
}

// A drag with the left button in steps from one screen point to another.
void dragScreen(LONG x1, LONG y1, LONG x2, LONG y2) {
    sendMouse(MOUSEEVENTF_MOVE, x1, y1);
    Sleep(200);
    sendMouse(MOUSEEVENTF_LEFTDOWN, x1, y1);
    Sleep(100);
    for (int i = 1; i <= 8; ++i) {
        sendMouse(MOUSEEVENTF_MOVE, x1 + (x2 - x1) * i / 8, y1 + (y2 - y1) * i / 8);
        Sleep(60);
    }
    sendMouse(MOUSEEVENTF_LEFTUP, x2, y2);
    Sleep(300);
}

bool dragOnCurve(HWND dialog, const std::string& args) {
    int curve = 0;
    double fx1 = 0, fy1 = 0, fx2 = 0, fy2 = 0;
    if (std::sscanf(args.c_str(), "%d,%lf,%lf,%lf,%lf", &curve, &fx1, &fy1, &fx2, &fy2) != 5) return false;
    HWND pane = GetDlgItem(dialog, curveRowId(curve - 1, CurvePane));
    RECT r{};
    if (!pane || !GetWindowRect(pane, &r)) return false;
    const LONG w = r.right - r.left, h = r.bottom - r.top;
    SetForegroundWindow(dialog);
    dragScreen(r.left + LONG(fx1 * w), r.top + LONG(fy1 * h), r.left + LONG(fx2 * w), r.top + LONG(fy2 * h));
    return true;
}

// The thumb is pressed where the common control library draws it and moved
// a pixel at a time until the slider reports the wanted position; it acts on
// the release, as a hand's drag does.
bool slide(HWND dialog, const std::string& args) {
    char name[32] = {};
    int target = 0;
    if (std::sscanf(args.c_str(), "%31[^,],%d", name, &target) != 2) return false;
    HWND slider = GetDlgItem(dialog, controlId(name));
    RECT r{};
    if (!slider || !GetWindowRect(slider, &r)) return false;
    const int low = int(SendMessageA(slider, TBM_GETRANGEMIN, 0, 0));
    const int high = int(SendMessageA(slider, TBM_GETRANGEMAX, 0, 0));
    const int at = int(SendMessageA(slider, TBM_GETPOS, 0, 0));
    const int length = int(SendMessageA(slider, TBM_GETTHUMBLENGTH, 0, 0));
    if (target < low || target > high || high <= low) return false;
    // The channel's left edge, the thumb's width and the span it moves over.
    const int edge = int(length / 4.5) + 3, thumb = (length / 2) | 1;
    const int span = (r.right - r.left) - 2 * edge - thumb;
    auto xOf = [&](int p) { return LONG(r.left + edge + span * (p - low) / (high - low) + thumb / 2); };
    const LONG y = r.top + 2 + length / 2;
    SetForegroundWindow(dialog);
    sendMouse(MOUSEEVENTF_MOVE, xOf(at), y);
    Sleep(200);
    sendMouse(MOUSEEVENTF_LEFTDOWN, xOf(at), y);
    Sleep(100);
    LONG x = xOf(target);
    sendMouse(MOUSEEVENTF_MOVE, x, y);
    Sleep(100);
    int now = int(SendMessageA(slider, TBM_GETPOS, 0, 0));
    for (int i = 0; i < 40 && now != target; ++i) {
        x += now < target ? 1 : -1;
        sendMouse(MOUSEEVENTF_MOVE, x, y);
        Sleep(40);
        now = int(SendMessageA(slider, TBM_GETPOS, 0, 0));
    }
    sendMouse(MOUSEEVENTF_LEFTUP, x, y);
    Sleep(300);
    std::printf("slider %s at %d: %s\n", name, now, now == target ? "ok" : "WRONG");
    return now == target;
}

// What the controls show, read back from their windows.
bool writeState(HWND dialog, const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    auto item = [&](int id) { return GetDlgItem(dialog, id); };
    auto send = [&](int id, UINT message) { return long(SendMessageA(item(id), message, 0, 0)); };
    std::fprintf(f, "operation %ld\ncolorspace %ld\n", send(IdOperationList, CB_GETCURSEL) + 1,
                 send(IdColorSpaceList, CB_GETCURSEL) + 1);
    const struct {
        const char* name;
        int id;
    } sliders[] = {{"amount", IdAmountSlider},
                   {"opacity", IdOpacitySlider},
                   {"contract", IdContractSlider},
                   {"falloff", IdFalloffSlider}};
    for (const auto& s : sliders) std::fprintf(f, "%s %ld\n", s.name, send(s.id, TBM_GETPOS));
    std::fprintf(f, "falloff-enabled %d\n", IsWindowEnabled(item(IdFalloffSlider)) ? 1 : 0);
    for (int i = 0; i < 4; ++i)
        std::fprintf(f, "channel%d %ld\nchannel%d-shown %d\n", i + 1, send(IdChannel1 + i, BM_GETCHECK), i + 1,
                     IsWindowVisible(item(IdChannel1 + i)) ? 1 : 0);
    for (int i = 0; i < 3; ++i) std::fprintf(f, "sample%d %ld\n", i + 1, send(curveRowId(i, CurveSample), BM_GETCHECK));
    std::fprintf(f, "result %ld\nfromcurves %ld\npreview %ld\n", send(IdOperationResult, BM_GETCHECK),
                 send(IdFromCurves, BM_GETCHECK), send(IdPreviewGroup, BM_GETCHECK));
    std::fprintf(f, "scrollh %ld\nscrollv %ld\n", send(IdPreviewScrollH, SBM_GETPOS),
                 send(IdPreviewScrollV, SBM_GETPOS));
    char zoom[64] = {};
    GetWindowTextA(item(IdZoomValue), zoom, sizeof zoom);
    std::fprintf(f, "zoom %s\n", zoom);
    std::fprintf(f, "quick %ld\nquick-items %ld\n", send(IdQuickCurvesList, CB_GETCURSEL) + 1,
                 send(IdQuickCurvesList, CB_GETCOUNT));
    for (long i = 0; i < send(IdQuickCurvesList, CB_GETCOUNT); ++i) {
        // Read as wide text: the narrow message does not cross processes.
        wchar_t wide[128] = {};
        char text[256] = {};
        if (SendMessageW(item(IdQuickCurvesList), CB_GETLBTEXTLEN, WPARAM(i), 0) < 128)
            SendMessageW(item(IdQuickCurvesList), CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(wide));
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text, nullptr, nullptr);
        std::fprintf(f, "quick-item%ld %s\n", i + 1, text);
    }
    for (int i = 0; i < 5; ++i)
        std::fprintf(f, "snapshot%d %d\n", i + 1, IsWindowVisible(item(IdSnapshotFilled1 + i)) ? 1 : 0);
    return std::fclose(f) == 0;
}

// The pixels of rectangle r (client coordinates) as the window shows them,
// RGB rows top down.
bool readPixels(HWND window, const RECT& r, std::vector<uint8_t>& rgb) {
    const int width = r.right - r.left, height = r.bottom - r.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = GetDC(window);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = bitmap && bits && width > 0 && height > 0;
    if (ok) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, dc, r.left, r.top, SRCCOPY) != 0;
        GdiFlush();
        SelectObject(memory, old);
    }
    if (ok) {
        const auto* bgrx = static_cast<const uint8_t*>(bits);
        rgb.resize(size_t(width) * size_t(height) * 3);
        for (size_t i = 0; i < size_t(width) * size_t(height); ++i) {
            rgb[3 * i] = bgrx[4 * i + 2];
            rgb[3 * i + 1] = bgrx[4 * i + 1];
            rgb[3 * i + 2] = bgrx[4 * i];
        }
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, dc);
    return ok;
}

// Rectangle r of the window's client area to a binary PPM at path.
bool grabRect(HWND window, const RECT& r, const std::string& path) {
    std::vector<uint8_t> rgb;
    bool ok = readPixels(window, r, rgb);
    if (ok) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ok = f != nullptr;
        if (f) {
            std::fprintf(f, "P6\n%ld %ld\n255\n", r.right - r.left, r.bottom - r.top);
            std::fwrite(rgb.data(), 1, rgb.size(), f);
            ok = std::fclose(f) == 0;
        }
    }
    if (!ok) std::fprintf(stderr, "cannot grab the window's pixels into %s\n", path.c_str());
    return ok;
}

// The preview pane's pixels read back from the dialog's window. Another
// process draws into its own copy of the window, which reaches the screen
// when its thread falls idle, at most every 50 ms: the dialog is woken twice
// with a pause between, and the pane is read until two reads agree.
bool grabPreview(HWND dialog, const std::string& path) {
    RECT desktop{};
    GetClientRect(GetDesktopWindow(), &desktop);
    LayoutEntry pane{};
    findLayoutEntry(mainDialogLayout(mainDialogGeometry(desktop.right, desktop.bottom)), IdPreviewPane, pane);
    const RECT r{pane.x, pane.y, pane.x + pane.width, pane.y + pane.height};
    std::vector<uint8_t> last, now;
    bool stable = false;
    for (int i = 0; i < 20 && !stable; ++i) {
        settle(dialog);
        Sleep(100);
        settle(dialog);
        Sleep(150);
        if (!readPixels(dialog, r, now)) break;
        stable = i > 0 && now == last;
        last.swap(now);
    }
    return stable && grabRect(dialog, r, path);
}

// ---- the pointer: hovering, readouts, cursors, the colour picker

// Where pixel (x, y) of a width x height image shown 1:1, centred in the
// preview pane, lies on the screen.
POINT imagePixel(HWND dialog, int width, int height, int x, int y) {
    RECT r{};
    GetWindowRect(GetDlgItem(dialog, IdPreviewPane), &r);
    return POINT{r.left + (r.right - r.left - width) / 2 + x, r.top + (r.bottom - r.top - height) / 2 + y};
}

// The mouse moved, no button down, onto an image pixel or a control's middle.
bool hover(HWND dialog, const std::string& where) {
    int width = 0, height = 0, x = 0, y = 0;
    POINT p{};
    if (std::sscanf(where.c_str(), "%d,%d,%d,%d", &width, &height, &x, &y) == 4) {
        p = imagePixel(dialog, width, height, x, y);
    } else {
        HWND control = GetDlgItem(dialog, controlId(where));
        RECT r{};
        if (!control || !GetWindowRect(control, &r)) {
            std::fprintf(stderr, "no control %s to move over\n", where.c_str());
            return false;
        }
        p = POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    SetForegroundWindow(dialog);
    // From a pixel beside it: a move to where the mouse already is gives no
    // message.
    sendMouse(MOUSEEVENTF_MOVE, p.x + 1, p.y + 1);
    Sleep(50);
    sendMouse(MOUSEEVENTF_MOVE, p.x, p.y);
    Sleep(200);
    return true;
}

std::string windowText(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    std::string shown;
    for (const char* c = text; *c; ++c) {
        const unsigned char byte = static_cast<unsigned char>(*c);
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        shown += byte > 126 ? std::string(escaped) : std::string(1, *c);
    }
    return shown;
}

void printReadouts(HWND dialog) {
    std::vector<int> ids = {IdReadout1,   IdReadout1 + 1,   IdReadout1 + 2,  IdReadout1 + 3,
                            IdHueReadout, IdHueReadout + 1, IdHueReadout + 2};
    for (int c = 0; c < 3; ++c) {
        ids.push_back(curveRowId(c, CurveXReadout));
        ids.push_back(curveRowId(c, CurveYReadout));
    }
    std::string line;
    for (size_t i = 0; i < ids.size(); ++i) line += (i ? "|" : "") + windowText(GetDlgItem(dialog, ids[i]));
    std::printf("readouts: %s\n", line.c_str());
}

void printCursor() {
    CURSORINFO info{};
    info.cbSize = sizeof info;
    GetCursorInfo(&info);  // another process's cursor: its handle only
    std::printf("cursor: %p\n", static_cast<void*>(info.hCursor));
}

bool printColour(HWND dialog, const std::string& name) {
    HWND control = GetDlgItem(dialog, controlId(name));
    const RECT r = control ? childRect(dialog, control) : RECT{};
    const LONG x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    std::vector<uint8_t> rgb;
    if (!control || !readPixels(dialog, RECT{x, y, x + 1, y + 1}, rgb)) return false;
    std::printf("colour %s: %d,%d,%d\n", name.c_str(), rgb[0], rgb[1], rgb[2]);
    return true;
}

// "ID:PATH": control ID's rectangle, or the whole client area for "window".
bool grabControl(HWND dialog, const std::string& step) {
    const size_t colon = step.find(':');
    const std::string name = step.substr(0, colon);
    RECT r{};
    if (name == "window") {
        GetClientRect(dialog, &r);
    } else {
        HWND control = GetDlgItem(dialog, controlId(name));
        if (!control) return false;
        r = childRect(dialog, control);
    }
    return colon != std::string::npos && grabRect(dialog, r, step.substr(colon + 1));
}

// The system's colour dialog, the one with the red, green and blue fields.
enum : int { ColorDialogRed = 706, ColorDialogGreen = 707, ColorDialogBlue = 708 };

BOOL CALLBACK findColorDialog(HWND w, LPARAM data) {
    char cls[64] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (!IsWindowVisible(w) || std::strcmp(cls, "#32770") != 0 || !GetDlgItem(w, ColorDialogRed)) return TRUE;
    *reinterpret_cast<HWND*>(data) = w;
    return FALSE;
}

// Waits for the colour dialog, prints what it opened with, then types the
// colour "R,G,B" into its fields and presses OK, or presses Cancel for an
// empty colour.
bool pickColour(const std::string& colour) {
    HWND box = nullptr;
    for (int i = 0; i < 300 && !box; ++i) {
        EnumWindows(findColorDialog, reinterpret_cast<LPARAM>(&box));
        if (!box) Sleep(100);
    }
    if (!box) {
        std::fprintf(stderr, "no colour dialog came up\n");
        return false;
    }
    Sleep(500);
    const int fields[3] = {ColorDialogRed, ColorDialogGreen, ColorDialogBlue};
    std::printf("picker opened at %u,%u,%u\n", GetDlgItemInt(box, fields[0], nullptr, FALSE),
                GetDlgItemInt(box, fields[1], nullptr, FALSE), GetDlgItemInt(box, fields[2], nullptr, FALSE));
    int value[3] = {0, 0, 0};
    const bool cancel = colour.empty();
    if (!cancel && std::sscanf(colour.c_str(), "%d,%d,%d", &value[0], &value[1], &value[2]) != 3) return false;
    for (int i = 0; i < 3 && !cancel; ++i) {
        RECT r{};
        GetWindowRect(GetDlgItem(box, fields[i]), &r);
        SetForegroundWindow(box);
        sendMouse(MOUSEEVENTF_MOVE, r.left + 4, (r.top + r.bottom) / 2);
        sendMouse(MOUSEEVENTF_LEFTDOWN, r.left + 4, (r.top + r.bottom) / 2);
        sendMouse(MOUSEEVENTF_LEFTUP, r.left + 4, (r.top + r.bottom) / 2);
        Sleep(100);
        sendKey(VK_END, false);
        sendKey(VK_END, true);
        for (int k = 0; k < 4; ++k) {
            sendKey(VK_BACK, false);
            sendKey(VK_BACK, true);
        }
        typeText(std::to_string(value[i]));
        Sleep(100);
    }
    if (!cancel)
        std::printf("picker fields now %u,%u,%u\n", GetDlgItemInt(box, fields[0], nullptr, FALSE),
                    GetDlgItemInt(box, fields[1], nullptr, FALSE), GetDlgItemInt(box, fields[2], nullptr, FALSE));
    return click(box, cancel ? IDCANCEL : IDOK) && waitGone(box, 10);
}

// ---- the time from an edit to the preview on the screen

// Times from the left button's release at (x, y) to the first screen read of
// rectangle watched (dialog client coordinates) that differs from before
// the release; the press and a drag to (x, y) come first, from (fromX, y).
// Negative when nothing changed within 20 s.
double timeRelease(HWND dialog, LONG fromX, LONG x, LONG y, const RECT& watched, int& reads) {
    SetForegroundWindow(dialog);
    sendMouse(MOUSEEVENTF_MOVE, fromX, y);
    Sleep(200);
    sendMouse(MOUSEEVENTF_LEFTDOWN, fromX, y);
    Sleep(100);
    for (int k = 1; k <= 4; ++k) {
        sendMouse(MOUSEEVENTF_MOVE, fromX + (x - fromX) * k / 4, y);
        Sleep(30);
    }
    Sleep(300);
    settle(dialog);
    std::vector<uint8_t> before, shown;
    if (!readPixels(dialog, watched, before)) return -1;
    LARGE_INTEGER frequency{}, start{}, now{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    sendMouse(MOUSEEVENTF_LEFTUP, x, y);
    double ms = 0;
    reads = 0;
    do {
        readPixels(dialog, watched, shown);
        ++reads;
        QueryPerformanceCounter(&now);
        ms = double(now.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
        if (shown != before) break;
        Sleep(1);  // leaves the processor to the dialog between reads
    } while (ms < 20000);
    settle(dialog);
    Sleep(300);
    return shown != before ? ms : -1;
}

void printFigures(const char* what, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("benchmark: %s: %zu times, median %.1f ms, min %.1f ms, max %.1f ms\n", what, times.size(),
                times[times.size() / 2], times.front(), times.back());
}

// The "Amount:" thumb dragged 24 pixels right, then back, and so on: the
// slider's change arrives with the button's release, and the preview is
// rendered and shown for it; timed to the first change of rows through the
// pane's middle on the screen. For comparison, the same from the release of
// a click on a "Sample" box, which only redraws the box: what input, drawing
// and reading the screen cost without any preview work.
bool benchSlider(HWND dialog, int drags) {
    RECT s{};
    GetWindowRect(GetDlgItem(dialog, IdAmountSlider), &s);
    const LONG y = (s.top + s.bottom) / 2, left = (s.left + s.right) / 2, right = left + 24;
    RECT desktop{};
    GetClientRect(GetDesktopWindow(), &desktop);
    LayoutEntry pane{};
    findLayoutEntry(mainDialogLayout(mainDialogGeometry(desktop.right, desktop.bottom)), IdPreviewPane, pane);
    const LONG middle = pane.y + pane.height / 2;
    const RECT strip{pane.x, middle - 8, pane.x + pane.width, middle + 8};
    std::vector<double> slider, box;
    int reads = 0, allReads = 0;
    for (int i = 0; i < drags; ++i) {
        const double ms = timeRelease(dialog, i % 2 ? right : left, i % 2 ? left : right, y, strip, reads);
        if (ms < 0) {
            std::fprintf(stderr, "drag %d: the preview did not change\n", i + 1);
            return false;
        }
        slider.push_back(ms);
        allReads += reads;
        std::printf("drag %d: %.1f ms (%d screen reads)\n", i + 1, ms, reads);
    }
    HWND sample = GetDlgItem(dialog, curveRowId(0, CurveSample));
    RECT b{};
    GetWindowRect(sample, &b);
    const RECT watched = childRect(dialog, sample);
    for (int i = 0; i < drags + drags % 2; ++i) {  // an even count leaves the box as it was
        const double ms = timeRelease(dialog, b.left + 6, b.left + 6, (b.top + b.bottom) / 2, watched, reads);
        if (ms >= 0) box.push_back(ms);
    }
    printFigures("slider change to the preview on the screen", slider);
    if (!box.empty()) printFigures("check box click to the box on the screen", box);
    std::printf("benchmark: %.1f screen reads per slider change\n", double(allReads) / drags);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> steps(argv + 1, argv + argc);
    if (steps.size() == 1 && steps[0] == "message") {
        HWND box = waitForWindow("Error", 120);  // the same patience as for the dialog
        if (!box) {
            std::fprintf(stderr, "no message box came up\n");
            return 1;
        }
        pressKey(box, VK_RETURN);
        std::printf("message box answered\n");
        return waitGone(box, 30) ? 0 : 1;
    }
    HWND dialog = waitForWindow("Tarvo Crisp+Calm Plug-in", 120);
    if (!dialog) {
        std::fprintf(stderr, "the dialog did not come up\n");
        return 1;
    }
    // Let the opening sequence finish painting.
    Sleep(1000);
    gAttached = AttachThreadInput(GetCurrentThreadId(), GetWindowThreadProcessId(dialog, nullptr), TRUE) != FALSE;
    if (!gAttached) std::printf("input not shared with the dialog: steps are paced by time only\n");
    bool ok = true;
    for (const std::string& step : steps) {
        if (step == "geometry") {
            ok = checkGeometry(dialog) && ok;
        } else if (step.rfind("click:", 0) == 0) {
            ok = click(dialog, controlId(step.substr(6))) && ok;
        } else if (step.rfind("shift+click:", 0) == 0 || step.rfind("ctrl+click:", 0) == 0) {
            const WORD modifier = step[0] == 's' ? VK_LSHIFT : VK_LCONTROL;
            ok = click(dialog, controlId(step.substr(step.find(':') + 1)), modifier) && ok;
        } else if (step.rfind("drag:", 0) == 0 || step.rfind("shift+drag:", 0) == 0 ||
                   step.rfind("space+drag:", 0) == 0) {
            const WORD key = step[1] == 'h' ? VK_LSHIFT : step[1] == 'p' ? VK_SPACE : 0;
            ok = dragOnImage(dialog, step.substr(step.find(':') + 1), key) && ok;
        } else if (step.rfind("key:", 0) == 0) {
            pressKey(dialog, WORD(std::atoi(step.c_str() + 4)));
        } else if (step.rfind("ctrl+key:", 0) == 0) {
            SetForegroundWindow(dialog);
            Sleep(500);
            sendKey(VK_LCONTROL, false);
            const WORD vk = WORD(std::atoi(step.c_str() + 9));
            sendKey(vk, false);
            Sleep(50);
            sendKey(vk, true);
            sendKey(VK_LCONTROL, true);
            Sleep(300);
        } else if (step.rfind("answer:", 0) == 0) {
            ok = answer(step.substr(7)) && ok;
        } else if (step.rfind("file:", 0) == 0) {
            ok = chooseFile(step.substr(5)) && ok;
        } else if (step.rfind("checked:", 0) == 0 || step.rfind("unchecked:", 0) == 0) {
            const bool want = step[0] == 'c';
            const std::string name = step.substr(step.find(':') + 1);
            const bool checked = IsDlgButtonChecked(dialog, controlId(name)) == BST_CHECKED;
            std::printf("%s %s: %s\n", name.c_str(), checked ? "checked" : "unchecked",
                        checked == want ? "ok" : "WRONG");
            ok = checked == want && ok;
        } else if (step.rfind("shown:", 0) == 0 || step.rfind("hidden:", 0) == 0) {
            const bool want = step[0] == 's';
            const std::string name = step.substr(step.find(':') + 1);
            const bool shown = IsWindowVisible(GetDlgItem(dialog, controlId(name))) != FALSE;
            std::printf("%s %s: %s\n", name.c_str(), shown ? "shown" : "hidden", shown == want ? "ok" : "WRONG");
            ok = shown == want && ok;
        } else if (step.rfind("grab:", 0) == 0) {
            ok = grabPreview(dialog, step.substr(5)) && ok;
        } else if (step.rfind("hover:", 0) == 0) {
            ok = hover(dialog, step.substr(6)) && ok;
        } else if (step.rfind("keydown:", 0) == 0 || step.rfind("keyup:", 0) == 0) {
            SetForegroundWindow(dialog);
            sendKey(WORD(std::atoi(step.c_str() + step.find(':') + 1)), step[3] != 'd');
            Sleep(200);
        } else if (step == "readouts") {
            printReadouts(dialog);
        } else if (step == "cursor") {
            printCursor();
        } else if (step.rfind("colour:", 0) == 0) {
            ok = printColour(dialog, step.substr(7)) && ok;
        } else if (step.rfind("grabctl:", 0) == 0) {
            ok = grabControl(dialog, step.substr(8)) && ok;
        } else if (step.rfind("pick:", 0) == 0 || step == "pickcancel") {
            ok = pickColour(step == "pickcancel" ? "" : step.substr(5)) && ok;
        } else if (step.rfind("bench:", 0) == 0) {
            ok = benchSlider(dialog, std::atoi(step.c_str() + 6)) && ok;
        } else if (step.rfind("at:", 0) == 0) {
            ok = clickAt(dialog, step.substr(3)) && ok;
        } else if (step.rfind("curve:", 0) == 0) {
            ok = dragOnCurve(dialog, step.substr(6)) && ok;
        } else if (step.rfind("slide:", 0) == 0) {
            ok = slide(dialog, step.substr(6)) && ok;
        } else if (step.rfind("state:", 0) == 0) {
            ok = writeState(dialog, step.substr(6)) && ok;
        } else if (step.rfind("lock:", 0) == 0) {
            // Left open until the process ends: another process's open fails.
            HANDLE held = CreateFileA(step.c_str() + 5, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            std::printf("%s held open: %s\n", step.c_str() + 5, held != INVALID_HANDLE_VALUE ? "ok" : "FAILED");
            ok = held != INVALID_HANDLE_VALUE && ok;
        } else if (step.rfind("replace:", 0) == 0) {
            ok = chooseFile(step.substr(8), true) && ok;
        } else if (step == "altf4") {
            SetForegroundWindow(dialog);
            sendKey(VK_MENU, false);
            sendKey(VK_F4, false);
            Sleep(50);
            sendKey(VK_F4, true);
            sendKey(VK_MENU, true);
            Sleep(300);
        } else {
            std::fprintf(stderr, "unknown step %s\n", step.c_str());
            return 2;
        }
        if (IsWindow(dialog)) settle(dialog);
    }
    if (!waitGone(dialog, 30)) {
        std::fprintf(stderr, "the dialog is still open\n");
        return 1;
    }
    return ok ? 0 : 1;
}
