// Image files for the command-line host, read and written through libvips:
// TIFF, PNG, JPEG and binary PNM, RGB at 8 or 16 bits per channel and CMYK
// where the format has it (TIFF, JPEG). Reading gives the pixels in the host's
// conventions plus everything needed to write the result back as the input
// was apart from its pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/HostImage.h"
#include "host/RowMark.h"
#include "host/TiffDirectories.h"

enum class ImageFileFormat { Tiff, Png, Jpeg, Pnm, Other };

// How a TIFF file's first image is stored, as its first directory states it,
// so that a written file is compressed as the file it came from.
struct TiffStorage {
    // The Compression tag (259): 1 none, 5 LZW, 7 JPEG, 8 deflate, 32773
    // PackBits, 50000 ZSTD, 50001 WebP, ...; 1 when the tag is absent, 0 = not
    // known. Unknown values, and those libvips cannot write, are written as LZW.
    uint16_t compression = 0;
    // The Predictor tag (317): 1 none, 2 horizontal differencing, 3 floating
    // point; 1 when absent, 0 = not known.
    uint16_t predictor = 0;
    bool bigTiff = false;  // 64-bit offsets ("BigTIFF")
};

// What the file holds besides the colour channels the host sees.
struct ImageFileInfo {
    ImageFileFormat format = ImageFileFormat::Tiff;
    int depth = 8;      // bits per channel in the file: 8 or 16
    bool cmyk = false;  // CMYK, else RGB
    // Channels after the colour channels (an alpha channel first), kept aside
    // in the file's own values and written back unchanged: width x height x
    // extraChannels, interleaved row by row.
    int extraChannels = 0;
    std::vector<uint16_t> extraSamples;
    std::vector<uint8_t> iccProfile;  // empty when the file has none
    // Exif and IPTC as exiv2 read them (see FileMetadata.h), for TIFF
    // output; null when the file has none, and for pages after the first.
    std::shared_ptr<const void> carriedMetadata;
    // A TIFF file's pages (its directories in order) and the one read; no
    // directories for other formats and standard input.
    TiffLayout layout;
    int page = 0;
    std::vector<uint8_t> exif;
    std::vector<uint8_t> xmp;
    std::vector<uint8_t> iptc;
    std::vector<uint8_t> photoshop;  // TIFF's image resource block
    double xResolution = 0.0;        // pixels per millimetre; 0 = none
    double yResolution = 0.0;
    std::string resolutionUnit;  // "in" or "cm" as the file states it; empty = unstated
    int orientation = 0;         // 1..8 as the file states it; 0 = unstated
    // A PNM file's maximum sample value when it is not the depth's full range
    // (255 or 65535); its samples are scaled to and from the full range.
    int pnmMaxValue = 0;
    // JPEG input: the quality its luminance table was made for, chroma
    // subsampling and progressive mode, which a written JPEG keeps. Quality
    // also serves JPEG- or WebP-compressed TIFF; 95 when unknown.
    int jpegQuality = 95;
    bool jpegSubsampled = false;
    bool jpegProgressive = false;
    TiffStorage tiff;    // TIFF only
    std::string loader;  // libvips's loader ("jpegload", "webpload", ...)
    // The extension that writes the input's format (".webp"); empty when
    // libvips cannot write it.
    std::string suffix;
    // What to write: an extension with libvips's saver options in brackets
    // (".jpg[Q=90,optimize_coding]"); empty = the input's format.
    std::string saveAs;
};

// Starts libvips once for the process (later calls only report the first
// result) and makes it deterministic: no operation cache. False with a reason
// when libvips cannot start.
bool initImageFiles(const char* programName, std::string& error);

// 16-bit channel values between a file (0..65535) and the host (0..32768),
// each rounding to nearest; host -> file -> host is the identity.
inline uint16_t fileToHost16(uint16_t v) { return uint16_t((uint32_t(v) * 32768u + 32767u) / 65535u); }
inline uint16_t hostToFile16(uint16_t h) { return uint16_t((uint32_t(h) * 65535u + 16384u) / 32768u); }

