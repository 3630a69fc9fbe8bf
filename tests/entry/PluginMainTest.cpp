// Every path of the entry point, driven through the stand-in host.
#include <gtest/gtest.h>

#include "base/ByteCodec.h"
#include "entry/PluginMain.h"
#include "host/HostCore.h"
#include "params/FilterParameters.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/TestImages.h"

namespace {

const char kVersionMessage[] = "This plug-in needs Photoshop version 5 or higher";
const char kScreenMessage[] = "Please set your monitor resolution to 1024x768 or higher";
const char kModeMessage[] = "Please make sure that the image is in RGB or CMYK mode and that all channels are selected";
const char kLastFilterMessage[] = "The 'Last Filter' command cannot be applied because the image type is incompatible";

struct EntryTest : ::testing::Test {
    FakePlatform platform;
    HostCore host;
    void SetUp() override { host.setImage(makeTestImage(40, 30, 3, 8)); }
    int16 call(int16 selector) { return host.call(PluginMain, selector); }
    FilterParameters stored() {
        FilterParameters p;
        std::vector<uint8_t> bytes = host.parameterBytes();
        EXPECT_TRUE(readFilterParameters(bytes.data(), bytes.size(), p));
        return p;
    }
    void store(const FilterParameters& p) {
        std::vector<uint8_t> bytes(kFilterParametersSize);
        writeFilterParameters(p, bytes.data(), bytes.size());
        host.setParameterBytes(bytes);
    }
};

TEST_F(EntryTest, ParametersCreatesDefaultBlockAndAsksForTheDialog) {
    EXPECT_EQ(call(filterSelectorParameters), noErr);
    std::vector<uint8_t> bytes = host.parameterBytes();
    ASSERT_EQ(bytes.size(), kFilterParametersSize);
    FilterParameters p = stored();
    EXPECT_TRUE(p.isValid());
    EXPECT_EQ(p.showDialog, 1);
    EXPECT_EQ(p.amount, 50);
    EXPECT_EQ(p.imageClass, ImageClass(0));
    EXPECT_TRUE(platform.messages.empty());

    // A later parameters selector keeps the settings and asks for the dialog again.
    p.showDialog = 0;
    p.amount = 12;
    store(p);
    EXPECT_EQ(call(filterSelectorParameters), noErr);
    EXPECT_EQ(stored().amount, 12);
    EXPECT_EQ(stored().showDialog, 1);
}

TEST_F(EntryTest, PrepareStatesTheMemoryNeeds) {
    EXPECT_EQ(call(filterSelectorPrepare), noErr);
    EXPECT_EQ(host.record().bufferSpace, 5600000);
    EXPECT_EQ(host.record().maxSpace, 16480000);
    EXPECT_TRUE(host.parameterBytes().empty()) << "prepare allocates nothing";
}

TEST_F(EntryTest, HostWithoutBasicSuiteButBufferProcsIsServed) {
    HostQuirks quirks;
    quirks.noBasicSuite = true;
    host.setQuirks(quirks);
    EXPECT_EQ(call(filterSelectorParameters), noErr);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(EntryTest, OldHostIsRefusedForEverySelectorButAbout) {
    host.setHasBasicSuite(false);
    for (int16 selector : {1, 2, 3, 4, 5}) {
        platform.messages.clear();
        EXPECT_EQ(call(selector), 1) << selector;
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text, kVersionMessage);
        EXPECT_EQ(platform.messages[0].title, "Error");
        EXPECT_EQ(platform.messages[0].kind, MessageError);
    }
    platform.messages.clear();
    EXPECT_EQ(call(filterSelectorAbout), noErr);
    EXPECT_EQ(platform.aboutShown, 1);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(EntryTest, ScreenHeightDecidesAloneAndAboutSkipsTheCheck) {
    platform.desktopHeight = 720;
    EXPECT_EQ(call(filterSelectorPrepare), 1);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, kScreenMessage);
    EXPECT_EQ(call(filterSelectorFinish), 1);
    EXPECT_EQ(call(filterSelectorAbout), noErr);
    platform.messages.clear();
    platform.desktopHeight = 768;
    EXPECT_EQ(call(filterSelectorPrepare), noErr);
    EXPECT_EQ(call(filterSelectorContinue), noErr);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(EntryTest, StartRefusesOtherModes) {
    ASSERT_EQ(call(filterSelectorParameters), noErr);
    for (int16 mode : {plugInModeGrayScale, plugInModeGray16, plugInModeLab48, plugInModeIndexedColor}) {
        platform.messages.clear();
        host.record().imageMode = mode;
        EXPECT_EQ(call(filterSelectorStart), 1);
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text, kModeMessage);
    }
    EXPECT_EQ(platform.dialogRuns, 0);
}

TEST_F(EntryTest, StartWithoutBlockOrWithBadSignature) {
    EXPECT_EQ(call(filterSelectorStart), memFullErr);
    EXPECT_TRUE(platform.messages.empty());

    FilterParameters p;
    p.setDefaults();
    p.signature = 0x4E535851;  // the right letters in the wrong order
    store(p);
    const HostImage before = host.image();
    EXPECT_EQ(call(filterSelectorStart), filterBadParameters);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(host.image().samples, before.samples);
    EXPECT_EQ(platform.dialogRuns, 0);
}

TEST_F(EntryTest, ShortParameterHandleIsNeverReadPastItsEnd) {
    std::vector<uint8_t> bytes(100, 0);
    ByteWriter(bytes.data(), bytes.size()).u32(kParametersSignature);
    host.setParameterBytes(bytes);
    EXPECT_EQ(call(filterSelectorStart), filterBadParameters);
    EXPECT_EQ(call(filterSelectorParameters), filterBadParameters);
    EXPECT_EQ(host.parameterBytes().size(), 100u);
}

TEST_F(EntryTest, CancelledDialogKeepsAskingAndOkAppliesSilentlyNextTime) {
    ASSERT_EQ(call(filterSelectorParameters), noErr);
    const HostImage before = host.image();
    platform.dialogOutcome = 0;
    platform.editInDialog = [](FilterParameters* p) {
        p->amount = 90;
        p->imageClass = ImageClass::RGB;
    };
    EXPECT_EQ(call(filterSelectorStart), userCanceledErr);
    EXPECT_EQ(stored().showDialog, 1);
    EXPECT_EQ(stored().amount, 90) << "the dialog's edits are kept even when cancelled";
    EXPECT_EQ(host.image().samples, before.samples);

    platform.dialogOutcome = 7;
    EXPECT_EQ(call(filterSelectorStart), memFullErr);
    EXPECT_EQ(stored().showDialog, 1);

    platform.dialogOutcome = 1;
    EXPECT_EQ(call(filterSelectorStart), noErr);
    EXPECT_EQ(stored().showDialog, 0);
    EXPECT_EQ(platform.dialogRuns, 3);
    EXPECT_NE(host.image().samples, before.samples) << "the confirmed dialog applied the filter";

    // Repeat of the last filter: no parameters selector, no dialog.
    EXPECT_EQ(call(filterSelectorStart), noErr);
    EXPECT_EQ(platform.dialogRuns, 3);
    EXPECT_EQ(host.stats().liveBuffers, 0u);
    EXPECT_FALSE(host.stats().wroteOutsideOutRect);
}

TEST_F(EntryTest, LastFilterChecksTheImageTypeUnlessHsi) {
    FilterParameters p;
    p.setDefaults();
    p.showDialog = 0;
    p.imageClass = ImageClass::RGB;
    store(p);
    host.setImage(makeTestImage(24, 20, 4, 8));  // now a CMYK image
    const HostImage before = host.image();
    EXPECT_EQ(call(filterSelectorStart), 1);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, kLastFilterMessage);
    EXPECT_EQ(host.image().samples, before.samples);

    p.colorSpace = ColorSpace::Hsi;  // HSI works on either class
    store(p);
    platform.messages.clear();
    EXPECT_EQ(call(filterSelectorStart), noErr);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_NE(host.image().samples, before.samples);

    p.colorSpace = ColorSpace::Yuv;
    p.imageClass = ImageClass::CMYK;
    store(p);
    host.setImage(makeTestImage(24, 20, 3, 16));  // RGB48 after CMYK parameters
    EXPECT_EQ(call(filterSelectorStart), 1);
    p.imageClass = ImageClass::RGB;
    store(p);
    platform.messages.clear();
    EXPECT_EQ(call(filterSelectorStart), noErr);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(EntryTest, NullResultPointerAndNullRecordAreSurvived) {
    intptr data = 0;
    PluginMain(filterSelectorPrepare, &host.record(), &data, nullptr);
    EXPECT_EQ(host.record().maxSpace, 16480000);
    int16 result = 0;
    PluginMain(filterSelectorStart, nullptr, &data, &result);
    EXPECT_EQ(result, 1);  // no record means no basic suite: the version message
}

}  // namespace
