// Image files as the command-line host sees them: libvips on Linux, binary
// PNM on Windows.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/HostImage.h"
#include "host/RowMark.h"

struct LoadedImage {
    HostImage image;
    std::shared_ptr<void> keep;  // what the writer needs to write it back alike
    std::string note;            // something the user should know about the file ("" = nothing)
    // Pictures in the file to filter (the full-size pages of a multi-page
    // TIFF): loadImage loads the first, loadPage the others.
    int pages = 1;
    std::shared_ptr<void> pending;  // pixels still to be decoded (openImageRows)
};

bool startImageIo(const char* argv0, std::string& error);
// "-" reads standard input.
bool loadImage(const std::string& path, LoadedImage& loaded, std::string& error);
// loadImage in two steps: the first checks the file and sizes loaded.image
// (pages and note too), the second fills its samples, marking the rows that
// have landed in mark (null: none; all of them once the file is read) or
// failing it. The second may run on another thread while the image (and
// loaded.keep) is at work; loaded.image may move but not be resized.
bool openImageRows(const std::string& path, LoadedImage& loaded, std::string& error);
bool decodeImageRows(LoadedImage& loaded, RowMark* mark, std::string& error);
// Whether this build reads, filters and writes side by side (decodeImageRows
// on another thread, saveImage with ready).
bool overlapsImageIo();
// Picture number page (1..first.pages - 1) of the file first came from.
bool loadPage(const LoadedImage& first, const std::string& path, int page, LoadedImage& loaded, std::string& error);
// The reason pages of a file of several pictures cannot all be written as
// saveAs ("" when they can).
std::string whyPagesCannotGo(const std::string& saveAs);
// The pictures of one file written into one output a page at a time, as
// each is filtered (a multi-page TIFF). Null when the output holds just the
// first picture, which saveImage then writes; note says what that leaves out
// ("" = nothing), error why the pages cannot be written (then also null).
std::shared_ptr<void> startPages(const LoadedImage& first, const std::string& saveAs, std::string& note,
                                 std::string& error);
// Adds the next picture, filtered; notes gets what the user should know.
bool addPage(const std::shared_ptr<void>& pages, const LoadedImage& page, std::vector<std::string>& notes,
             std::string& error);
// Writes the output once every picture was added, as saveImage writes.
bool finishPages(const std::shared_ptr<void>& pages, const std::string& path, std::string& error);
// False with a reason when saveAs (".ext" or ".ext[options]"; empty = the
// input's format) cannot be written; asked before any work.
bool checkOutputFormat(const std::string& saveAs, std::string& error);
// Writes the result: a regular file under a temporary name renamed into
// place once complete, a device, FIFO or "-" (standard output) directly.
// pixels: the image to write when it is not loaded.image (null); ready: the
// rows a run still filtering has finished (null: all).
bool saveImage(const std::string& path, const std::string& saveAs, const LoadedImage& loaded, std::string& error,
               const HostImage* pixels = nullptr, const RowMark* ready = nullptr);
// False with a reason when path cannot take a grey image (its extension
// names no format the build writes); asked before any work.
bool checkGreyFormat(const std::string& path, std::string& error);
// An 8-bit grey image (width x height bytes), written as an output is.
bool saveGreyImage(const std::string& path, const std::vector<uint8_t>& grey, int32_t width, int32_t height,
                   std::string& error);
bool loadSelection(const std::string& path, int32_t width, int32_t height, bool useAlpha,
                   std::vector<uint8_t>& selection, std::string& error);
