// A drop-down list without edit field. Selections are 1-based.
#pragma once

#include "toolkit/Control.h"

class DropList : public Control {
public:
    // 100 pixels high (the height of the dropped list).
    bool create(int16_t x, int16_t y, int16_t width, Dialog* owner, int id);
    void addItem(const char* text);
    // Adds the item "--------".
    void addSeparator();
    void clear();
    // The selected item, 1-based; -1 when nothing is selected or without window.
    int32_t selection() const;
    // Selects item n (1-based) and stores n.
    void select(int32_t n);
    // The selection the dialog last accepted.
    int32_t storedSelection() const { return storedSelection_; }
    void setStoredSelection(int32_t n) { storedSelection_ = n; }
    // Makes room for n items below the field.
    void setVisibleItems(int32_t n);

private:
    int32_t storedSelection_ = 0;
};
