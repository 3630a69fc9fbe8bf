// The stand-in host's document description and its channel ports, which read
// channels scaled to another size.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "host/ChannelScaling.h"
#include "host/HostCore.h"
#include "tests/support/TestImages.h"

namespace {

// Reads one channel of the host's document through its port.
OSErr readThroughPort(HostCore& host, const ReadChannelDesc* channel, VRect source, int32_t width, int32_t height,
                      std::vector<uint8_t>& out, VRect* wrote = nullptr) {
    out.assign(size_t(width) * size_t(height), 0);
    PSScaling scaling{source, VRect{0, 0, height, width}};
    const VRect writeRect = scaling.destinationRect;
    PixelMemoryDesc memory{out.data(), width * 8, 8, 0, 8};
    VRect ignored;
    return host.record().channelPortProcs->readPixelsProc(channel->port, &scaling, &writeRect, &memory,
                                                          wrote ? wrote : &ignored);
}

TEST(ChannelScaling, SpansTileTheSourceWhenShrinkingAndRepeatWhenEnlarging) {
    for (auto [n, m] : {std::pair{338, 6000}, {225, 4000}, {7, 7}, {3, 10}, {1, 5}}) {
        int32_t next = 0;
        for (int32_t i = 0; i < n; ++i) {
            const SourceSpan s = sourceSpan(i, n, m);
            EXPECT_EQ(s.first, next) << n << " of " << m << " at " << i;
            next = s.first + s.count;
        }
        EXPECT_EQ(next, m) << n << " of " << m;
    }
    for (int32_t i = 0; i < 12; ++i) EXPECT_EQ(sourceSpan(i, 12, 4).first, i / 3);
    EXPECT_EQ(sourceSpan(11, 12, 4).count, 1);
}

TEST(ChannelPorts, ShrinkingAveragesTheBlocksEachDestinationSampleCovers) {
    for (int depth : {8, 16}) {
        HostCore host;
        const HostImage image = makeTestImage(12, 9, 3, depth, 3);
        host.setImage(image);
        const ReadChannelDesc* green = host.record().documentInfo->targetCompositeChannels->next;
        std::vector<uint8_t> out;
        ASSERT_EQ(readThroughPort(host, green, VRect{0, 0, 9, 12}, 4, 3, out), noErr);
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 4; ++x) {
                double sum = 0;
                for (int32_t dy = 0; dy < 3; ++dy)
                    for (int32_t dx = 0; dx < 3; ++dx) sum += image.at(3 * x + dx, 3 * y + dy, 1);
                const double mean = sum / 9 * (depth == 16 ? 255.0 / 32768 : 1);
                EXPECT_EQ(out[size_t(y) * 4 + size_t(x)], int(std::floor(mean + 0.5))) << depth << " " << x << "," << y;
            }
    }
}

TEST(ChannelPorts, SamplesOfAnEnlargedPartRepeatAndWriteRectsLandInPlace) {
    HostCore host;
    const HostImage image = makeTestImage(10, 10, 4, 8, 5);
    host.setImage(image);
    const ReadChannelDesc* black = host.record().documentInfo->targetCompositeChannels->next->next->next;
    ASSERT_EQ(black->channelType, 7);
    std::vector<uint8_t> out;
    ASSERT_EQ(readThroughPort(host, black, VRect{2, 3, 4, 6}, 6, 4, out), noErr);  // 3 x 2 to 6 x 4
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 6; ++x) EXPECT_EQ(out[size_t(y) * 6 + size_t(x)], image.at(3 + x / 2, 2 + y / 2, 3));

    // Only the lower right quarter, into memory that starts at its corner.
    std::vector<uint8_t> quarter(2 * 3 + 1, 0xEE);
    PSScaling scaling{VRect{2, 3, 4, 6}, VRect{0, 0, 4, 6}};
    const VRect writeRect{2, 3, 4, 6};
    PixelMemoryDesc memory{quarter.data(), 3 * 8, 8, 0, 8};
    VRect wrote{};
    ASSERT_EQ(host.record().channelPortProcs->readPixelsProc(black->port, &scaling, &writeRect, &memory, &wrote),
              noErr);
    EXPECT_EQ(wrote.top, 2);
    EXPECT_EQ(wrote.right, 6);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x)
            EXPECT_EQ(quarter[size_t(y) * 3 + size_t(x)], out[size_t(y + 2) * 6 + size_t(x + 3)]);
    EXPECT_EQ(quarter.back(), 0xEE);
}

