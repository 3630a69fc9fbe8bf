// The about box: product line, version, legal notice and a button with the
// maker's web address. Any click closes it; a click on the address first asks
// the host to open it in the web browser.
#pragma once

#include <cstdint>

#include "hostapi/PluginHost.h"
#include "toolkit/ButtonControls.h"
#include "toolkit/Dialog.h"
#include "toolkit/Label.h"

// The maker's web address: the button's label and the host name the browser
// is sent to.
extern const char* const kMakerWebAddress;

class AboutBox : public Dialog {
public:
    // basic: the host's suite that opens the web address (may be null).
    explicit AboutBox(SPBasicSuite* basic = nullptr) : basic_(basic) {}
    uint32_t handleEvent(int32_t code, Control* control, int32_t a, int32_t b) override;

    Label& productLine() { return productLine_; }
    PushButton& webLink() { return webLink_; }

private:
    SPBasicSuite* basic_;
    Label productLine_;
    Label versionCaption_;
    Label versionNumber_;
    Label legalNotice_;
    PushButton webLink_;
};

// Builds the about box, runs it and returns its result.
uint32_t showAboutBox(SPBasicSuite* basic);
