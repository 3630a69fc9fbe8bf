#include <algorithm>
#include <cstring>
#include <vector>

#include "imageops/ColorModel.h"
#include "imageops/PixelTransfer.h"
#include "tests/imageops/ImageOpsTestSupport.h"

namespace {

using PixelTransfer = HostTest;

HostPixels pixels(void* base, int32_t rowBytes, int32_t width, int32_t rows, ImageClass imageClass, int depth,
                  bool planar = false) {
    HostPixels p;
    p.base = base;
    p.rowBytes = rowBytes;
    p.width = width;
    p.rows = rows;
    p.imageClass = imageClass;
    p.depth = depth;
    p.planar = planar;
    return p;
}

Rect16 rect(int top, int left, int bottom, int right) {
    return Rect16{int16_t(top), int16_t(left), int16_t(bottom), int16_t(right)};
}

// One pixel in, one pixel out: the channel values and what goes back.
TEST_F(PixelTransfer, SamplesMapBothWaysAtBothDepths) {
    struct Case {
        ImageClass imageClass;
        int depth;
        std::vector<uint16_t> host, channels, back;
    };
    const Case cases[] = {
        {ImageClass::RGB, 8, {255, 128, 0}, {65280, 32768, 0}, {255, 128, 0}},
        {ImageClass::RGB, 16, {32768, 32767, 0}, {65535, 65533, 0}, {32768, 32767, 0}},
        {ImageClass::RGB, 16, {65535, 40000, 1}, {65535, 65535, 2}, {32768, 32768, 1}},  // beyond the host's range
        {ImageClass::CMYK, 8, {0, 255, 128, 10}, {65280, 0, 127 * 256, 245 * 256}, {0, 255, 128, 10}},
        {ImageClass::CMYK, 16, {0, 32768, 16384, 40000}, {65535, 0, 32768, 0}, {0, 32768, 16384, 32768}},
    };
    for (const Case& c : cases) {
        const int n = int(c.host.size());
        std::vector<uint8_t> in(size_t(n) * 2), out(size_t(n) * 2, 0x77);
        for (int k = 0; k < n; ++k) {
            if (c.depth == 8)
                in[k] = uint8_t(c.host[k]);
            else
                std::memcpy(&in[2 * k], &c.host[k], 2);
        }
        const BufferContent content = c.imageClass == ImageClass::RGB ? BufferContent::RGB : BufferContent::CMYK;
        OwnedBuffer b(run, 1, 1, n);
        const int32_t rowBytes = n * c.depth / 8;
        ASSERT_TRUE(importPixels(run, content, pixels(in.data(), rowBytes, 1, 1, c.imageClass, c.depth),
                                 rect(0, 0, 1, 1), b.buffer, Point16{}));
        EXPECT_EQ(b.copy(), c.channels) << int(c.imageClass) << "/" << c.depth << " bits";
        ASSERT_TRUE(exportPixels(run, content, b.buffer, rect(0, 0, 1, 1),
                                 pixels(out.data(), rowBytes, 1, 1, c.imageClass, c.depth), Point16{}));
        for (int k = 0; k < n; ++k) {
            uint16_t v = out[k];
            if (c.depth == 16) std::memcpy(&v, &out[2 * k], 2);
            EXPECT_EQ(v, c.back[k]) << int(c.imageClass) << "/" << c.depth << " bits, sample " << k;
        }
    }
    // The selection: one 8-bit plane, whatever the planar flag says.
    std::vector<uint8_t> mask = {255, 0, 128, 7};
    OwnedBuffer m(run, 2, 2, 1);
    ASSERT_TRUE(importPixels(run, BufferContent::Mask, pixels(mask.data(), 2, 2, 2, ImageClass::Mask, 8, true),
                             rect(0, 0, 2, 2), m.buffer, Point16{}));
    EXPECT_EQ(m.copy(), (std::vector<uint16_t>{65280, 0, 32768, 7 * 256}));
    // A 16-bit selection keeps its own coarser scale: fully selected is 65280.
    std::vector<uint16_t> mask16 = {32768, 0, 16384, 127};
    ASSERT_TRUE(importPixels(run, BufferContent::Mask, pixels(mask16.data(), 4, 2, 2, ImageClass::Mask, 16),
                             rect(0, 0, 2, 2), m.buffer, Point16{}));
    EXPECT_EQ(m.copy(), (std::vector<uint16_t>{65280, 0, 32640, 0}));
}

TEST_F(PixelTransfer, EverySixteenBitHostValueComesBackUnchanged) {
    const int w = 256, h = 129;  // 33,024 pixels: every value 0..32768
    for (ImageClass imageClass : {ImageClass::RGB, ImageClass::CMYK}) {
        const int n = imageClass == ImageClass::CMYK ? 4 : 3;
        std::vector<uint16_t> values(size_t(w) * h * n), out(values.size());
        for (size_t i = 0; i < values.size(); ++i) values[i] = uint16_t(std::min<size_t>(i / n, 32768));
        const BufferContent content = imageClass == ImageClass::CMYK ? BufferContent::CMYK : BufferContent::RGB;
        OwnedBuffer buffer(run, w, h, n);
        ASSERT_TRUE(importPixels(run, content, pixels(values.data(), w * n * 2, w, h, imageClass, 16), rect(0, 0, h, w),
                                 buffer.buffer, Point16{}));
        ASSERT_TRUE(exportPixels(run, content, buffer.buffer, rect(0, 0, h, w),
                                 pixels(out.data(), w * n * 2, w, h, imageClass, 16), Point16{}));
        EXPECT_EQ(out, values) << int(imageClass);
    }
}

// Interleaved rows of the image's own model take the row-at-a-time path on
// several threads, planar ones the pixel loop: both give the same buffer and
// the same host samples, over the whole sample range (every 16-bit value,
// those beyond the host's included).
TEST_F(PixelTransfer, PlanarAndInterleavedAgree) {
    std::mt19937 rng(3);
    const int w = 37, h = 600;  // rows enough to be shared among the threads, samples for every 16-bit value
    run.setThreads(3);
    for (ImageClass imageClass : {ImageClass::RGB, ImageClass::CMYK})
        for (int depth : {8, 16}) {
            const int n = imageClass == ImageClass::CMYK ? 4 : 3;
            const BufferContent content = imageClass == ImageClass::CMYK ? BufferContent::CMYK : BufferContent::RGB;
            std::vector<uint16_t> values(size_t(w) * h * n);
            for (size_t i = 0; i < values.size(); ++i)  // an odd step visits every value
                values[i] = depth == 8 ? uint16_t(rng() % 256) : uint16_t(i * 40503u);
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
            OwnedBuffer fromInter(run, w + 2, h + 2, n), fromPlanar(run, w + 2, h + 2, n);
            const Point16 at{2, 1};
            ASSERT_TRUE(importPixels(run, content, pixels(inter.data(), interRow, w, h, imageClass, depth),
                                     rect(0, 0, h, w), fromInter.buffer, at));
            ASSERT_TRUE(importPixels(run, content, pixels(planar.data(), planeRow, w, h, imageClass, depth, true),
                                     rect(0, 0, h, w), fromPlanar.buffer, at));
            EXPECT_EQ(fromInter.copy(), fromPlanar.copy());
            EXPECT_EQ(fromInter.at(0, 0)[0], 0);  // nothing before (1, 2)
            // Every working value back out (an odd step again): planar export
            // equals the interleaved export.
            uint32_t next = 0;
            for (int y = 0; y < h; ++y)
                for (size_t i = 0; i < size_t(w) * n; ++i, next += 40503u) fromInter.at(1, 2 + y)[i] = uint16_t(next);
            std::vector<uint8_t> outInter(inter.size(), 0), outPlanar(planar.size(), 0);
            const Rect16 written = rect(2, 1, 2 + h, 1 + w);
            ASSERT_TRUE(exportPixels(run, content, fromInter.buffer, written,
                                     pixels(outInter.data(), interRow, w, h, imageClass, depth), Point16{}));
            ASSERT_TRUE(exportPixels(run, content, fromInter.buffer, written,
                                     pixels(outPlanar.data(), planeRow, w, h, imageClass, depth, true), Point16{}));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    for (int k = 0; k < n; ++k)
                        ASSERT_EQ(0, std::memcmp(outInter.data() + y * interRow + (x * n + k) * bytes,
                                                 outPlanar.data() + size_t(k) * h * planeRow + y * planeRow + x * bytes,
                                                 bytes))
                            << int(imageClass) << " " << depth << " " << x << "," << y << "," << k;
        }
}

TEST_F(PixelTransfer, ConvertingContentsGoThroughTheColourModel) {
    // An 8-bit CMYK pixel into RGB and HSI buffers, and an RGB buffer out to CMYK.
    std::vector<uint8_t> cmykHost = {255, 0, 0, 255};  // full magenta in the host's form
    const HostPixels cmykPixel = pixels(cmykHost.data(), 4, 1, 1, ImageClass::CMYK, 8);
    OwnedBuffer rgb(run, 1, 1, 3), hsi(run, 1, 1, 5);
    ASSERT_TRUE(importPixels(run, BufferContent::RGB, cmykPixel, rect(0, 0, 1, 1), rgb.buffer, Point16{}));
    uint16_t expected[3];
    const uint16_t internal[4] = {0, 65280, 65280, 0};
    ASSERT_TRUE(cmykToRgb(run, internal, expected));
    EXPECT_EQ(rgb.at(0, 0)[0], expected[0]);
    EXPECT_EQ(rgb.at(0, 0)[1], expected[1]);
    ASSERT_TRUE(importPixels(run, BufferContent::HSI, cmykPixel, rect(0, 0, 1, 1), hsi.buffer, Point16{}));
    HsiPixel p;
    rgbToHsi(expected, p);
    EXPECT_EQ(reinterpret_cast<HsiPixel*>(hsi.buffer.data)->hue, p.hue);

    std::vector<uint8_t> out(4);
    ASSERT_TRUE(exportPixels(run, BufferContent::HSI, hsi.buffer, rect(0, 0, 1, 1),
                             pixels(out.data(), 4, 1, 1, ImageClass::CMYK, 8), Point16{}));
    EXPECT_EQ(out[1], 0);  // magenta ink again
    EXPECT_EQ(out[3], 255);

    std::vector<uint8_t> rgbHost = {255, 0, 0};
    OwnedBuffer cmyk(run, 1, 1, 4);
    ASSERT_TRUE(importPixels(run, BufferContent::CMYK, pixels(rgbHost.data(), 3, 1, 1, ImageClass::RGB, 8),
                             rect(0, 0, 1, 1), cmyk.buffer, Point16{}));
    EXPECT_EQ(cmyk.at(0, 0)[1], 65280);
    std::vector<uint8_t> back(3);
    ASSERT_TRUE(exportPixels(run, BufferContent::CMYK, cmyk.buffer, rect(0, 0, 1, 1),
                             pixels(back.data(), 3, 1, 1, ImageClass::RGB, 8), Point16{}));
    EXPECT_EQ(back, rgbHost);
}

TEST_F(PixelTransfer, RefusesWhatDoesNotFitAndWritesNothing) {
    std::vector<uint8_t> host8(4 * 4 * 3, 9);
    const HostPixels host = pixels(host8.data(), 12, 4, 4, ImageClass::RGB, 8);
    OwnedBuffer rgb(run, 3, 3, 3);
    const auto before = rgb.copy();
    struct Import {
        Rect16 rect;
        Point16 at;
        ImageClass imageClass;
        int depth;
        bool accepted;
    };
    const Import imports[] = {
        {rect(2, 0, 2, 3), {0, 0}, ImageClass::RGB, 8, true},   // no rows: nothing to do
        {rect(0, 0, 3, 4), {0, 0}, ImageClass::RGB, 8, false},  // wider than the buffer
        {rect(0, 0, 3, 3), {0, 1}, ImageClass::RGB, 8, false},  // lands beyond the buffer
        {rect(0, 0, 2, 2), {0, -1}, ImageClass::RGB, 8, false},
        {rect(0, 0, 2, 2), {-1, 0}, ImageClass::RGB, 8, false},
        {rect(3, 0, 1, 2), {0, 0}, ImageClass::RGB, 8, false},  // reversed
        {rect(0, 3, 2, 1), {0, 0}, ImageClass::RGB, 8, false},
        {rect(-1, 0, 1, 2), {0, 0}, ImageClass::RGB, 8, false},  // before the host's origin
        {rect(0, 0, 2, 2), {0, 0}, ImageClass::Mask, 8, false},
        {rect(0, 0, 2, 2), {0, 0}, ImageClass::RGB, 12, false},
    };
    for (const Import& i : imports) {
        HostPixels from = host;
        from.imageClass = i.imageClass;
        from.depth = i.depth;
        EXPECT_EQ(importPixels(run, BufferContent::RGB, from, i.rect, rgb.buffer, i.at), i.accepted)
            << i.rect.top << "," << i.rect.left << " at " << i.at.v << "," << i.at.h;
    }
    EXPECT_EQ(rgb.copy(), before);

    std::vector<uint8_t> out(4 * 4 * 3, 9);
    const auto outBefore = out;
    const Import exports[] = {
        {rect(1, 0, 1, 3), {0, 0}, ImageClass::RGB, 8, true},
        {rect(0, 0, 3, 3), {0, 2}, ImageClass::RGB, 8, false},  // beyond the host's columns
        {rect(0, 0, 4, 3), {0, 0}, ImageClass::RGB, 8, false},  // beyond the buffer
        {rect(0, 0, 2, 2), {0, -1}, ImageClass::RGB, 8, false},
        {rect(0, 0, 2, 2), {0, 0}, ImageClass::Mask, 8, false},
    };
    for (const Import& e : exports) {
        HostPixels to = pixels(out.data(), 12, 4, 4, e.imageClass, e.depth);
        EXPECT_EQ(exportPixels(run, BufferContent::RGB, rgb.buffer, e.rect, to, e.at), e.accepted);
    }
    EXPECT_EQ(out, outBefore);
}

TEST_F(PixelTransfer, ReportsRowsToTheDialogWhenAsked) {
    std::vector<int> percents;
    RunContext dialogRun(&host.record(), ProgressMode::Dialog, [&](int percent) { percents.push_back(percent); });
    std::vector<uint8_t> host8(4 * 4 * 3, 0);
    const HostPixels from = pixels(host8.data(), 12, 4, 4, ImageClass::RGB, 8);
    OwnedBuffer rgb(run, 4, 4, 3);
    dialogRun.progress().total = 16;
    ASSERT_TRUE(importPixels(dialogRun, BufferContent::RGB, from, rect(0, 0, 4, 4), rgb.buffer, Point16{}, true));
    EXPECT_EQ(percents, (std::vector<int>{25, 50, 75, 100}));
    EXPECT_EQ(dialogRun.progress().done, 16u);
    percents.clear();
    ASSERT_TRUE(importPixels(dialogRun, BufferContent::RGB, from, rect(0, 0, 4, 4), rgb.buffer, Point16{}));
    EXPECT_TRUE(percents.empty());
    dialogRun.progress().total = 0;  // no total: nothing to show, and no division
    ASSERT_TRUE(importPixels(dialogRun, BufferContent::RGB, from, rect(0, 0, 4, 4), rgb.buffer, Point16{}, true));
    EXPECT_TRUE(percents.empty());
}

}  // namespace
