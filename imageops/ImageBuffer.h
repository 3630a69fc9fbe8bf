// Sixteen-bit working buffers, their whole-buffer conversions, the transfer of
// pixels from and to the host's buffers, and the mirrored margin fill.
#pragma once

#include <cstdint>

#include "base/Geometry.h"

// Channels per pixel by what a buffer holds.
enum BufferChannels : int { MaskChannels = 1, RgbChannels = 3, YuvChannels = 3, CmykChannels = 4, HsiChannels = 5 };

struct ImageBuffer {
    uint16_t* data = nullptr;  // row by row, no gaps; owned, from the host's buffer service
    int32_t width = 0;
    int32_t height = 0;
};

void clear(ImageBuffer& buffer);
bool allocateMask(ImageBuffer& buffer, int32_t width, int32_t height);
bool allocateRgb(ImageBuffer& buffer, int32_t width, int32_t height);
bool allocateCmyk(ImageBuffer& buffer, int32_t width, int32_t height);
bool allocateHsi(ImageBuffer& buffer, int32_t width, int32_t height);
// Releases what the descriptor holds first.
bool allocateYuv(ImageBuffer& buffer, int32_t width, int32_t height);
void release(ImageBuffer& buffer);

// Whole-buffer conversions; false without writing when sizes differ.
bool rgbBufferToHsi(ImageBuffer& hsi, const ImageBuffer& rgb);
// Hue left 0: for a selection whose hue curve is flat.
bool rgbBufferToHsiWithoutHue(ImageBuffer& hsi, const ImageBuffer& rgb);
bool cmykBufferToHsi(ImageBuffer& hsi, const ImageBuffer& cmyk);
bool rgbBufferToYuv(ImageBuffer& yuv, const ImageBuffer& rgb);
bool cmykBufferToYuv(ImageBuffer& yuv, const ImageBuffer& cmyk);
bool yuvBufferToRgb(ImageBuffer& rgb, const ImageBuffer& yuv);
bool yuvBufferToCmyk(ImageBuffer& cmyk, const ImageBuffer& yuv);

// Host to buffer. Source rectangle [topLeft, bottomRight) in host coordinates
// relative to base; imageClass 2 RGB or 3 CMYK (4 for the mask variant);
// depth 8 or 16; planar 0 = interleaved; (x, y) where the rectangle lands in
// the buffer; progress 1 reports to the dialog's progress bar. False, nothing
// written, when the rectangle does not fit the buffer, is reversed, starts
// before base (negative top or left) or lands at a negative x or y, or for a
// bad class or depth; true at once for an empty row range.
bool importRgbPixels(ImageBuffer& dst, const void* base, int32_t planeRows, Point16 topLeft, Point16 bottomRight,
                     int imageClass, int depth, int32_t rowBytes, int planar, int32_t x, int32_t y, int progress);
bool importCmykPixels(ImageBuffer& dst, const void* base, int32_t planeRows, Point16 topLeft, Point16 bottomRight,
                      int imageClass, int depth, int32_t rowBytes, int planar, int32_t x, int32_t y, int progress);
bool importHsiPixels(ImageBuffer& dst, const void* base, int32_t planeRows, Point16 topLeft, Point16 bottomRight,
                     int imageClass, int depth, int32_t rowBytes, int planar, int32_t x, int32_t y, int progress);
bool importMaskPixels(ImageBuffer& dst, const void* base, int32_t planeRows, Point16 topLeft, Point16 bottomRight,
                      int imageClass, int depth, int32_t rowBytes, int planar, int32_t x, int32_t y, int progress);

// Buffer to host. Source rectangle [topLeft, bottomRight) in buffer
// coordinates; it lands at host (x, y), which must stay within hostWidth
// columns and hostRows rows (also the plane rows for planar data). False,
// nothing written, for a rectangle outside the buffer or reversed, a negative
// x or y, or a bad class or depth.
bool exportRgbPixels(const ImageBuffer& src, void* base, int32_t hostWidth, int32_t hostRows, int imageClass, int depth,
                     int32_t rowBytes, int planar, int32_t x, int32_t y, Point16 topLeft, Point16 bottomRight);
bool exportCmykPixels(const ImageBuffer& src, void* base, int32_t hostWidth, int32_t hostRows, int imageClass,
                      int depth, int32_t rowBytes, int planar, int32_t x, int32_t y, Point16 topLeft,
                      Point16 bottomRight);
bool exportHsiPixels(const ImageBuffer& src, void* base, int32_t hostWidth, int32_t hostRows, int imageClass, int depth,
                     int32_t rowBytes, int planar, int32_t x, int32_t y, Point16 topLeft, Point16 bottomRight);

// Fills a margin of margin.v rows and margin.h columns (left and right alike)
// by mirroring the interior, which ends just before interiorEnd (the bottom
// margin is the rest of the buffer). False for negative margins, an interior
// end beyond the buffer, or a margin wider than the part it mirrors.
bool mirrorPad3(ImageBuffer& buffer, Point16 margin, Point16 interiorEnd);
bool mirrorPad4(ImageBuffer& buffer, Point16 margin, Point16 interiorEnd);
bool mirrorPad5(ImageBuffer& buffer, Point16 margin, Point16 interiorEnd);

// Copies width x height HsiPixels from (srcX, srcY) to (dstX, dstY); negative
// corners become 0, the block is cut to both buffers. False for an empty size.
bool copyHsiRect(ImageBuffer& dst, const ImageBuffer& src, int32_t srcX, int32_t srcY, int32_t width, int32_t height,
                 int32_t dstX, int32_t dstY);
