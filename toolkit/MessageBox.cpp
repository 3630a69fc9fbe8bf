#include "toolkit/MessageBox.h"

#include <windows.h>

bool showMessage(const char* caption, const char* text, int kind) {
    UINT style = MB_OK | MB_ICONINFORMATION;
    switch (kind) {
        case MessageExclamation:
            style = MB_OK | MB_ICONEXCLAMATION;
            break;
        case MessageStop:
            style = MB_OK | MB_ICONHAND;
            break;
        case MessageOkCancel:
            style = MB_OKCANCEL | MB_ICONQUESTION;
            break;
        case MessageYesNoQuestion:
            style = MB_YESNO | MB_ICONQUESTION;
            break;
        default:
            break;
    }
    const int answer = MessageBoxA(GetForegroundWindow(), text ? text : "", caption ? caption : "", style);
    return answer == IDOK || answer == IDYES;
}
