// Mirrored filling of a working buffer's margin, and block copies between HSI
// buffers.
#include <algorithm>
#include <cstddef>
#include <cstring>

#include "imageops/ImageBuffer.h"

namespace {

// The interior starts at (margin.v, margin.h); the left and right margins are
// both margin.h wide, the bottom margin runs from interiorEnd.v to the end.
// The mirror does not repeat the edge pixel. Columns are filled first, then
// whole rows, so corners mirror both ways.
bool mirrorPad(ImageBuffer& buffer, Point16 margin, Point16 interiorEnd, int channels) {
    const int32_t top = margin.v, side = margin.h;
    const int32_t width = buffer.width, height = buffer.height;
    if (top < 0 || side < 0 || interiorEnd.h > width || interiorEnd.v > height) return false;
    const int32_t bottom = height - interiorEnd.v;
    // Beyond the published checks: every mirrored source must lie inside the
    // buffer, which holds whenever a margin is no wider than the rest.
    if (!buffer.data || interiorEnd.v < 0 || 2 * side > width || 2 * top > height || 2 * bottom > height) return false;

    const size_t pixelBytes = size_t(channels) * sizeof(uint16_t);
    const size_t rowSamples = size_t(width) * size_t(channels);
    if (side > 0) {
        for (int32_t row = 0; row < height; ++row) {
            uint16_t* line = buffer.data + size_t(row) * rowSamples;
            for (int32_t c = 0; c < side; ++c)
                std::memcpy(line + size_t(c) * channels, line + size_t(2 * side - 1 - c) * channels, pixelBytes);
            for (int32_t c = width - 1; c >= width - side; --c)
                std::memcpy(line + size_t(c) * channels, line + size_t(2 * (width - side) - 1 - c) * channels,
                            pixelBytes);
        }
    }
    const size_t rowBytes = rowSamples * sizeof(uint16_t);
    for (int32_t r = 0; r < top; ++r)
        std::memcpy(buffer.data + size_t(r) * rowSamples, buffer.data + size_t(2 * top - 1 - r) * rowSamples, rowBytes);
    for (int32_t r = height - 1; r >= height - bottom; --r)
        std::memcpy(buffer.data + size_t(r) * rowSamples,
                    buffer.data + size_t(2 * (height - bottom) - 1 - r) * rowSamples, rowBytes);
    return true;
}

}  // namespace

bool mirrorPad3(ImageBuffer& buffer, Point16 margin, Point16 interiorEnd) {
    return mirrorPad(buffer, margin, interiorEnd, 3);
}

bool mirrorPad4(ImageBuffer& buffer, Point16 margin, Point16 interiorEnd) {
    return mirrorPad(buffer, margin, interiorEnd, 4);
}

bool mirrorPad5(ImageBuffer& buffer, Point16 margin, Point16 interiorEnd) {
    return mirrorPad(buffer, margin, interiorEnd, 5);
}

bool copyHsiRect(ImageBuffer& dst, const ImageBuffer& src, int32_t srcX, int32_t srcY, int32_t width, int32_t height,
                 int32_t dstX, int32_t dstY) {
    if (width < 1 || height < 1) return false;
    // A negative corner is moved to 0 without shortening the span.
    srcX = std::max(srcX, 0);
    srcY = std::max(srcY, 0);
    dstX = std::max(dstX, 0);
    dstY = std::max(dstY, 0);
    int64_t w = std::min<int64_t>(width, std::min<int64_t>(int64_t(src.width) - srcX, int64_t(dst.width) - dstX));
    int64_t h = std::min<int64_t>(height, std::min<int64_t>(int64_t(src.height) - srcY, int64_t(dst.height) - dstY));
    if (w <= 0 || h <= 0 || !src.data || !dst.data) return true;
    for (int64_t j = 0; j < h; ++j) {
        const uint16_t* from = src.data + (size_t(srcY + j) * size_t(src.width) + size_t(srcX)) * HsiChannels;
        uint16_t* to = dst.data + (size_t(dstY + j) * size_t(dst.width) + size_t(dstX)) * HsiChannels;
        std::memmove(to, from, size_t(w) * HsiChannels * sizeof(uint16_t));
    }
    return true;
}
