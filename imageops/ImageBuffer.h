// Sixteen-bit working buffers and their whole-buffer conversions.
#pragma once

#include <cstdint>

#include "base/Geometry.h"
#include "base/VectorLevel.h"
#include "services/RunContext.h"

// Channels per pixel by what a buffer holds.
enum BufferChannels : int { MaskChannels = 1, RgbChannels = 3, YuvChannels = 3, CmykChannels = 4, HsiChannels = 5 };

// A working buffer: width x height pixels of sixteen-bit samples, row by row
// without gaps. It owns its block, which came from a run's buffer service and
// goes back to it when the buffer is destroyed or allocated again. Move-only;
// data, width and height are read by the operations, never reassigned by them.
struct ImageBuffer {
    uint16_t* data = nullptr;
    int32_t width = 0;
    int32_t height = 0;

    ImageBuffer() = default;
    ImageBuffer(ImageBuffer&& other) noexcept;
    ImageBuffer& operator=(ImageBuffer&& other) noexcept;
    ImageBuffer(const ImageBuffer&) = delete;
    ImageBuffer& operator=(const ImageBuffer&) = delete;
    ~ImageBuffer() { release(); }

    // Gives the block back; the buffer is then empty.
    void release();
    // Releases what it held, then takes width x height x channels zero-filled
    // samples from the run. False (and an empty buffer) for a size that is not
    // positive, does not fit 32 bits of bytes, or that the host refuses.
    bool allocate(const RunContext& run, int32_t width, int32_t height, int channels);

private:
    const RunContext* owner_ = nullptr;
};

// Whole-buffer conversions; false without writing when sizes differ. The CMYK
// ones go through the host's colour services (black or no ink when the host
// refuses a pixel), on the calling thread. threads: how many threads share
// the pixels of the RGB ones (the caller's included), the others from pool
// when given; level caps the vector instructions. The bytes are the same for
// every count and level.
bool rgbBufferToHsi(ImageBuffer& hsi, const ImageBuffer& rgb, int threads = 1, WorkerPool* pool = nullptr);
// Hue left 0: for a selection whose hue curve is flat.
bool rgbBufferToHsiWithoutHue(ImageBuffer& hsi, const ImageBuffer& rgb, int threads = 1,
                              VectorLevel level = widestVectorLevel(), WorkerPool* pool = nullptr);
bool cmykBufferToHsi(RunContext& run, ImageBuffer& hsi, const ImageBuffer& cmyk);
bool rgbBufferToYuv(ImageBuffer& yuv, const ImageBuffer& rgb);
bool cmykBufferToYuv(RunContext& run, ImageBuffer& yuv, const ImageBuffer& cmyk);
bool yuvBufferToRgb(ImageBuffer& rgb, const ImageBuffer& yuv);
bool yuvBufferToCmyk(RunContext& run, ImageBuffer& cmyk, const ImageBuffer& yuv);

// Copies width x height HsiPixels from (srcX, srcY) to (dstX, dstY); negative
// corners become 0, the block is cut to both buffers. False for an empty size.
bool copyHsiRect(ImageBuffer& dst, const ImageBuffer& src, int32_t srcX, int32_t srcY, int32_t width, int32_t height,
                 int32_t dstX, int32_t dstY);