// The host value of each file value of the colour channels as the reader
// maps them (index: file value 0..255 or 0..65535): a PNM file's smaller
// maximum stretched to the full range, CMYK ink inverted, 16 bits brought to
// 0..32768.
std::vector<uint16_t> fileToHostTable(int depth, bool cmyk, int pnmMaxValue);

// Reads the first page of an image file in any format libvips loads
// (standard input: a single-page file) ("-":
// standard input). The host image is interleaved RGB or
// CMYK at the file's depth (8-bit 0..255, 16-bit 0..32768); CMYK uses the
// host's convention where the full value means no ink (files store ink
// amounts). False with an error naming the file and the reason.
bool readImageFile(const std::string& path, HostImage& image, ImageFileInfo& info, std::string& error);
// The same for directory page (from 0) of a TIFF file; pages after the first
// carry no Exif or IPTC (carriedMetadata), only what libvips reads of them.
bool readImageFilePage(const std::string& path, int page, HostImage& image, ImageFileInfo& info, std::string& error);

// readImageFilePage in two steps, so that the pixels can be decoded on
// another thread while the first rows are already at work. The first checks
// the file and sizes image and info, its samples not yet written; the second decodes the
// pixels into them, marking in mark (null: none) the rows that have landed,
// all of them once the metadata is in info too, and failing it on error.
// Until it returns, info stays where it is and image's samples are not
// reallocated (image itself may move).
struct PendingPixels;
bool openImageFilePage(const std::string& path, int page, HostImage& image, ImageFileInfo& info,
                       std::shared_ptr<PendingPixels>& pixels, std::string& error);
bool decodeImagePixels(PendingPixels& pixels, RowMark* mark, std::string& error);

// Checks before any work that saveAs (".ext" or ".ext[options]") names a
// format libvips writes colour images in, with options its saver knows.
bool checkSaveFormat(const std::string& saveAs, std::string& error);

// Writes image to path in info.saveAs (or the input's format) with its extra
// channels and metadata; a TIFF compressed as info.tiff states, a JPEG as the
// input JPEG was. A regular file (or a link's target) is written under a
// temporary name and renamed into place only once complete; a device, FIFO
// or "-" (standard output) is written directly. False with an error naming
// the file and the reason; a regular path is then untouched. With ready, rows
// are encoded only once ready has reached them, so that writing can keep pace
// with a run still filtering the image.
bool writeImageFile(const std::string& path, const HostImage& image, const ImageFileInfo& info, std::string& error,
                    const RowMark* ready = nullptr);

// Writes image as a TIFF (saveAs: ".tif" with any saver options) with info's
// metadata straight into file, a private scratch file: no temporary name, no
// rename. False with a reason.
bool writeTiffPageFile(const std::string& file, const std::string& saveAs, const HostImage& image,
                       const ImageFileInfo& info, std::string& reason);
// libvips's TIFF saver options that store an image as info.tiff states
// ("compression=lzw,predictor=horizontal,...").
std::string tiffStorageOptions(const ImageFileInfo& info);

// An 8-bit grey image (width x height bytes, row by row) in the format the
// path's extension names, written as an output is (see OutputFile.h).
bool checkGreyFileFormat(const std::string& path, std::string& error);
bool writeGreyImageFile(const std::string& path, const std::vector<uint8_t>& grey, int32_t width, int32_t height,
                        std::string& error);
// Reads a selection image of width x height pixels in any format libvips
// loads: a grey image, a colour image's luminance, or with useAlpha the
// image's alpha channel; 16-bit samples keep their high byte. 0 = not
// selected, 255 = fully selected. False with an error naming the file.
bool readSelectionFile(const std::string& path, int32_t width, int32_t height, bool useAlpha,
                       std::vector<uint8_t>& selection, std::string& error);

// Reads the storage fields of a TIFF file's first directory straight from its
// bytes, classic TIFF or BigTIFF in either byte order. False with an error
// naming the file when it is not a TIFF file or its header or first directory
// is damaged.
bool readTiffStorage(const std::string& path, TiffStorage& storage, std::string& error);

// The format's name for messages: "TIFF", "PNG", "JPEG", "PNM".
const char* imageFileFormatName(ImageFileFormat format);