TEST(ChannelPorts, TheDocumentDescribesItsChannelsAndItsSelection) {
    HostCore host;
    host.setImage(makeTestImage(8, 6, 3, 16, 1));
    const ReadImageDocumentDesc* doc = host.record().documentInfo;
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->imageMode, plugInModeRGB48);
    EXPECT_EQ(doc->depth, 16);
    EXPECT_EQ(doc->bounds.bottom, 6);
    EXPECT_EQ(doc->bounds.right, 8);
    int count = 0;
    for (const ReadChannelDesc* c = doc->targetCompositeChannels; c; c = c->next)
        EXPECT_EQ(c->channelType, 1 + count++);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(doc->selection, nullptr);

    std::vector<uint8_t> selection(48, 0);
    for (size_t i = 0; i < 24; ++i) selection[i] = 255;  // the upper half
    host.setSelection(selection);
    ASSERT_NE(host.record().documentInfo->selection, nullptr);
    std::vector<uint8_t> out;
    ASSERT_EQ(readThroughPort(host, host.record().documentInfo->selection, VRect{0, 0, 6, 8}, 4, 2, out), noErr);
    EXPECT_EQ(out, (std::vector<uint8_t>{255, 255, 255, 255, 0, 0, 0, 0}));

    host.setChannelPorts(false);
    EXPECT_EQ(host.record().channelPortProcs, nullptr);
    EXPECT_EQ(host.record().documentInfo, nullptr);
}

TEST(ChannelPorts, BadRequestsAreRefused) {
    HostCore host;
    host.setImage(makeTestImage(8, 6, 3, 8, 1));
    const ReadChannelDesc* red = host.record().documentInfo->targetCompositeChannels;
    std::vector<uint8_t> out;
    EXPECT_EQ(readThroughPort(host, red, VRect{0, 0, 7, 8}, 4, 3, out), paramErr) << "source beyond the image";
    EXPECT_EQ(readThroughPort(host, red, VRect{2, 2, 2, 5}, 4, 3, out), paramErr) << "empty source";
    EXPECT_EQ(readThroughPort(host, red, VRect{0, 0, 6, 8}, 0, 3, out), paramErr) << "empty destination";

    PSScaling scaling{VRect{0, 0, 6, 8}, VRect{0, 0, 3, 4}};
    VRect writeRect{0, 0, 3, 5};
    PixelMemoryDesc memory{out.data(), 5 * 8, 8, 0, 8};
    VRect wrote{1, 1, 1, 1};
    const ReadPixelsProc read = host.record().channelPortProcs->readPixelsProc;
    EXPECT_EQ(read(red->port, &scaling, &writeRect, &memory, &wrote), paramErr) << "write beyond the destination";
    EXPECT_EQ(wrote.bottom, 0);
    writeRect = VRect{0, 0, 3, 4};
    memory.rowBits = 3 * 8;
    EXPECT_EQ(read(red->port, &scaling, &writeRect, &memory, &wrote), paramErr) << "rows shorter than the write";
    memory = PixelMemoryDesc{out.data(), 4 * 16, 16, 0, 16};
    EXPECT_EQ(read(red->port, &scaling, &writeRect, &memory, &wrote), paramErr) << "only eight bits are served";
    int notAPort = 0;
    memory = PixelMemoryDesc{out.data(), 4 * 8, 8, 0, 8};
    EXPECT_EQ(read(reinterpret_cast<ChannelReadPort>(&notAPort), &scaling, &writeRect, &memory, &wrote), paramErr);
}

TEST(ChannelPorts, DisplayPixelsIsOfferedOnlyWithADisplay) {
    HostCore host;
    host.setImage(makeTestImage(4, 4, 3, 8, 1));
    EXPECT_EQ(host.record().displayPixels, nullptr);
    int calls = 0;
    host.setDisplayPixels([&](const PSPixelMap& map, const VRect&, int32 row, int32 column, void*) {
        ++calls;
        return map.rowBytes == 7 && row == 2 && column == 3 ? noErr : paramErr;
    });
    ASSERT_NE(host.record().displayPixels, nullptr);
    PSPixelMap map{};
    map.rowBytes = 7;
    const VRect bounds{0, 0, 1, 7};
    EXPECT_EQ(host.record().displayPixels(&map, &bounds, 2, 3, nullptr), noErr);
    EXPECT_EQ(calls, 1);
    host.setDisplayPixels(nullptr);
    EXPECT_EQ(host.record().displayPixels, nullptr);
}

}  // namespace
