// Platform services on Windows: the toolkit's message box, the desktop size
// and the about box.
#include <windows.h>

#include "dialog/win32/AboutBox.h"
#include "services/Platform.h"
#include "toolkit/Canvas.h"
#include "toolkit/MessageBox.h"

namespace {
int win32Message(const char* text, const char* title, int kind) { return showMessage(title, text, kind) ? 1 : 0; }
int32_t win32DesktopHeight() { return Canvas::screenSize().v; }
// The main dialog is not built yet.
int win32Dialog(FilterRecord*, FilterParameters*) { return -1; }
void win32About(SPBasicSuite* basic) { showAboutBox(basic); }
void win32Progress(int) {}
}  // namespace

PlatformServices defaultPlatformServices() {
    return {win32Message, win32DesktopHeight, win32Dialog, win32About, win32Progress};
}
