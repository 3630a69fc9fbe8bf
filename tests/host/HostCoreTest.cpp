// The stand-in host's single copy of the image: input tiles show the pixels
// as they were before the run, whatever output was written over them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "host/HostCore.h"
#include "host/RowMark.h"

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

// Reading and writing beside a run: a reader fills the rows (each its row
// number) while the plug-in works, and a writer takes rows as the host marks
// them finished. Every request sees whole original rows, every finished row
// holds its output, and output asked for above finished rows is refused.
TEST(HostCore, RowsAreServedOnceReadAndHandedOnOnceFinished) {
    for (const int32_t width : {5, 3000}) {
        Script s;
        s.steps =
            std::vector<Step>{{0, 8, 0, 6, true}, {4, 14, 6, 12, true}, {10, 20, 12, 20, true}, {0, 4, 0, 4, false}};
        script = &s;
        HostImage image;
        ASSERT_TRUE(makeHostImage(image, width, 20, 3, 16));
        image.changed.assign((image.samples.size() + 63) / 64, 0);
        HostCore host;
        host.setImage(std::move(image));
        RowMark read, finished;
        host.setRowMarks(&read, &finished);
        uint16_t* samples = host.image().samples.data();
        const size_t rowSamples = size_t(width) * 3;
        std::thread reader([&] {
            for (int32_t y = 0; y < 20; ++y) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                std::fill(samples + size_t(y) * rowSamples, samples + size_t(y + 1) * rowSamples, uint16_t(y));
                read.reach(y + 1);
            }
        });
        bool finishedRowsWritten = true;
        std::thread writer([&] {
            for (int32_t rows = 1; rows <= 20 && finished.wait(rows); ++rows)
                for (size_t i = size_t(rows - 1) * rowSamples; i < size_t(rows) * rowSamples; ++i)
                    finishedRowsWritten = finishedRowsWritten && samples[i] == 200;
        });
        host.call(scriptedPlugin, filterSelectorStart);
        finished.reach(20);
        reader.join();
        writer.join();
        script = nullptr;
        ASSERT_EQ(s.results.size(), s.steps.size());
        for (size_t i = 0; i < s.steps.size(); ++i) EXPECT_EQ(s.results[i] == noErr, s.steps[i].served) << i;
        for (bool originals : s.sawOriginals) EXPECT_TRUE(originals);
        EXPECT_TRUE(finishedRowsWritten);
        EXPECT_TRUE(host.stats().badRequest);
    }
    // A reader that fails ends the run's requests with readErr.
    Script s;
    s.steps.push_back(Step{0, 8, 0, 6, false});
    script = &s;
    HostImage image;
    ASSERT_TRUE(makeHostImage(image, 5, 20, 3, 8));
    HostCore host;
    host.setImage(std::move(image));
    RowMark read;
    read.fail();
    host.setRowMarks(&read, nullptr);
    host.call(scriptedPlugin, filterSelectorStart);
    script = nullptr;
    EXPECT_EQ(s.results, std::vector<OSErr>{readErr});
}

// Waiters for different rows each return once the mark reaches theirs (a
// waiter is woken only when the lowest awaited row is reached), and a
// failure wakes the ones still waiting.
TEST(RowMark, EveryWaiterReturnsAtItsRowOrOnFailure) {
    for (const bool fails : {false, true}) {
        RowMark mark;
        std::atomic<int> passed{0}, refused{0};
        std::vector<std::thread> waiters;
        for (const int32_t rows : {1, 5, 5, 9, 12, 40})
            waiters.emplace_back([&, rows] { ++(mark.wait(rows) ? passed : refused); });
        for (int32_t rows = 1; rows <= 12; ++rows) {
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            mark.reach(rows);
        }
        while (passed < 5) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (fails)
            mark.fail();
        else
            mark.reach(40);
        for (std::thread& t : waiters) t.join();
        EXPECT_EQ(passed, fails ? 5 : 6);
        EXPECT_EQ(refused, fails ? 1 : 0);
    }
}

}  // namespace
