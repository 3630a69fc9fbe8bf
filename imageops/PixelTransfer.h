// Transfer of pixels between the host's 8- or 16-bit buffers and the
// sixteen-bit working buffers.
#pragma once

#include <cstdint>

#include "base/Geometry.h"
#include "base/Modes.h"
#include "imageops/ImageBuffer.h"
#include "services/RunContext.h"

// What a working buffer holds; a transfer converts between it and the host's
// class (through the host's colour services between RGB and CMYK).
enum class BufferContent { RGB, CMYK, HSI, Mask };

// Samples in a host buffer, in the host's conventions: 16 bits hold
// 0..32768, CMYK 255 (or 32768) means no ink.
struct HostPixels {
    void* base = nullptr;                     // row 0, column 0 (of plane 0)
    int32_t rowBytes = 0;                     // bytes from one row to the next
    int32_t width = 0;                        // columns that may be written
    int32_t rows = 0;                         // rows that may be written; the rows of each plane when planar
    ImageClass imageClass = ImageClass::RGB;  // RGB or CMYK; Mask for the selection plane
    int depth = 8;                            // bits per sample, 8 or 16
    bool planar = false;                      // planes one after the other instead of interleaved samples
};

// Host to buffer: the host's pixels in rect (host coordinates) land with their
// top left corner at `at` in the buffer. False, nothing written, when the
// rectangle does not fit the buffer, is reversed, starts before the host's
// origin or lands at a negative position, or for a bad class or depth; true at
// once for an empty row range. reportProgress counts the rows into the run's
// progress (the preview's dialog bar). The host's width is not checked.
bool importPixels(RunContext& run, BufferContent content, const HostPixels& from, Rect16 rect, ImageBuffer& to,
                  Point16 at, bool reportProgress = false);

// Buffer to host: rect of the buffer lands with its top left corner at `at`
// in the host's pixels, which must hold it (width and rows). False, nothing
// written, for a rectangle outside the buffer or reversed, a negative
// position, a mask content, or a bad class or depth.
bool exportPixels(RunContext& run, BufferContent content, const ImageBuffer& from, Rect16 rect, const HostPixels& to,
                  Point16 at);
