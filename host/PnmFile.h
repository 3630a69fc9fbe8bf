// Binary PNM files (P6 colour, P5 grey) for the Windows command-line host,
// which has no image library: RGB at 8 or 16 bits, and grey selections.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/HostImage.h"

// What a read PNM file keeps for writing its result back.
struct PnmOrigin {
    int maxValue = 0;  // the file's maximum sample value
    // 16-bit files: one bit per sample saying which of the file values that
    // arrive as its host value the file held (clamped to maxValue; see
    // FileValueRuns.h), so that samples the filter leaves unchanged
    // (HostImage::changed) are written back bit for bit; empty at 8 bits.
    std::vector<uint64_t> valueBits;
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
