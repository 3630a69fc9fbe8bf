#include "imageops/ImageBuffer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "imageops/ColorModel.h"
#include "imageops/HsiRows.h"
#include "threads/BandRun.h"

namespace {

bool sameSize(const ImageBuffer& a, const ImageBuffer& b) {
    return a.data && b.data && a.width == b.width && a.height == b.height;
}

size_t pixelCount(const ImageBuffer& buffer) { return size_t(buffer.width) * size_t(buffer.height); }

constexpr size_t kPiecePixels = 16384;  // pixels per piece of work for one thread

}  // namespace

ImageBuffer::ImageBuffer(ImageBuffer&& other) noexcept
    : data(other.data), width(other.width), height(other.height), owner_(other.owner_) {
    other.data = nullptr;
    other.width = other.height = 0;
    other.owner_ = nullptr;
}

ImageBuffer& ImageBuffer::operator=(ImageBuffer&& other) noexcept {
    if (this != &other) {
        release();
        data = other.data;
        width = other.width;
        height = other.height;
        owner_ = other.owner_;
        other.data = nullptr;
        other.width = other.height = 0;
        other.owner_ = nullptr;
    }
    return *this;
}

void ImageBuffer::release() {
    if (data && owner_) owner_->release(data);
    data = nullptr;
    width = height = 0;
    owner_ = nullptr;
}

bool ImageBuffer::allocate(const RunContext& run, int32_t w, int32_t h, int channels) {
    release();
    if (w <= 0 || h <= 0 || channels <= 0) return false;
    const uint64_t bytes = uint64_t(w) * uint64_t(h) * uint64_t(channels) * 2;
    if (bytes > uint64_t(SIZE_MAX) || bytes > 0xFFFFFFFFu) return false;
    void* block = run.allocate(size_t(bytes));
    if (!block) return false;
    data = static_cast<uint16_t*>(block);
    width = w;
    height = h;
    owner_ = &run;
    return true;
}

bool rgbBufferToHsi(ImageBuffer& hsi, const ImageBuffer& rgb, int threads, WorkerPool* pool) {
    if (!sameSize(hsi, rgb)) return false;
    const uint16_t* in = rgb.data;
    HsiPixel* out = reinterpret_cast<HsiPixel*>(hsi.data);
    forEachPiece(
        threads, pixelCount(rgb), kPiecePixels,
        [&](size_t begin, size_t end) {
            for (size_t i = begin; i < end; ++i) rgbToHsi(in + i * RgbChannels, out[i]);
        },
        pool);
    return true;
}

bool rgbBufferToHsiWithoutHue(ImageBuffer& hsi, const ImageBuffer& rgb, int threads, VectorLevel level,
                              WorkerPool* pool) {
    if (!sameSize(hsi, rgb)) return false;
    const uint16_t* in = rgb.data;
    HsiPixel* out = reinterpret_cast<HsiPixel*>(hsi.data);
    forEachPiece(
        threads, pixelCount(rgb), kPiecePixels,
        [&](size_t begin, size_t end) {
            rgbToHsiWithoutHueRow(in + begin * RgbChannels, out + begin, end - begin, level);
        },
        pool);
    return true;
}

bool cmykBufferToHsi(RunContext& run, ImageBuffer& hsi, const ImageBuffer& cmyk) {
    if (!sameSize(hsi, cmyk)) return false;
    const size_t n = pixelCount(cmyk);
    HsiPixel* out = reinterpret_cast<HsiPixel*>(hsi.data);
    for (size_t i = 0; i < n; ++i) {
        uint16_t rgb[3] = {0, 0, 0};  // black when the host refuses the pixel
        cmykToRgb(run, cmyk.data + i * CmykChannels, rgb);
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

bool cmykBufferToYuv(RunContext& run, ImageBuffer& yuv, const ImageBuffer& cmyk) {
    if (!sameSize(yuv, cmyk)) return false;
    const size_t n = pixelCount(cmyk);
    for (size_t i = 0; i < n; ++i) {
        uint16_t rgb[3] = {0, 0, 0};
        cmykToRgb(run, cmyk.data + i * CmykChannels, rgb);
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

bool yuvBufferToCmyk(RunContext& run, ImageBuffer& cmyk, const ImageBuffer& yuv) {
    if (!sameSize(cmyk, yuv)) return false;
    const size_t n = pixelCount(yuv);
    for (size_t i = 0; i < n; ++i) yuvToCmyk(run, yuv.data + i * YuvChannels, cmyk.data + i * CmykChannels);
    return true;
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
