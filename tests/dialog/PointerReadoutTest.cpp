// What the dialog shows for the pixel under the mouse, where the mouse counts
// as over the preview image, and the overlay colour's trip through the
// host's colour picker.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dialog/ColorReadout.h"
#include "dialog/OverlayColorPicker.h"
#include "host/HostCore.h"

namespace {

struct OnePixel {
    std::vector<uint8_t> bytes;
    PreviewPlanes planes;
    explicit OnePixel(std::vector<uint8_t> samples) : bytes(std::move(samples)) {
        planes.data = bytes.data();
        planes.planes = int(bytes.size());
        planes.width = planes.height = 1;
        planes.imageClass = bytes.size() == 4 ? ImageClass::CMYK : ImageClass::RGB;
    }
};

TEST(ColorReadout, PixelsGiveTheirTextsSwatchAndMarkers) {
    struct Case {
        std::vector<uint8_t> pixel;  // as the host stores it: CMYK 255 = no ink
        const char* texts[7];
        uint16_t swatch[3];
        double markers[3];
    };
    const Case cases[] = {
        {{255, 128, 0},
         {"R:100", "G:50", "B:0", "", "H:30\xB0", "S:100", "I:50"},
         {65280, 32768, 0},
         {0.08370, 1.0, 0.49871}},
        {{0, 255, 0},
         {"R:0", "G:100", "B:0", "", "H:120\xB0", "S:100", "I:33"},
         {0, 65280, 0},
         {0.33333, 1.0, 0.33204}},
        {{128, 128, 128},
         {"R:50", "G:50", "B:50", "", "H:0\xB0", "S:0", "I:50"},
         {32768, 32768, 32768},
         {0.0, 0.0, 0.50001}},
        // Cyan ink only, then black ink only: through the host's conversion.
        {{0, 255, 255, 255},
         {"C:100", "M:0", "Y:0", "K:0", "H:180\xB0", "S:100", "I:66"},
         {0, 65280, 65280},
         {0.5, 1.0, 0.66407}},
        {{255, 255, 255, 0}, {"C:0", "M:0", "Y:0", "K:100", "H:0\xB0", "S:0", "I:0"}, {0, 0, 0}, {0.0, 0.0, 0.0}},
    };
    HostCore host;
    RunContext run(&host.record());
    for (const Case& c : cases) {
        OnePixel image(c.pixel);
        ColorReadout r;
        ASSERT_TRUE(readPreviewPixel(run, image.planes, 0, 0, r));
        const std::string shown[7] = {r.channels[0], r.channels[1], r.channels[2], r.channels[3],
                                      r.hsi[0],      r.hsi[1],      r.hsi[2]};
        for (int i = 0; i < 7; ++i) EXPECT_EQ(shown[i], c.texts[i]) << "readout " << i << " of " << c.texts[0];
        EXPECT_TRUE(r.hasColor);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(r.swatch[i], c.swatch[i]) << c.texts[0];
            EXPECT_NEAR(r.markers[i], c.markers[i], 1e-4) << c.texts[0];
        }
    }
    // Outside the planes nothing is read; a CMYK pixel the host cannot
    // convert shows its inks only.
    OnePixel rgb({1, 2, 3});
    ColorReadout r;
    EXPECT_FALSE(readPreviewPixel(run, rgb.planes, 1, 0, r));
    EXPECT_FALSE(readPreviewPixel(run, rgb.planes, 0, -1, r));
    RunContext noHost(nullptr);
    OnePixel cmyk({0, 255, 255, 255});
    ASSERT_TRUE(readPreviewPixel(noHost, cmyk.planes, 0, 0, r));
    EXPECT_EQ(r.channels[0], "C:100");
    EXPECT_FALSE(r.hasColor);
    EXPECT_EQ(r.hsi[0], "");
}

