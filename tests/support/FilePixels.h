// Image files written and read with libvips itself, as any other program
// might, for tests that compare a file's own sample values.
#pragma once

#include <vips/vips.h>

#include <cstdint>
#include <string>
#include <vector>

constexpr double kDpi300 = 300.0 / 25.4;  // pixels per millimetre

// Samples as a file holds them: interleaved bands, 8- or 16-bit values.
struct Pixels {
    int width = 0, height = 0, bands = 0, depth = 8;
    std::vector<uint16_t> values;
};

// Random values from a seed; the first two are 0 and the depth's full value.
Pixels randomPixels(int width, int height, int bands, int depth, uint32_t seed);
// Gentle gradients that survive JPEG compression nearly unchanged.
Pixels smoothPixels(int width, int height, int bands);
// libvips's built-in profile "srgb" or "cmyk".
std::vector<uint8_t> builtInProfile(const char* name);
// Writes p with libvips; the extension picks the format (JPEG at Q=100).
bool saveTestImage(const std::string& path, const Pixels& p, VipsInterpretation type,
                   const std::vector<uint8_t>& icc = {}, int pageHeight = 0);
// A file's own values, read back with libvips.
Pixels loadTestImage(const std::string& path, VipsInterpretation& type);
// A whole file's bytes (empty when it cannot be read).
std::vector<uint8_t> fileBytes(const std::string& path);
