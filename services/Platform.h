// The few platform services the entry point needs. Windows builds link the
// implementation of dialog/win32; other builds the headless one of entry/
// (messages to stderr, no screen limit, no dialog). Tests may replace single
// entries.
#pragma once

#include <cstdint>

struct FilterRecord;
struct FilterParameters;
struct SPBasicSuite;

enum MessageKind : int { MessageOk = 0, MessageError = 3, MessageYesNo = 5 };

struct PlatformServices {
    // Modal message box; returns the button pressed (1 = OK/Yes, 0 = No).
    int (*showMessage)(const char* text, const char* title, int kind);
    // Height in pixels of the primary desktop's client area.
    int32_t (*desktopHeight)();
    // Runs the main dialog on the block: 1 OK, 0 cancelled, anything else failed.
    int (*runMainDialog)(FilterRecord* record, FilterParameters* block);
    // The about box; basic is the host's suite for opening the web address.
    void (*showAboutBox)(SPBasicSuite* basic);
    // Progress bar of the open dialog, 0..100; nothing without a dialog.
    void (*setDialogProgress)(int percent);
};

// The services of this build, installed before the first call.
PlatformServices defaultPlatformServices();
PlatformServices& platformServices();
