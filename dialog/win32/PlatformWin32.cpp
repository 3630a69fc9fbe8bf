// Platform services on Windows: the toolkit's message box, the desktop size,
// the main dialog with its progress bar, and the about box.
#include <windows.h>

#include "dialog/win32/AboutBox.h"
#include "dialog/win32/MainDialog.h"
#include "services/Platform.h"
#include "toolkit/Canvas.h"
#include "toolkit/MessageBox.h"

namespace {
int win32Message(const char* text, const char* title, int kind) { return showMessage(title, text, kind) ? 1 : 0; }
int32_t win32DesktopHeight() { return Canvas::screenSize().v; }
void win32About(SPBasicSuite* basic) { showAboutBox(basic); }
}  // namespace

PlatformServices defaultPlatformServices() {
    return {win32Message, win32DesktopHeight, runMainDialogWin32, win32About, setMainDialogProgress};
}
