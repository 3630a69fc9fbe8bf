#include <algorithm>
#include <cstring>
#include <vector>

#include "entry/Platform.h"
#include "imageops/ColorModel.h"
#include "imageops/ImageBuffer.h"
#include "imageops/ProgressCounters.h"
#include "tests/imageops/ImageOpsTestSupport.h"

namespace {

using PixelTransfer = HostTest;

Point16 pt(int v, int h) { return Point16{int16_t(v), int16_t(h)}; }

// A host tile of w x h pixels of n samples, interleaved.
template <typename T>
std::vector<T> hostTile(int w, int h, int n, T fill = 0) {
    return std::vector<T>(size_t(w) * h * n, fill);
}

TEST_F(PixelTransfer, EightBitRgbScalesBothWays) {
    std::vector<uint8_t> host8 = {255, 128, 0, 1, 2, 3};
    OwnedBuffer rgb(2, 1, 3);
    ASSERT_TRUE(importRgbPixels(rgb.buffer, host8.data(), 1, pt(0, 0), pt(1, 2), 2, 8, 6, 0, 0, 0, 0));
    EXPECT_EQ(rgb.at(0, 0)[0], 65280);
    EXPECT_EQ(rgb.at(0, 0)[1], 32768);
    EXPECT_EQ(rgb.at(0, 0)[2], 0);
    std::vector<uint8_t> out(6, 77);
    ASSERT_TRUE(exportRgbPixels(rgb.buffer, out.data(), 2, 1, 2, 8, 6, 0, 0, 0, pt(0, 0), pt(1, 2)));
    EXPECT_EQ(out, host8);
}

TEST_F(PixelTransfer, SixteenBitSamplesScaleToTheFullRange) {
    // Host sample, its RGB channel value and its CMYK ink (host 32768 = no ink).
    struct Case {
        uint16_t host, rgb, cmyk;
    } cases[] = {
        {32768, 65535, 0}, {32767, 65533, 2}, {16384, 32768, 32768},
        {1, 2, 65533},     {0, 0, 65535},     {40000, 65535, 0},  // beyond the host range: clamped, not wrapped
    };
    OwnedBuffer rgb(1, 1, 3), cmyk(1, 1, 4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        std::vector<uint16_t> host(4, c.host);
        ASSERT_TRUE(importRgbPixels(rgb.buffer, host.data(), 1, pt(0, 0), pt(1, 1), 2, 16, 6, 0, 0, 0, 0));
        ASSERT_TRUE(importCmykPixels(cmyk.buffer, host.data(), 1, pt(0, 0), pt(1, 1), 3, 16, 8, 0, 0, 0, 0));
        EXPECT_EQ(rgb.at(0, 0)[0], c.rgb);
        EXPECT_EQ(cmyk.at(0, 0)[0], c.cmyk);
    }
    // Every host value comes back unchanged through the working range.
    const int w = 256, h = 129;  // 33,024 pixels: every value 0..32768
    for (int imageClass : {2, 3}) {
        const int n = imageClass == 3 ? 4 : 3;
        std::vector<uint16_t> values(size_t(w) * h * n), out(values.size());
        for (size_t i = 0; i < values.size(); ++i) values[i] = uint16_t(std::min<size_t>(i / n, 32768));
        OwnedBuffer buffer(w, h, n);
        auto import = imageClass == 3 ? importCmykPixels : importRgbPixels;
        auto exportTo = imageClass == 3 ? exportCmykPixels : exportRgbPixels;
        ASSERT_TRUE(import(buffer.buffer, values.data(), h, pt(0, 0), pt(h, w), imageClass, 16, w * n * 2, 0, 0, 0, 0));
        ASSERT_TRUE(exportTo(buffer.buffer, out.data(), w, h, imageClass, 16, w * n * 2, 0, 0, 0, pt(0, 0), pt(h, w)));
        EXPECT_EQ(out, values) << "class " << imageClass;
    }
}

TEST_F(PixelTransfer, EightBitCmykIsComplemented) {
    std::vector<uint8_t> host8 = {0, 255, 128, 10};
    OwnedBuffer cmyk(1, 1, 4);
    ASSERT_TRUE(importCmykPixels(cmyk.buffer, host8.data(), 1, pt(0, 0), pt(1, 1), 3, 8, 4, 0, 0, 0, 0));
    EXPECT_EQ(cmyk.at(0, 0)[0], 65280);
    EXPECT_EQ(cmyk.at(0, 0)[1], 0);
    EXPECT_EQ(cmyk.at(0, 0)[2], 127 * 256);
    std::vector<uint8_t> out8(4);
    ASSERT_TRUE(exportCmykPixels(cmyk.buffer, out8.data(), 1, 1, 3, 8, 4, 0, 0, 0, pt(0, 0), pt(1, 1)));
    EXPECT_EQ(out8, host8);
}

TEST_F(PixelTransfer, PlanarAndInterleavedAgree) {
    std::mt19937 rng(3);
    const int w = 5, h = 4;
    for (int imageClass : {2, 3})
        for (int depth : {8, 16}) {
            const int n = imageClass == 3 ? 4 : 3;
            std::vector<uint16_t> values(size_t(w) * h * n);
            for (auto& v : values) v = uint16_t(rng() % (depth == 8 ? 256 : 32769));
            // Interleaved and planar copies with padded rows (row bytes larger than needed).
            const int bytes = depth / 8;
            const int interRow = (w * n + 3) * bytes, planeRow = (w + 2) * bytes;
            std::vector<uint8_t> inter(size_t(interRow) * h), planar(size_t(planeRow) * h * n);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    for (int k = 0; k < n; ++k) {
                        const uint16_t v = values[(size_t(y) * w + x) * n + k];
                        uint8_t* a = inter.data() + y * interRow + (x * n + k) * bytes;
                        uint8_t* b = planar.data() + size_t(k) * h * planeRow + y * planeRow + x * bytes;
                        if (bytes == 1) {
                            *a = uint8_t(v), *b = uint8_t(v);
                        } else {
                            std::memcpy(a, &v, 2), std::memcpy(b, &v, 2);
                        }
                    }
            OwnedBuffer fromInter(w + 2, h + 2, 3), fromPlanar(w + 2, h + 2, 3);
            ASSERT_TRUE(importRgbPixels(fromInter.buffer, inter.data(), h, pt(0, 0), pt(h, w), imageClass, depth,
                                        interRow, 0, 1, 2, 0));
            ASSERT_TRUE(importRgbPixels(fromPlanar.buffer, planar.data(), h, pt(0, 0), pt(h, w), imageClass, depth,
                                        planeRow, 1, 1, 2, 0));
            EXPECT_EQ(fromInter.copy(), fromPlanar.copy());
            EXPECT_EQ(fromInter.at(0, 0)[0], 0);  // nothing before (1, 2)
            // And back out: planar export equals the interleaved export.
            std::vector<uint8_t> outInter(inter.size(), 0), outPlanar(planar.size(), 0);
            ASSERT_TRUE(exportRgbPixels(fromInter.buffer, outInter.data(), w, h, imageClass, depth, interRow, 0, 0, 0,
                                        pt(2, 1), pt(2 + h, 1 + w)));
            ASSERT_TRUE(exportRgbPixels(fromInter.buffer, outPlanar.data(), w, h, imageClass, depth, planeRow, 1, 0, 0,
                                        pt(2, 1), pt(2 + h, 1 + w)));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    for (int k = 0; k < n; ++k)
                        ASSERT_EQ(0, std::memcmp(outInter.data() + y * interRow + (x * n + k) * bytes,
                                                 outPlanar.data() + size_t(k) * h * planeRow + y * planeRow + x * bytes,
                                                 bytes));
            if (imageClass == 2 && depth == 8) {
                // 8-bit RGB survives the round trip unchanged.
                for (int y = 0; y < h; ++y)
                    EXPECT_EQ(0, std::memcmp(outInter.data() + y * interRow, inter.data() + y * interRow, w * n));
            }
        }
}

TEST_F(PixelTransfer, ConvertingKindsGoThroughTheColourModel) {
    // An 8-bit CMYK pixel into RGB and HSI buffers, and an RGB buffer out to CMYK.
    std::vector<uint8_t> cmykHost = {255, 0, 0, 255};  // full magenta in the host's form
    OwnedBuffer rgb(1, 1, 3), hsi(1, 1, 5);
    ASSERT_TRUE(importRgbPixels(rgb.buffer, cmykHost.data(), 1, pt(0, 0), pt(1, 1), 3, 8, 4, 0, 0, 0, 0));
    uint16_t expected[3];
    const uint16_t internal[4] = {0, 65280, 65280, 0};
    ASSERT_TRUE(cmykToRgb(internal, expected));
    EXPECT_EQ(rgb.at(0, 0)[0], expected[0]);
    EXPECT_EQ(rgb.at(0, 0)[1], expected[1]);
    ASSERT_TRUE(importHsiPixels(hsi.buffer, cmykHost.data(), 1, pt(0, 0), pt(1, 1), 3, 8, 4, 0, 0, 0, 0));
    HsiPixel p;
    rgbToHsi(expected, p);
    EXPECT_EQ(reinterpret_cast<HsiPixel*>(hsi.buffer.data)->hue, p.hue);

    std::vector<uint8_t> out(4);
    ASSERT_TRUE(exportHsiPixels(hsi.buffer, out.data(), 1, 1, 3, 8, 4, 0, 0, 0, pt(0, 0), pt(1, 1)));
    EXPECT_EQ(out[1], 0);  // magenta ink again
    EXPECT_EQ(out[3], 255);

    std::vector<uint8_t> rgbHost = {255, 0, 0};
    OwnedBuffer cmyk(1, 1, 4);
    ASSERT_TRUE(importCmykPixels(cmyk.buffer, rgbHost.data(), 1, pt(0, 0), pt(1, 1), 2, 8, 3, 0, 0, 0, 0));
    EXPECT_EQ(cmyk.at(0, 0)[1], 65280);
    std::vector<uint8_t> back(3);
    ASSERT_TRUE(exportCmykPixels(cmyk.buffer, back.data(), 1, 1, 2, 8, 3, 0, 0, 0, pt(0, 0), pt(1, 1)));
    EXPECT_EQ(back, rgbHost);
}

TEST_F(PixelTransfer, MaskReadsOnePlane) {
    std::vector<uint8_t> mask = {255, 0, 128, 7};
    OwnedBuffer m(2, 2, 1);
    ASSERT_TRUE(importMaskPixels(m.buffer, mask.data(), 2, pt(0, 0), pt(2, 2), 4, 8, 2, 1, 0, 0, 0));
    EXPECT_EQ(*m.at(0, 0), 65280);
    EXPECT_EQ(*m.at(1, 0), 0);
    EXPECT_EQ(*m.at(0, 1), 32768);
    EXPECT_FALSE(importMaskPixels(m.buffer, mask.data(), 2, pt(0, 0), pt(2, 2), 2, 8, 2, 0, 0, 0, 0));
    // A 16-bit mask keeps its own coarser scale: fully selected is 65280.
    std::vector<uint16_t> mask16 = {32768, 0, 16384, 127};
    ASSERT_TRUE(importMaskPixels(m.buffer, mask16.data(), 2, pt(0, 0), pt(2, 2), 4, 16, 4, 0, 0, 0, 0));
    EXPECT_EQ(*m.at(0, 0), 65280);
    EXPECT_EQ(*m.at(0, 1), 32640);
    EXPECT_EQ(*m.at(1, 1), 0);
}

TEST_F(PixelTransfer, RefusesRectanglesThatDoNotFit) {
    std::vector<uint8_t> host8 = hostTile<uint8_t>(4, 4, 3, 9);
    OwnedBuffer rgb(3, 3, 3);
    const auto before = rgb.copy();
    EXPECT_TRUE(importRgbPixels(rgb.buffer, host8.data(), 4, pt(2, 0), pt(2, 3), 2, 8, 12, 0, 0, 0, 0));
    EXPECT_FALSE(importRgbPixels(rgb.buffer, host8.data(), 4, pt(0, 0), pt(3, 4), 2, 8, 12, 0, 0, 0, 0));
    EXPECT_FALSE(importRgbPixels(rgb.buffer, host8.data(), 4, pt(0, 0), pt(3, 3), 2, 8, 12, 0, 1, 0, 0));
    EXPECT_FALSE(importRgbPixels(rgb.buffer, host8.data(), 4, pt(0, 0), pt(2, 2), 2, 8, 12, 0, -1, 0, 0));
    EXPECT_FALSE(importRgbPixels(rgb.buffer, host8.data(), 4, pt(0, 0), pt(2, 2), 2, 8, 12, 0, 0, -1, 0));
    EXPECT_FALSE(importRgbPixels(rgb.buffer, host8.data(), 4, pt(3, 0), pt(1, 2), 2, 8, 12, 0, 0, 0, 0));
    EXPECT_FALSE(importRgbPixels(rgb.buffer, host8.data(), 4, pt(0, 3), pt(2, 1), 2, 8, 12, 0, 0, 0, 0));
    EXPECT_FALSE(importRgbPixels(rgb.buffer, host8.data(), 4, pt(-1, 0), pt(1, 2), 2, 8, 12, 0, 0, 0, 0));
    EXPECT_FALSE(importRgbPixels(rgb.buffer, host8.data(), 4, pt(0, 0), pt(2, 2), 5, 8, 12, 0, 0, 0, 0));
    EXPECT_FALSE(importRgbPixels(rgb.buffer, host8.data(), 4, pt(0, 0), pt(2, 2), 2, 12, 12, 0, 0, 0, 0));
    EXPECT_EQ(rgb.copy(), before);

    std::vector<uint8_t> out = hostTile<uint8_t>(4, 4, 3, 9);
    const auto outBefore = out;
    EXPECT_TRUE(exportRgbPixels(rgb.buffer, out.data(), 4, 4, 2, 8, 12, 0, 0, 0, pt(1, 0), pt(1, 3)));
    EXPECT_FALSE(exportRgbPixels(rgb.buffer, out.data(), 4, 4, 2, 8, 12, 0, 2, 0, pt(0, 0), pt(3, 3)));
    EXPECT_FALSE(exportRgbPixels(rgb.buffer, out.data(), 4, 4, 2, 8, 12, 0, 0, 0, pt(0, 0), pt(4, 3)));
    EXPECT_FALSE(exportRgbPixels(rgb.buffer, out.data(), 4, 4, 2, 8, 12, 0, -1, 0, pt(0, 0), pt(2, 2)));
    EXPECT_FALSE(exportRgbPixels(rgb.buffer, out.data(), 4, 4, 4, 8, 12, 0, 0, 0, pt(0, 0), pt(2, 2)));
    EXPECT_EQ(out, outBefore);
}

int lastPercent = -1;
std::vector<int> percents;
void recordPercent(int percent) {
    lastPercent = percent;
    percents.push_back(percent);
}

TEST_F(PixelTransfer, ReportsRowsToTheDialogWhenAsked) {
    PlatformServices saved = platformServices();
    platformServices().setDialogProgress = recordPercent;
    percents.clear();
    std::vector<uint8_t> host8 = hostTile<uint8_t>(4, 4, 3);
    OwnedBuffer rgb(4, 4, 3);
    progressCounters.total = 16;
    progressCounters.done = 0;
    ASSERT_TRUE(importRgbPixels(rgb.buffer, host8.data(), 4, pt(0, 0), pt(4, 4), 2, 8, 12, 0, 0, 0, 1));
    EXPECT_EQ(percents, (std::vector<int>{25, 50, 75, 100}));
    EXPECT_EQ(progressCounters.done, 16u);
    percents.clear();
    ASSERT_TRUE(importRgbPixels(rgb.buffer, host8.data(), 4, pt(0, 0), pt(4, 4), 2, 8, 12, 0, 0, 0, 0));
    EXPECT_TRUE(percents.empty());
    progressCounters.total = 0;  // no total: nothing to show, and no division
    ASSERT_TRUE(importRgbPixels(rgb.buffer, host8.data(), 4, pt(0, 0), pt(4, 4), 2, 8, 12, 0, 0, 0, 1));
    EXPECT_TRUE(percents.empty());
    platformServices() = saved;
}

}  // namespace
