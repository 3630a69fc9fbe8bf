#include "imageops/ImageBuffer.h"

#include <cstddef>

#include "imageops/ColorModel.h"
#include "services/HostServices.h"

namespace {

// Takes width x height x channels samples from the host, zero-filled. Sizes
// that are not positive or that do not fit the address space are refused.
bool allocateSamples(ImageBuffer& buffer, int32_t width, int32_t height, int channels) {
    buffer.data = nullptr;
    buffer.width = 0;
    buffer.height = 0;
    if (width <= 0 || height <= 0) return false;
    const uint64_t bytes = uint64_t(width) * uint64_t(height) * uint64_t(channels) * 2;
    if (bytes > uint64_t(SIZE_MAX) || bytes > 0xFFFFFFFFu) return false;
    void* block = allocBuffer(size_t(bytes));
    if (!block) return false;
    buffer.data = static_cast<uint16_t*>(block);
    buffer.width = width;
    buffer.height = height;
    return true;
}

bool sameSize(const ImageBuffer& a, const ImageBuffer& b) {
    return a.data && b.data && a.width == b.width && a.height == b.height;
}

size_t pixelCount(const ImageBuffer& buffer) { return size_t(buffer.width) * size_t(buffer.height); }

}  // namespace

void clear(ImageBuffer& buffer) {
    buffer.data = nullptr;
    buffer.width = 0;
    buffer.height = 0;
}

bool allocateMask(ImageBuffer& buffer, int32_t width, int32_t height) {
    return allocateSamples(buffer, width, height, MaskChannels);
}

bool allocateRgb(ImageBuffer& buffer, int32_t width, int32_t height) {
    return allocateSamples(buffer, width, height, RgbChannels);
}

bool allocateCmyk(ImageBuffer& buffer, int32_t width, int32_t height) {
    return allocateSamples(buffer, width, height, CmykChannels);
}

bool allocateHsi(ImageBuffer& buffer, int32_t width, int32_t height) {
    return allocateSamples(buffer, width, height, HsiChannels);
}

bool allocateYuv(ImageBuffer& buffer, int32_t width, int32_t height) {
    release(buffer);
    return allocateSamples(buffer, width, height, YuvChannels);
}

void release(ImageBuffer& buffer) {
    if (!buffer.data) return;
    freeBuffer(buffer.data);
    clear(buffer);
}

bool rgbBufferToHsi(ImageBuffer& hsi, const ImageBuffer& rgb) {
    if (!sameSize(hsi, rgb)) return false;
    const size_t n = pixelCount(rgb);
    const uint16_t* in = rgb.data;
    HsiPixel* out = reinterpret_cast<HsiPixel*>(hsi.data);
    for (size_t i = 0; i < n; ++i) rgbToHsi(in + i * RgbChannels, out[i]);
    return true;
}

bool rgbBufferToHsiWithoutHue(ImageBuffer& hsi, const ImageBuffer& rgb) {
    if (!sameSize(hsi, rgb)) return false;
    const size_t n = pixelCount(rgb);
    const uint16_t* in = rgb.data;
    HsiPixel* out = reinterpret_cast<HsiPixel*>(hsi.data);
    for (size_t i = 0; i < n; ++i) rgbToHsiWithoutHue(in + i * RgbChannels, out[i]);
    return true;
}

bool cmykBufferToHsi(ImageBuffer& hsi, const ImageBuffer& cmyk) {
    if (!sameSize(hsi, cmyk)) return false;
    const size_t n = pixelCount(cmyk);
    HsiPixel* out = reinterpret_cast<HsiPixel*>(hsi.data);
    for (size_t i = 0; i < n; ++i) {
        uint16_t rgb[3] = {0, 0, 0};  // black when the host refuses the pixel
        cmykToRgb(cmyk.data + i * CmykChannels, rgb);
        rgbToHsi(rgb, out[i]);
    }
    return true;
}

bool rgbBufferToYuv(ImageBuffer& yuv, const ImageBuffer& rgb) {
    if (!sameSize(yuv, rgb)) return false;
    const size_t n = pixelCount(rgb);
    for (size_t i = 0; i < n; ++i) rgbToYuv(rgb.data + i * RgbChannels, yuv.data + i * YuvChannels);
    return true;
}

bool cmykBufferToYuv(ImageBuffer& yuv, const ImageBuffer& cmyk) {
    if (!sameSize(yuv, cmyk)) return false;
    const size_t n = pixelCount(cmyk);
    for (size_t i = 0; i < n; ++i) {
        uint16_t rgb[3] = {0, 0, 0};
        cmykToRgb(cmyk.data + i * CmykChannels, rgb);
        rgbToYuv(rgb, yuv.data + i * YuvChannels);
    }
    return true;
}

bool yuvBufferToRgb(ImageBuffer& rgb, const ImageBuffer& yuv) {
    if (!sameSize(rgb, yuv)) return false;
    const size_t n = pixelCount(yuv);
    for (size_t i = 0; i < n; ++i) yuvToRgb(yuv.data + i * YuvChannels, rgb.data + i * RgbChannels);
    return true;
}

bool yuvBufferToCmyk(ImageBuffer& cmyk, const ImageBuffer& yuv) {
    if (!sameSize(cmyk, yuv)) return false;
    const size_t n = pixelCount(yuv);
    for (size_t i = 0; i < n; ++i) yuvToCmyk(yuv.data + i * YuvChannels, cmyk.data + i * CmykChannels);
    return true;
}
