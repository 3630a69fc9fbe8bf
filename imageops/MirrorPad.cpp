#include "imageops/MirrorPad.h"

#include <cstring>

int32_t mirrorIndex(int32_t i, int32_t n) {
    if (n <= 1) return 0;
    const int32_t period = 2 * n;
    int32_t k = i % period;
    if (k < 0) k += period;
    return k < n ? k : period - 1 - k;
}

bool mirrorPad(ImageBuffer& buffer, int channels, int32_t fetchedWidth, int32_t fetchedHeight,
               const MissingMargins& m) {
    if (!buffer.data || channels < 1 || fetchedWidth < 1 || fetchedHeight < 1) return false;
    if (m.left < 0 || m.right < 0 || m.top < 0 || m.bottom < 0) return false;
    const int32_t usedWidth = m.left + fetchedWidth + m.right;
    const int32_t usedHeight = m.top + fetchedHeight + m.bottom;
    if (usedWidth > buffer.width || usedHeight > buffer.height) return false;
    const size_t rowSamples = size_t(buffer.width) * size_t(channels);
    auto pixel = [&](int32_t x, int32_t y) { return buffer.data + size_t(y) * rowSamples + size_t(x) * channels; };
    const size_t pixelBytes = size_t(channels) * sizeof(uint16_t);

    if (m.left > 0 || m.right > 0) {
        for (int32_t y = m.top; y < m.top + fetchedHeight; ++y) {
            for (int32_t c = 0; c < m.left; ++c)
                std::memcpy(pixel(c, y), pixel(m.left + mirrorIndex(c - m.left, fetchedWidth), y), pixelBytes);
            for (int32_t j = 0; j < m.right; ++j) {
                const int32_t c = m.left + fetchedWidth + j;
                std::memcpy(pixel(c, y), pixel(m.left + mirrorIndex(c - m.left, fetchedWidth), y), pixelBytes);
            }
        }
    }
    const size_t usedRowBytes = size_t(usedWidth) * pixelBytes;
    for (int32_t r = 0; r < m.top; ++r)
        std::memcpy(pixel(0, r), pixel(0, m.top + mirrorIndex(r - m.top, fetchedHeight)), usedRowBytes);
    for (int32_t j = 0; j < m.bottom; ++j) {
        const int32_t r = m.top + fetchedHeight + j;
        std::memcpy(pixel(0, r), pixel(0, m.top + mirrorIndex(r - m.top, fetchedHeight)), usedRowBytes);
    }
    return true;
}
