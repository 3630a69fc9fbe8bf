// Wrappers of the controls of the system's "BUTTON" class: push buttons,
// bitmap buttons, check boxes, radio buttons, group boxes and check groups (a
// group box whose title is a check box). Positions and sizes are pixels in
// the owner dialog's client area.
#pragma once

#include "toolkit/Control.h"

class BitmapPair;

class PushButton : public Control {
public:
    bool create(int16_t x, int16_t y, int16_t width, int16_t height, const char* text, Dialog* owner, int id);
};

// A button showing the first bitmap of a pair, sized to the bitmap plus 4
// pixels in each direction.
class BitmapButton : public Control {
public:
    // Fails when the pair holds no first bitmap.
    bool create(int16_t x, int16_t y, const BitmapPair& pictures, Dialog* owner, int id);
};

// States of a check box.
enum : int32_t { CheckOff = 0, CheckOn = 1, CheckIndeterminate = 2 };

class CheckBox : public Control {
public:
    // 13 pixels high; tri-state boxes can also be indeterminate.
    bool create(int16_t x, int16_t y, int16_t width, const char* text, Dialog* owner, int id, bool triState);
    // 1 checked, 2 indeterminate, 0 otherwise; -1 without window.
    int32_t state() const;
    // 1 or 2 set that state; any other value unchecks.
    void setState(int32_t state);
};

// Radio buttons with equal user values form one group: a click unchecks the
// others of the group.
class RadioButton : public Control {
public:
    bool create(int16_t x, int16_t y, int16_t width, const char* text, Dialog* owner, int id);
    // 1 checked, 0 not; -1 without window.
    int32_t isChecked() const;
    void setChecked(int32_t flag);
};

class GroupBox : public Control {
public:
    bool create(int16_t x, int16_t y, int16_t width, int16_t height, const char* text, Dialog* owner, int id);
};

// A group box titled by a check box. The wrapper's own window is the check
// box; the frame is the group box member, made with identifier 0.
class CheckGroup : public CheckBox {
public:
    bool create(int16_t x, int16_t y, int16_t width, int16_t height, const char* text, Dialog* owner, int id);
    GroupBox& frame() { return frame_; }

private:
    GroupBox frame_;
};
