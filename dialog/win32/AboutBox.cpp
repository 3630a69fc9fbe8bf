#include "dialog/win32/AboutBox.h"

#include <cstdio>

#include "base/Version.h"
#include "services/HostServices.h"

const char* const kMakerWebAddress = "www.tarvo.example";

namespace {

// Two lines separated by a carriage return; 169 is the copyright sign of the
// Windows Latin-1 code page.
const char* const kLegalNotice =
    "Copyright \xA9 1999-2004 Tarvo. All rights reserved.\r"
    "Crisp+Calm is a trademark of Tarvo.";

enum : int { IdProductLine = 1, IdVersionCaption, IdVersionNumber, IdLegalNotice, IdWebLink };

}  // namespace

uint32_t AboutBox::handleEvent(int32_t code, Control* control, int32_t a, int32_t) {
    switch (code) {
        case EventInitialised: {
            char product[80];
            std::snprintf(product, sizeof product, "Tarvo Crisp+Calm Plug-in for Adobe Photoshop%c", char(174));
            productLine_.create(50, 30, 350, 16, product, this, IdProductLine, AlignLeft);
            versionCaption_.create(140, 80, 56, 16, "Version: ", this, IdVersionCaption, AlignLeft);
            versionNumber_.create(196, 80, 100, 16, kVersionText, this, IdVersionNumber, AlignLeft);
            legalNotice_.create(25, 130, 410, 32, kLegalNotice, this, IdLegalNotice, AlignLeft);
            webLink_.create(90, 195, 180, 24, kMakerWebAddress, this, IdWebLink);
            return 0;
        }
        case EventControlChanged:
        case EventMouseDown:
            // Without the host's suites nothing opens, and the box closes all the same.
            if (control == &webLink_) browseWebAddress(basic_, kMakerWebAddress);
            return 1;
        case EventCloseRequest:
            return uint32_t(a);
        default:
            return 0;
    }
}

uint32_t showAboutBox(SPBasicSuite* basic) {
    AboutBox box(basic);
    return box.run("", 300, 260, 350, 250, nullptr, nullptr);
}
