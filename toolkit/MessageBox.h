// The toolkit's modal message box.
#pragma once

// Kinds of showMessage: 1 (and any unknown kind) OK with the information
// icon, 2 OK with the exclamation icon, 3 OK with the stop icon, 4 OK and
// Cancel with the question icon, 5 Yes and No with the question icon.
enum : int {
    MessageInformation = 1,
    MessageExclamation = 2,
    MessageStop = 3,
    MessageOkCancel = 4,
    MessageYesNoQuestion = 5
};

// Shows the message owned by the foreground window; true when the user
// answered OK or Yes.
bool showMessage(const char* caption, const char* text, int kind);
