// The stand-in host's guards, each made to fire by a plug-in that does the
// one wrong thing it watches for, and silent for one that does none.
#include <gtest/gtest.h>

#include "host/HostCore.h"
#include "tests/support/TestImages.h"

namespace {

enum class Fault { None, WritePastRow, WriteBeforeTile, KeepBuffer, AskBeyondImage };
Fault gFault = Fault::None;
// The buffer a KeepBuffer run left behind, given back once the host saw it.
const PSBufferSuite1* gBufferSuite = nullptr;
Ptr gKept = nullptr;

// Asks for one 8 x 4 tile at (2, 3) of every plane, inverts its first
// sample, and then commits the chosen fault.
void PSCALL faultyEntry(int16 selector, void* block, intptr*, int16* result) {
    *result = noErr;
    if (selector != filterSelectorStart) return;
    FilterRecord& r = *static_cast<FilterRecord*>(block);
    const Rect tile{3, 2, 7, 10};
    r.inRect = r.outRect = tile;
    r.inLoPlane = r.outLoPlane = 0;
    r.inHiPlane = r.outHiPlane = 2;
    if (gFault == Fault::AskBeyondImage) r.inRect.bottom = int16(r.imageSize.v + 1);
    *result = r.advanceState();
    if (*result != noErr) return;
    auto* out = static_cast<uint8_t*>(r.outData);
    out[0] = uint8_t(~static_cast<const uint8_t*>(r.inData)[0]);
    if (gFault == Fault::WritePastRow) out[8 * 3] = 1;  // the byte after row 0's samples
    if (gFault == Fault::WriteBeforeTile) out[-1] = 1;
    if (gFault == Fault::KeepBuffer) {
        const void* suite = nullptr;
        r.sSPBasic->AcquireSuite(kPSBufferSuite, 1, &suite);
        uint32 size = 64;
        gBufferSuite = static_cast<const PSBufferSuite1*>(suite);
        gKept = gBufferSuite->New(&size, 64);
    }
    r.inRect = r.outRect = Rect{0, 0, 0, 0};
}

TEST(HostGuards, EachFiresOnItsFaultAndOnlyThere) {
    struct Case {
        Fault fault;
        bool outside, leak, badRequest;
    };
    const Case cases[] = {
        {Fault::None, false, false, false},           {Fault::WritePastRow, true, false, false},
        {Fault::WriteBeforeTile, true, false, false}, {Fault::KeepBuffer, false, true, false},
        {Fault::AskBeyondImage, false, false, true},
    };
    for (const Case& c : cases) {
        HostCore host;
        const HostImage image = makeTestImage(20, 12, 3, 8);
        host.setImage(image);
        gFault = c.fault;
        const int16 result = host.call(faultyEntry, filterSelectorStart);
        const HostStats& s = host.stats();
        EXPECT_EQ(s.wroteOutsideOutRect, c.outside) << int(c.fault);
        EXPECT_EQ(s.liveBuffers != 0, c.leak) << int(c.fault);
        if (gKept) gBufferSuite->Dispose(&gKept);
        EXPECT_EQ(s.badRequest, c.badRequest) << int(c.fault);
        EXPECT_EQ(result == noErr, !c.badRequest) << int(c.fault);
        if (!c.badRequest) {
            EXPECT_EQ(host.image().at(2, 3, 0), uint8_t(~image.at(2, 3, 0))) << "the tile's own write arrives";
        }
    }
}

}  // namespace
