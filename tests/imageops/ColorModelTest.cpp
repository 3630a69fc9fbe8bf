#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include "imageops/ColorModel.h"
#include "tests/imageops/ImageOpsTestSupport.h"

namespace {

HsiPixel hsiOf(uint16_t r, uint16_t g, uint16_t b) {
    const uint16_t rgb[3] = {r, g, b};
    HsiPixel p;
    rgbToHsi(rgb, p);
    return p;
}

TEST(ColorModel, RoundHalfAwayFromZero) {
    EXPECT_EQ(roundHalfAway(2.5), 3);
    EXPECT_EQ(roundHalfAway(2.4999), 2);
    EXPECT_EQ(roundHalfAway(-2.5), -3);
    EXPECT_EQ(roundHalfAway(0.0), 0);
}

TEST(ColorModel, HueReferencePoints) {
    EXPECT_EQ(hsiOf(65535, 0, 0).hue, 0);
    EXPECT_EQ(hsiOf(65535, 65535, 0).hue, 10923);
    EXPECT_EQ(hsiOf(0, 65535, 0).hue, 21845);
    EXPECT_EQ(hsiOf(0, 65535, 65535).hue, 32768);
    EXPECT_EQ(hsiOf(0, 0, 65535).hue, 43690);
    EXPECT_EQ(hsiOf(65535, 0, 65535).hue, 54612);  // 300 degrees lands a hair below the half unit
}

TEST(ColorModel, SaturationsAndGrey) {
    const HsiPixel red = hsiOf(65535, 0, 0);
    EXPECT_EQ(red.saturation, 65535);
    EXPECT_EQ(red.hsiSaturation, 65535);
    EXPECT_EQ(red.value, 65535);
    EXPECT_EQ(red.intensity, 21845);
    EXPECT_EQ(hsiOf(43690, 0, 0).saturation, 65535);
    EXPECT_EQ(hsiOf(32768, 0, 0).saturation, 49152);
    EXPECT_EQ(hsiOf(30000, 0, 0).saturation, 45000);
    for (uint16_t grey : {0, 1, 12345, 65535}) {
        const HsiPixel p = hsiOf(grey, grey, grey);
        EXPECT_EQ(p.hue, 0);
        EXPECT_EQ(p.hsiSaturation, 0);
        EXPECT_EQ(p.saturation, 0);
        EXPECT_EQ(p.value, grey);
        EXPECT_EQ(p.intensity, grey);
        uint16_t back[3];
        hsiToRgb(p, back);
        EXPECT_EQ(back[0], grey);
        EXPECT_EQ(back[1], grey);
        EXPECT_EQ(back[2], grey);
    }
}

TEST(ColorModel, HueJustBelowRedWraps) {
    // Red with a trace of blue lies just below 360 degrees.
    const HsiPixel p = hsiOf(65535, 0, 1);
    EXPECT_GT(p.hue, 65500);
    HsiPixel full{65535, 0, 0, 0, 30000};
    uint16_t rgb[3];
    hsiToRgb(full, rgb);  // 360 degrees is 0: grey here, since saturation is 0
    EXPECT_EQ(rgb[0], 30000);
}

TEST(ColorModel, HsiToRgbSpecialCases) {
    uint16_t rgb[3];
    hsiToRgb(HsiPixel{12345, 40000, 0, 0, 0}, rgb);
    EXPECT_EQ(rgb[0] | rgb[1] | rgb[2], 0);
    hsiToRgb(HsiPixel{12345, 0, 0, 0, 777}, rgb);
    EXPECT_EQ(rgb[0], 777);
    EXPECT_EQ(rgb[1], 777);
    EXPECT_EQ(rgb[2], 777);
}

// RGB -> YUV -> RGB comes back within one unit. RGB -> HSI -> RGB cannot: the
// HSI form keeps the hue in 65536 steps per turn (up to about 3.5 units on a
// saturated channel) and the rounded mean (up to 1.5 units over the three
// channels); greys and primaries come back exactly.
TEST(ColorModel, RoundTripsOverTheCube) {
    const uint16_t steps[] = {0, 1, 2, 255, 4096, 10000, 21845, 32767, 32768, 40000, 50000, 65279, 65534, 65535};
    std::vector<std::array<uint16_t, 3>> colours;
    for (uint16_t r : steps)
        for (uint16_t g : steps)
            for (uint16_t b : steps) colours.push_back({r, g, b});
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> value(0, 65535);
    for (int i = 0; i < 20000; ++i)
        colours.push_back({uint16_t(value(rng)), uint16_t(value(rng)), uint16_t(value(rng))});
    int worstHsi = 0;
    for (const auto& rgb : colours) {
        HsiPixel hsi;
        rgbToHsi(rgb.data(), hsi);
        uint16_t back[3];
        hsiToRgb(hsi, back);
        uint16_t yuv[3], fromYuv[3];
        rgbToYuv(rgb.data(), yuv);
        yuvToRgb(yuv, fromYuv);
        for (int c = 0; c < 3; ++c) {
            ASSERT_LE(std::abs(fromYuv[c] - rgb[c]), 1) << rgb[0] << " " << rgb[1] << " " << rgb[2] << " channel " << c;
            worstHsi = std::max(worstHsi, std::abs(back[c] - rgb[c]));
        }
    }
    EXPECT_LE(worstHsi, 5);
    const uint16_t exact[][3] = {{65535, 0, 0}, {0, 65535, 0}, {0, 0, 65535}, {4242, 4242, 4242}};
    for (const auto& rgb : exact) {
        HsiPixel hsi;
        rgbToHsi(rgb, hsi);
        uint16_t back[3];
        hsiToRgb(hsi, back);
        for (int c = 0; c < 3; ++c) EXPECT_EQ(back[c], rgb[c]);
    }
}

TEST(ColorModel, WithoutHueEveryOtherFieldIsTheSame) {
    uint32_t seed = 99;
    for (int i = 0; i < 200000; ++i) {
        uint16_t rgb[3];
        for (uint16_t& c : rgb) {
            seed = seed * 1664525u + 1013904223u;
            c = uint16_t(seed >> 16);
        }
        if (i % 7 == 0) rgb[1] = rgb[2];  // the g = b branch
        HsiPixel full{}, partial{};
        rgbToHsi(rgb, full);
        rgbToHsiWithoutHue(rgb, partial);
        ASSERT_EQ(partial.hue, 0);
        ASSERT_EQ(partial.hsiSaturation, full.hsiSaturation);
        ASSERT_EQ(partial.saturation, full.saturation);
        ASSERT_EQ(partial.value, full.value);
        ASSERT_EQ(partial.intensity, full.intensity);
    }
}

TEST(ColorModel, YuvReferenceValues) {
    uint16_t rgb[3];
    const uint16_t white[3] = {65535, 65535, 65535};
    yuvToRgb(white, rgb);
    EXPECT_EQ(rgb[0], 65535);
    EXPECT_EQ(rgb[1], 30858);
    EXPECT_EQ(rgb[2], 65535);
    const uint16_t dark[3] = {0, 65535, 65535};
    yuvToRgb(dark, rgb);
    EXPECT_EQ(rgb[0], 45940);
    EXPECT_EQ(rgb[1], 0);
    EXPECT_EQ(rgb[2], 58064);

    // The extremes of U and V stay in range.
    uint16_t yuv[3];
    const uint16_t blue[3] = {0, 0, 65535}, red[3] = {65535, 0, 0}, yellow[3] = {65535, 65535, 0};
    rgbToYuv(blue, yuv);
    EXPECT_GE(yuv[1], 65534);
    rgbToYuv(red, yuv);
    EXPECT_GE(yuv[2], 65534);
    rgbToYuv(yellow, yuv);
    EXPECT_LE(yuv[1], 1);
    const uint16_t grey[3] = {1000, 1000, 1000};
    rgbToYuv(grey, yuv);
    EXPECT_EQ(yuv[0], 1000);
    EXPECT_EQ(yuv[1], 32768);
    EXPECT_EQ(yuv[2], 32768);
}

TEST(ColorModel, HsvColourBar) {
    uint16_t rgb[3];
    hsvToRgb(HsiPixel{0, 65535, 0, 65535, 0}, rgb);
    EXPECT_EQ(rgb[0], 65535);
    EXPECT_EQ(rgb[1], 0);
    EXPECT_EQ(rgb[2], 0);
    hsvToRgb(HsiPixel{21845, 65535, 0, 65535, 0}, rgb);  // 120 degrees
    EXPECT_EQ(rgb[0], 0);
    EXPECT_EQ(rgb[1], 65535);
    hsvToRgb(HsiPixel{65535, 65535, 0, 65535, 0}, rgb);  // 360 is red again
    EXPECT_EQ(rgb[0], 65535);
    EXPECT_EQ(rgb[2], 0);
    hsvToRgb(HsiPixel{9999, 0, 0, 1234, 0}, rgb);
    EXPECT_EQ(rgb[1], 1234);
}

TEST(ColorModel, EightBitAndDepth) {
    EXPECT_EQ(to8Bit(255), 1);
    EXPECT_EQ(to8Bit(127), 0);
    EXPECT_EQ(to8Bit(65535), 255);
    EXPECT_EQ(to8Bit(65280), 255);
    EXPECT_EQ(to8Bit(32767), 128);
    EXPECT_EQ(depthMaximum(1), 255u);
    EXPECT_EQ(depthMaximum(2), 65535u);
    EXPECT_EQ(depthMaximum(3), 0u);
}

using HostColour = HostTest;

TEST_F(HostColour, ConversionsThroughTheHostAtEightBits) {
    // Pure red: no cyan, full magenta and yellow, no black (internal 0 = no ink).
    const uint16_t red[3] = {65535, 0, 0};
    uint16_t cmyk[4] = {1, 1, 1, 1};
    ASSERT_TRUE(rgbToCmyk(run, red, cmyk));
    EXPECT_EQ(cmyk[0], 0);
    EXPECT_EQ(cmyk[1], 65280);
    EXPECT_EQ(cmyk[2], 65280);
    EXPECT_EQ(cmyk[3], 0);
    uint16_t rgb[3];
    ASSERT_TRUE(cmykToRgb(run, cmyk, rgb));
    EXPECT_EQ(rgb[0], 65280);
    EXPECT_EQ(rgb[1], 0);
    EXPECT_EQ(rgb[2], 0);
    const uint16_t yuvGrey[3] = {32896, 32768, 32768};
    ASSERT_TRUE(yuvToCmyk(run, yuvGrey, cmyk));
    EXPECT_EQ(cmyk[0], 0);
    EXPECT_EQ(cmyk[3], 126 * 256);  // RGB 129 grey: 126 of black
    // The request record is the run's own: the host saw this build's size.
    EXPECT_EQ(run.colorRequest().infoSize, int32_t(sizeof(ColorServicesInfo)));
}

TEST_F(HostColour, RefusedConversionsLeaveTheOutput) {
    const uint16_t in[4] = {100, 200, 300, 400};
    struct Refusal {
        const uint16_t* source;
        ColorModel from, to;
    };
    const Refusal refusals[] = {{in, ColorModel::RGB, ColorModel::RGB},
                                {in, ColorModel::CMYK, ColorModel::YUV},
                                {in, ColorModel::HSI, ColorModel::CMYK},
                                {nullptr, ColorModel::RGB, ColorModel::CMYK}};
    uint16_t out[4] = {9, 9, 9, 9};
    for (const Refusal& r : refusals) EXPECT_FALSE(convertThroughHost(run, r.source, r.from, out, r.to));
    RunContext noHost(nullptr);
    EXPECT_FALSE(rgbToCmyk(noHost, in, out));
    host.record().colorServices = nullptr;
    EXPECT_FALSE(rgbToCmyk(run, in, out));
    for (uint16_t v : out) EXPECT_EQ(v, 9);
}

}  // namespace
