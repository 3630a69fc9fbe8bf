// The stand-in host's single copy of the image: input tiles show the pixels
// as they were before the run, whatever output was written over them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/HostCore.h"

namespace {

// One advanceState call of the scripted plug-in: rows asked for as input and
// as output, and whether the host should serve the input.
struct Step {
    int16 inTop, inBottom, outTop, outBottom;
    bool served;
};

struct Script {
    std::vector<Step> steps;
    std::vector<OSErr> results;
    std::vector<bool> sawOriginals;
};
Script* script = nullptr;

// Image rows hold their row number; every output row written becomes 200.
void PSCALL scriptedPlugin(int16 selector, void* block, intptr*, int16* result) {
    *result = noErr;
    if (selector != filterSelectorStart) return;
    FilterRecord* r = static_cast<FilterRecord*>(block);
    const int32_t width = r->imageSize.h;
    for (const Step& s : script->steps) {
        r->inRect = Rect{s.inTop, 0, s.inBottom, int16(width)};
        r->outRect = Rect{s.outTop, 0, s.outBottom, int16(width)};
        r->inLoPlane = r->outLoPlane = 0;
        r->inHiPlane = r->outHiPlane = 2;
        const OSErr err = r->advanceState();
        script->results.push_back(err);
        if (err != noErr) continue;
        bool originals = true;
        const int bytes = r->depth / 8;
        const uint8_t* in = static_cast<const uint8_t*>(r->inData);
        for (int32_t y = 0; y < s.inBottom - s.inTop; ++y)
            for (int32_t i = 0; i < width * 3; ++i) {
                uint16_t v = 0;
                std::memcpy(&v, in + y * r->inRowBytes + i * bytes, size_t(bytes));
                originals = originals && v == s.inTop + y;
            }
        script->sawOriginals.push_back(originals);
        uint8_t* out = static_cast<uint8_t*>(r->outData);
        const uint16_t written = 200;
        for (int32_t y = 0; y < s.outBottom - s.outTop; ++y)
            for (int32_t i = 0; i < width * 3; ++i) std::memcpy(out + y * r->outRowBytes + i * bytes, &written, bytes);
    }
    r->inRect = r->outRect = Rect{0, 0, 0, 0};
}

TEST(HostCore, InputTilesShowTheOriginalRowsWhileLaterRequestsMayNeedThem) {
    const std::vector<Step> scenarios[] = {
        {
            {0, 8, 0, 6, true},      // margin 2; rows 0..5 written
            {4, 14, 6, 12, true},    // reads rows 4 and 5 back: kept aside; rows 0..3 let go
            {10, 20, 12, 20, true},  // rows 10, 11 kept aside
            {10, 12, 0, 0, true},    // the same rows again
            {2, 6, 0, 0, false},     // rows 2, 3 were written and let go
        },
        {
            {0, 20, 0, 12, true},   // every side at the image's edge: the margin is unknown
            {4, 20, 12, 20, true},  // so all twelve rows were kept
        },
    };
    // Narrow 8-bit rows, and 16-bit rows wide enough for the host to share
    // its copies among threads (the changed samples noted as well).
    struct Shape {
        int32_t width;
        int depth, copyThreads;
    };
    for (const Shape shape : {Shape{5, 8, 1}, Shape{30000, 16, 3}})
        for (const std::vector<Step>& steps : scenarios) {
            Script s;
            s.steps = steps;
            script = &s;
            HostCore host;
            host.setCopyThreads(shape.copyThreads);
            HostImage image;
            ASSERT_TRUE(makeHostImage(image, shape.width, 20, 3, shape.depth));
            for (int32_t y = 0; y < 20; ++y)
                for (int32_t x = 0; x < shape.width; ++x)
                    for (int p = 0; p < 3; ++p) image.samples[image.index(x, y, p)] = uint16_t(y);
            image.changed.assign((image.samples.size() + 63) / 64, 0);
            host.setImage(image);
            host.call(scriptedPlugin, filterSelectorStart);
            script = nullptr;
            ASSERT_EQ(s.results.size(), steps.size());
            size_t served = 0;
            bool refused = false;
            for (size_t i = 0; i < steps.size(); ++i) {
                EXPECT_EQ(s.results[i] == noErr, steps[i].served) << "step " << i;
                refused = refused || !steps[i].served;
                if (s.results[i] == noErr) {
                    EXPECT_TRUE(s.sawOriginals[served++]) << "step " << i;
                }
            }
            EXPECT_EQ(host.stats().badRequest, refused);
            for (uint16_t v : host.image().samples) ASSERT_EQ(v, 200);
            const std::vector<uint64_t>& changed = host.image().changed;
            for (size_t i = 0; i < host.image().samples.size(); ++i)
                ASSERT_TRUE((changed[i >> 6] >> (i & 63)) & 1) << i;
        }
}

}  // namespace