TEST(ColorReadout, OnlyThePlacedImageCountsAsThePreviewImage) {
    std::vector<uint8_t> bytes(3 * 50 * 40);
    Preview preview;
    preview.pane = VRect{20, 20, 60, 70};  // 50 x 40 pane at (20, 20)
    preview.unprocessed.data = bytes.data();
    preview.placement = PreviewPlacement{5, 10, 30, 20};  // image at pane (5, 10), 30 x 20
    struct Case {
        int16_t x, y;
        bool over;
        int32_t column, row;
    };
    const Case cases[] = {{25, 30, true, 5, 10},        {54, 49, true, 34, 29}, {24, 30, false, 0, 0},
                          {55, 30, false, 0, 0},        {25, 29, false, 0, 0},  {25, 50, false, 0, 0},
                          {-32768, -32768, false, 0, 0}};
    for (const Case& c : cases) {
        int32_t column = 0, row = 0;
        EXPECT_EQ(previewImagePixel(preview, Point16{c.y, c.x}, column, row), c.over) << c.x << "," << c.y;
        if (c.over) {
            EXPECT_EQ(column, c.column) << c.x << "," << c.y;
            EXPECT_EQ(row, c.row) << c.x << "," << c.y;
        }
    }
    preview.unprocessed.data = nullptr;  // no buffers: no image to be over
    int32_t column = 0, row = 0;
    EXPECT_FALSE(previewImagePixel(preview, Point16{30, 25}, column, row));
}

// A host's colour services that records the request and answers as told.
struct PickerHost {
    static ColorServicesInfo seen;
    static int16_t answer[3];
    static OSErr result;
    static OSErr PSCALL services(ColorServicesInfo* info) {
        seen = *info;
        if (result == noErr) std::memcpy(info->colorComponents, answer, sizeof answer);
        return result;
    }
};
ColorServicesInfo PickerHost::seen;
int16_t PickerHost::answer[3];
OSErr PickerHost::result;

TEST(OverlayColorPicker, HandsTheHostRoundedBytesAndTakesBackItsChoice) {
    FilterRecord record{};
    record.colorServices = PickerHost::services;
    RunContext run(&record);
    struct Case {
        uint16_t colour[3];
        int16_t handed[3];  // the bytes the picker starts from
        int16_t answer[3];
        OSErr result;
        uint16_t chosen[3];  // {1, 1, 1}: untouched
    };
    const Case cases[] = {
        {{0x1280, 0xFFFF, 0x007F}, {0x13, 0xFF, 0x00}, {10, 20, 30}, noErr, {2560, 5120, 7680}},
        {{0x0080, 0xFF80, 0x7F7F}, {0x01, 0xFF, 0x7F}, {255, 0, 128}, noErr, {65280, 0, 32768}},
        // A host out of range is held to bytes.
        {{0, 0, 0}, {0, 0, 0}, {300, -5, 255}, noErr, {65280, 0, 65280}},
        {{0x4000, 0, 0}, {0x40, 0, 0}, {1, 2, 3}, userCanceledErr, {1, 1, 1}},
        {{0x4000, 0, 0}, {0x40, 0, 0}, {1, 2, 3}, paramErr, {1, 1, 1}},
    };
    for (const Case& c : cases) {
        std::memcpy(PickerHost::answer, c.answer, sizeof c.answer);
        PickerHost::result = c.result;
        PickerHost::seen = ColorServicesInfo{};
        uint16_t chosen[3] = {1, 1, 1};
        EXPECT_EQ(pickColorThroughHost(run, c.colour, chosen), c.result == noErr);
        const ColorServicesInfo& q = PickerHost::seen;
        EXPECT_EQ(q.infoSize, int32_t(sizeof(ColorServicesInfo)));
        EXPECT_EQ(q.selector, plugIncolorServicesChooseColor);
        EXPECT_EQ(q.sourceSpace, plugIncolorServicesRGBSpace);
        EXPECT_EQ(q.resultSpace, plugIncolorServicesRGBSpace);
        EXPECT_EQ(q.selectorParameter.pickerPrompt, nullptr);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(q.colorComponents[i], c.handed[i]) << i;
            EXPECT_EQ(chosen[i], c.chosen[i]) << i;
        }
    }
    // A host without colour services opens no picker.
    FilterRecord bare{};
    RunContext none(&bare);
    uint16_t chosen[3] = {1, 1, 1};
    const uint16_t colour[3] = {0, 0, 0};
    EXPECT_FALSE(pickColorThroughHost(none, colour, chosen));
    EXPECT_EQ(chosen[0], 1);
}

}  // namespace
