#include "tests/win32/ScriptedDialog.h"

namespace {
ScriptedDialog* gRunning = nullptr;
constexpr uint32_t kFinished = 99;
}  // namespace

uint32_t ScriptedDialog::start(int16_t width, int16_t height) {
    finishing_ = false;
    ended_ = false;
    ScriptedDialog* outer = gRunning;
    gRunning = this;
    const uint32_t result = run("Test", 100, 100, width, height, nullptr, GetModuleHandleA(nullptr));
    gRunning = outer;
    return result;
}

void ScriptedDialog::finish() {
    if (!window() || finishing_ || ended_) return;
    finishing_ = true;
    SendMessageA(window(), WM_MOUSEMOVE, 0, 0);
}

uint32_t ScriptedDialog::handleEvent(int32_t code, Control* control, int32_t a, int32_t b) {
    if (finishing_) {
        if (code == EventMouseMove) return kFinished;
        if (code == EventCloseRequest) return uint32_t(a);
        return 0;
    }
    if (code == EventInitialised) {
        SetTimer(window(), 1, 1, timer);
        return build ? build(*this) : 0;
    }
    events.push_back(RecordedEvent{code, control, a, b});
    const uint32_t result = answer ? answer(events.back()) : 0;
    if (code == EventCloseRequest && result != 0) ended_ = true;
    return result;
}

void CALLBACK ScriptedDialog::timer(HWND window, UINT, UINT_PTR id, DWORD) {
    KillTimer(window, id);
    ScriptedDialog* dialog = gRunning;
    if (!dialog || dialog->window() != window) return;
    // The dialog box shows its window once its queue first runs empty; a
    // timer can fire before that. Real input needs the window on screen.
    if (!IsWindowVisible(window)) {
        SetTimer(window, id, 1, timer);
        return;
    }
    UpdateWindow(window);
    if (dialog->body) dialog->body(*dialog);
    dialog->finish();
}

size_t ScriptedDialog::count(int32_t code, const Control* control) const {
    size_t n = 0;
    for (const RecordedEvent& e : events)
        if (e.code == code && (!control || e.control == control)) ++n;
    return n;
}

const RecordedEvent* ScriptedDialog::last(int32_t code) const {
    for (auto it = events.rbegin(); it != events.rend(); ++it)
        if (it->code == code) return &*it;
    return nullptr;
}

void ScriptedDialog::pump(DWORD ms, const std::function<bool()>& done) {
    const DWORD begin = GetTickCount();
    while (GetTickCount() - begin < ms) {
        if (done && done()) return;
        MSG message;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!window() || !IsDialogMessageA(window(), &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }
}
