// The chain of image directories in a TIFF file, read straight from its
// bytes: what each page is (a full picture or a reduced-resolution copy), its
// size and how it is compressed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One image directory ("page") as its tags state it.
struct TiffDirectory {
    // NewSubfileType (254): bit 0 set = a reduced-resolution copy of another
    // page (a thumbnail or pyramid level), bit 1 = a page of a multi-page
    // document, bit 2 = a transparency mask; 0 when absent.
    uint32_t subfileType = 0;
    uint32_t width = 0;   // ImageWidth (256); 0 when absent
    uint32_t height = 0;  // ImageLength (257)
    // Compression (259) and Predictor (317); 1 when absent.
    uint16_t compression = 1;
    uint16_t predictor = 1;

    bool reduced() const { return (subfileType & 1u) != 0; }
};

struct TiffLayout {
    bool bigTiff = false;  // 64-bit offsets ("BigTIFF")
    std::vector<TiffDirectory> directories;
    // Why the chain ends before its end ("directory 3: it lies outside the
    // file"); empty when every directory was read.
    std::string unreadable;
};

// At most this many directories are read; a longer chain is taken as damaged.
constexpr size_t kMaxTiffDirectories = 4096;

// Reads every directory of the chain, classic TIFF or BigTIFF in either byte
// order. False with an error naming the file when it is not a TIFF file or
// its first directory lies outside the file or is damaged. A later directory
// that is damaged, lies outside the file or loops back ends the chain there,
// with unreadable saying why: the pages before it stay readable.
bool readTiffLayout(const std::string& path, TiffLayout& layout, std::string& error);
