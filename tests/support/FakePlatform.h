// Replaces the platform services for one test: records message boxes, sets
// the desktop height and the dialog's outcome. Restores them on destruction.
#pragma once

#include <string>
#include <vector>

#include "services/Platform.h"

struct FakePlatform {
    struct Message {
        std::string text, title;
        int kind;
    };
    static FakePlatform* current;
    std::vector<Message> messages;
    int32_t desktopHeight = 1024;
    int dialogOutcome = 1;
    int dialogRuns = 0;
    int aboutShown = 0;
    // Called while the fake dialog runs, to edit the block as a user would.
    void (*editInDialog)(FilterParameters*) = nullptr;

    FakePlatform();
    ~FakePlatform();

private:
    PlatformServices saved_;
};
