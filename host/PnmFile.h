// Binary PNM files (P6 colour, P5 grey) for the Windows command-line host,
// which has no image library: RGB at 8 or 16 bits, and grey selections.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/HostImage.h"

// What a read PNM file keeps for writing its result back.
struct PnmOrigin {
    // The file's maximum sample value. At 16 bits the image's bits
    // (HostImage::changed, see FileValueRuns.h) bring back the value every
    // sample the filter leaves unchanged was read with (clamped to it).
    int maxValue = 0;
};

// Reads a P6 file into host conventions (16-bit samples mapped to 0..32768).
bool readPnmImage(const std::string& path, HostImage& image, PnmOrigin& origin, std::string& error);
// Writes a P6 file with the origin's maximum (255 or 65535 for the full
// depth); a sample the run left unchanged gets the value it was read with.
bool writePnmImage(const std::string& path, const HostImage& image, const PnmOrigin& origin, std::string& error);
// Reads a P5 selection of the given size at 8 bits.
bool readPnmSelection(const std::string& path, int32_t width, int32_t height, std::vector<uint8_t>& selection,
                      std::string& error);

// Parses a PNM header from bytes; false when it is malformed. offset receives
// the first sample byte.
bool parsePnmHeader(const std::vector<uint8_t>& bytes, char& kind, int32_t& width, int32_t& height, int& maxValue,
                    size_t& offset);
