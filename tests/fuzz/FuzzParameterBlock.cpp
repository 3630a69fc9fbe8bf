// A stored parameter block, as a host replays it, through PluginMain (prepare,
// then start without the dialog) on a small image in the stand-in host.
//
// Input: 8 control bytes, then the block. Bytes the input does not reach keep
// the default block's values, so short inputs vary the scalar fields and long
// ones the curves. Control bytes:
//   0  bit 0: keep the input's signature (otherwise "QXSN" is forced)
//      bit 1: CMYK (else RGB)      bit 2: 16 bits (else 8)
//      bit 3: a host selection     bit 4: a filter rectangle inside the image
//      bits 5-6: pixels: 0, 1 test picture, 2 all zero, 3 all at full scale
//   1, 2  image width and height, 1..24
//   3, 4  host tile width and height, 1..32
//   5  picture seed and selection pattern
//   6  selection or filter rectangle position
//   7  selection or filter rectangle size
//
// Whatever the fields hold, the run must end with a result code, free every
// buffer, stay inside the tiles it was lent and never ask the host for more
// than its 64 MB; a crash, a sanitizer report or a timeout is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "entry/PluginMain.h"
#include "host/HostCore.h"
#include "params/FilterParameters.h"
#include "services/Platform.h"
#include "tests/support/TestImages.h"

namespace {

constexpr size_t kControlBytes = 8;
constexpr size_t kBufferLimit = size_t(64) << 20;

int quietMessage(const char*, const char*, int) { return 1; }
int32_t screenHeight() { return 1024; }
int noDialog(FilterRecord*, FilterParameters*) { return -1; }
void nothing(SPBasicSuite*) {}
void noProgress(int) {}

const std::vector<uint8_t>& defaultBlock() {
    static const std::vector<uint8_t> bytes = [] {
        FilterParameters p;
        p.setDefaults();
        std::vector<uint8_t> b(kFilterParametersSize);
        writeFilterParameters(p, b.data(), b.size());
        return b;
    }();
    return bytes;
}

HostImage makeImage(const uint8_t* c, int planes, int depth) {
    const int32_t width = 1 + c[1] % 24, height = 1 + c[2] % 24;
    const int pixels = (c[0] >> 5) & 3;
    if (pixels <= 1) return makeTestImage(width, height, planes, depth, c[5]);
    HostImage image;
    makeHostImage(image, width, height, planes, depth);
    const uint16_t full = depth == 16 ? 32768 : 255;
    for (uint16_t& s : image.samples) s = pixels == 2 ? 0 : full;
    return image;
}

// A rectangle inside width x height from two bytes.
Rect rectFrom(uint8_t position, uint8_t size, int32_t width, int32_t height) {
    const int32_t left = (position & 15) % width, top = (position >> 4) % height;
    const int32_t w = 1 + (size & 15) % (width - left), h = 1 + (size >> 4) % (height - top);
    return Rect{int16(top), int16(left), int16(top + h), int16(left + w)};
}

std::vector<uint8_t> makeSelection(const uint8_t* c, int32_t width, int32_t height) {
    std::vector<uint8_t> selection(size_t(width) * size_t(height), 0);
    uint32_t state = c[5] * 2654435761u + 1;
    const Rect r = rectFrom(c[6], c[7], width, height);
    switch (c[5] & 3) {
        case 0:  // all zero
            break;
        case 1:  // all selected
            std::fill(selection.begin(), selection.end(), 255);
            break;
        case 2:  // noise
            for (uint8_t& s : selection) {
                state = state * 1664525u + 1013904223u;
                s = uint8_t(state >> 24);
            }
            break;
        default:  // a rectangle
            for (int32_t y = r.top; y < r.bottom; ++y)
                for (int32_t x = r.left; x < r.right; ++x) selection[size_t(y) * size_t(width) + size_t(x)] = 200;
            break;
    }
    return selection;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    platformServices() = PlatformServices{quietMessage, screenHeight, noDialog, nothing, noProgress};
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t c[kControlBytes] = {};
    std::memcpy(c, data, size < kControlBytes ? size : kControlBytes);
    std::vector<uint8_t> block = defaultBlock();
    if (size > kControlBytes) {
        const size_t n = size - kControlBytes < block.size() ? size - kControlBytes : block.size();
        std::memcpy(block.data(), data + kControlBytes, n);
    }
    if (!(c[0] & 1)) std::memcpy(block.data(), defaultBlock().data(), 4);
    block[ParamOffset::showDialog] = 0;

    const int planes = (c[0] & 2) ? 4 : 3;
    const int depth = (c[0] & 4) ? 16 : 8;
    HostCore host;
    host.setImage(makeImage(c, planes, depth));
    const int32_t width = host.image().width, height = host.image().height;
    host.setTileSize(1 + c[3] % 32, 1 + c[4] % 32);
    host.setBufferLimit(kBufferLimit);
    if (c[0] & 8) host.setSelection(makeSelection(c, width, height));
    if (c[0] & 16) host.record().filterRect = rectFrom(c[6], c[7], width, height);
    host.setParameterBytes(block);

    int16 result = host.call(PluginMain, filterSelectorPrepare);
    if (result == noErr) result = host.call(PluginMain, filterSelectorStart);

    const HostStats& stats = host.stats();
    if (stats.liveBuffers != 0 || stats.wroteOutsideOutRect || stats.badRequest) std::abort();
    switch (result) {
        case noErr:
        case 1:  // a refusal shown to the user
        case memFullErr:
        case filterBadParameters:
        case filterBadMode:
            break;
        default:
            std::abort();  // nothing in this run can cancel
    }
    return 0;
}
