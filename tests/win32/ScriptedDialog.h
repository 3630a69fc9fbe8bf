// A toolkit dialog for tests: builds controls on the init event, then runs a
// test body inside its own modal loop (from a timer), recording every event it
// receives. The body drives the dialog with real window messages or input.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "toolkit/Control.h"
#include "toolkit/Dialog.h"

struct RecordedEvent {
    int32_t code;
    Control* control;
    int32_t a;
    int32_t b;
};

class ScriptedDialog : public Dialog {
public:
    std::function<uint32_t(ScriptedDialog&)> build;  // on init; its answer is the init answer
    std::function<void(ScriptedDialog&)> body;       // runs once inside the modal loop
    // Optional answer to each recorded event; 0 (stay open) without one.
    std::function<uint32_t(const RecordedEvent&)> answer;
    std::vector<RecordedEvent> events;

    // Runs the dialog: client area width x height at (100, 100).
    uint32_t start(int16_t width = 400, int16_t height = 300);
    // Ends the run with result 99 (from inside the body).
    void finish();

    uint32_t handleEvent(int32_t code, Control* control, int32_t a, int32_t b) override;

    size_t count(int32_t code, const Control* control = nullptr) const;
    const RecordedEvent* last(int32_t code) const;
    void clear() { events.clear(); }

    // Dispatches the thread's messages for up to ms milliseconds, or until
    // done() holds.
    void pump(DWORD ms, const std::function<bool()>& done = nullptr);

private:
    static void CALLBACK timer(HWND window, UINT, UINT_PTR id, DWORD);
    bool finishing_ = false;
    bool ended_ = false;  // a close request was granted
};

// Mouse-message helpers: lParam of client point (x, y).
inline LPARAM clientPoint(int x, int y) { return MAKELPARAM(x, y); }
