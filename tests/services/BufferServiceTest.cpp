// Working memory from each source a host may offer, through the stand-in
// host's switches.
#include <gtest/gtest.h>

#include "host/HostCore.h"
#include "services/BufferService.h"

namespace {

TEST(BufferService, EachHostGetsItsSourceZeroedAndGivenBack) {
    struct Case {
        const char* host;
        HostQuirks quirks;
        BufferSource source;
        bool hostCounts;  // the host sees the blocks
    };
    HostQuirks noBasic, noSuite, neither, zero, bare;
    noBasic.noBasicSuite = true;
    noSuite.noBufferSuite = true;
    neither.noBufferSuite = neither.noBufferProcs = true;
    zero.noBasicSuite = zero.zeroVersions = true;
    bare.noBasicSuite = bare.noBufferProcs = true;
    const Case cases[] = {
        {"full", HostQuirks{}, BufferSource::HostSuite, true},
        {"no basic suite", noBasic, BufferSource::RecordProcs, true},
        {"no buffer suite", noSuite, BufferSource::RecordProcs, true},
        {"procs stating version 0", zero, BufferSource::RecordProcs, true},
        {"neither suite nor procs", neither, BufferSource::PlainMemory, false},
        {"too old", bare, BufferSource::None, false},
    };
    for (const Case& c : cases) {
        HostCore host;
        host.setQuirks(c.quirks);
        host.record().maxSpace = 1000;
        {
            BufferService buffers(&host.record());
            ASSERT_EQ(buffers.source(), c.source) << c.host;
            auto* a = static_cast<uint8_t*>(buffers.allocate(600));
            if (c.source == BufferSource::None) {
                EXPECT_EQ(a, nullptr) << c.host;
                continue;
            }
            ASSERT_NE(a, nullptr) << c.host;
            for (int i = 0; i < 600; ++i) ASSERT_EQ(a[i], 0) << c.host << " byte " << i;
            EXPECT_EQ(host.stats().liveBufferBytes, c.hostCounts ? 600u : 0u) << c.host;
            // Plain memory keeps within maxSpace; the host's sources follow its own limit.
            void* b = buffers.allocate(600);
            EXPECT_EQ(b == nullptr, c.source == BufferSource::PlainMemory) << c.host;
            buffers.release(b);
            buffers.release(a);
            buffers.release(reinterpret_cast<void*>(16));  // never lent: ignored
            EXPECT_EQ(host.stats().liveBuffers, 0u) << c.host;
            ASSERT_NE(buffers.allocate(1000), nullptr) << c.host << ": released memory counts again";
        }
        EXPECT_EQ(host.stats().liveBuffers, 0u) << c.host << ": blocks left at the end go back";
    }
}

}  // namespace
