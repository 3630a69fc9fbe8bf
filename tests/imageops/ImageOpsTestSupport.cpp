#include "tests/imageops/ImageOpsTestSupport.h"

#include <algorithm>

void HostTest::TearDown() { EXPECT_EQ(host.stats().liveBuffers, 0u) << "a buffer was not given back"; }

OwnedBuffer::OwnedBuffer(const RunContext& run, int32_t width, int32_t height, int channelCount)
    : channels(channelCount) {
    EXPECT_TRUE(buffer.allocate(run, width, height, channelCount));
}

void fillRandom(OwnedBuffer& b, std::mt19937& rng, uint16_t lo, uint16_t hi) {
    std::uniform_int_distribution<int> value(lo, hi);
    for (size_t i = 0; i < b.samples(); ++i) b.buffer.data[i] = uint16_t(value(rng));
}

void fillPatches(OwnedBuffer& b, std::mt19937& rng, int patch) {
    std::uniform_int_distribution<int> value(0, 65535), pick(0, 9);
    for (int32_t y0 = 0; y0 < b.buffer.height; y0 += patch)
        for (int32_t x0 = 0; x0 < b.buffer.width; x0 += patch)
            for (int c = 0; c < b.channels; ++c) {
                const int kind = pick(rng);
                const uint16_t v = kind == 0 ? 0 : kind == 1 ? 65535 : uint16_t(value(rng));
                for (int32_t y = y0; y < std::min(y0 + patch, b.buffer.height); ++y)
                    for (int32_t x = x0; x < std::min(x0 + patch, b.buffer.width); ++x) b.at(x, y)[c] = v;
            }
}
