// Platform services for builds without a screen: the plug-in runs only as a
// replayed action there, so there is no dialog to show.
#include <cstdio>

#include "base/Version.h"
#include "services/Platform.h"

namespace {
int headlessMessage(const char* text, const char* title, int) {
    std::fprintf(stderr, "%s: %s\n", title && *title ? title : "Message", text ? text : "");
    return 1;
}
int32_t headlessDesktopHeight() { return 100000; }
int headlessDialog(FilterRecord*, FilterParameters*) { return -1; }
void headlessAbout(SPBasicSuite*) { std::fprintf(stderr, "Tarvo Crisp+Calm Plug-in %s\n", kVersionText); }
void headlessProgress(int) {}
}  // namespace

PlatformServices defaultPlatformServices() {
    return {headlessMessage, headlessDesktopHeight, headlessDialog, headlessAbout, headlessProgress};
}
