// An image as the stand-in host keeps it: interleaved samples in the host's
// own conventions (8-bit 0..255, 16-bit 0..32768, CMYK with 255 = no ink).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Leaves new samples uninitialised where a vector grows: a decoder writes
// every one of them itself, and zeroing 144 MB first would touch every page
// of a large image on one thread before the reader could start.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <typename U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using SampleVector = std::vector<uint16_t, UninitialisedAllocator<uint16_t>>;
// Bytes that are all written before they are read (tiles lent to a plug-in).
using ByteVector = std::vector<uint8_t, UninitialisedAllocator<uint8_t>>;

struct HostImage {
    int32_t width = 0;
    int32_t height = 0;
    int planes = 0;        // 3 RGB, 4 CMYK
    int depth = 0;         // bits per sample, 8 or 16
    int16_t mode = 0;      // host image mode (plugInModeRGBColor, ...)
    SampleVector samples;  // width x height x planes, row by row
    // One bit per sample, packed (sample i: bit i % 64 of word i / 64), kept
    // only when the reader sized it (a 16-bit file, whose exact values
    // matter; empty = not kept). A run sets the bit of every sample it gives
    // another value; the reader sets it where the writer's own value for the
    // sample gives the file's back, and leaves it clear where the file held
    // the other value of the sample's run (see FileValueRuns.h).
    std::vector<uint64_t> changed;

    size_t index(int32_t x, int32_t y, int plane) const {
        return (size_t(y) * size_t(width) + size_t(x)) * size_t(planes) + size_t(plane);
    }
    uint16_t at(int32_t x, int32_t y, int plane) const { return samples[index(x, y, plane)]; }
};

// Mode for planes and depth: RGB 3 / CMYK 4 at 8 or 16 bits.
int16_t hostModeFor(int planes, int depth);
// Allocates an image, its samples zero unless zeroed is false (then each
// must be written before it is read); false for sizes the host cannot hold.
bool makeHostImage(HostImage& image, int32_t width, int32_t height, int planes, int depth, bool zeroed = true);

// The command line's message for an image that is neither RGB nor CMYK; what
// says what it is ("greyscale", "Lab", ...).
std::string imageModeMessage(const std::string& what);
