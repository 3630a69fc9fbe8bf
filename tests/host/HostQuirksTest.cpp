// The filter on hosts that leave out or bend a service: every whole-image
// result is byte-identical to the full host's.
#include <gtest/gtest.h>

#include "entry/PluginMain.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/QuirkRuns.h"
#include "tests/support/TestImages.h"

namespace {

TEST(HostQuirks, EveryQuirkGivesTheFullHostsBytes) {
    FakePlatform platform;
    struct Image {
        int planes, depth;
        bool selection;
        Operation operation;
        int32_t amount;
    };
    const Image images[] = {
        {3, 8, false, Operation::Sharpen, 80},
        {4, 16, true, Operation::Soften, 60},
        {3, 16, true, Operation::Soften, 100},
    };
    const std::vector<QuirkCase> cases = quirkCases();
    for (const Image& im : images) {
        const HostImage image = makeTestImage(100, 70, im.planes, im.depth);
        const std::vector<uint8_t> selection = im.selection ? quirkSelection(image) : std::vector<uint8_t>();
        const QuirkRun full = runWithQuirks(PluginMain, cases[0].quirks, image, selection, im.operation, im.amount);
        ASSERT_EQ(full.result, noErr);
        ASSERT_NE(full.image.samples, image.samples) << "the filter changed the image";
        for (const QuirkCase& c : cases) {
            const QuirkRun run = runWithQuirks(PluginMain, c.quirks, image, selection, im.operation, im.amount);
            SCOPED_TRACE(testing::Message() << c.name << ", " << im.planes << " planes at " << im.depth << " bits");
            ASSERT_EQ(run.result, noErr);
            EXPECT_TRUE(run.image.samples == full.image.samples);
            EXPECT_EQ(run.stats.liveBuffers, 0u);
            EXPECT_FALSE(run.stats.wroteOutsideOutRect);
            EXPECT_FALSE(run.stats.badRequest);
            // Plain memory is the plug-in's own: the host lends nothing.
            const bool plainMemory = c.quirks.noBufferSuite && c.quirks.noBufferProcs;
            EXPECT_EQ(run.stats.buffersGranted == 0, plainMemory);
            if (c.quirks.zeroTileSize) {
                EXPECT_LT(run.stats.advanceCalls, full.stats.advanceCalls);
            }
        }
    }
}

}  // namespace
