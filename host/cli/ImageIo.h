// Image files as the command-line host sees them: libvips on Linux, binary
// PNM on Windows.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/HostImage.h"

struct LoadedImage {
    HostImage image;
    std::shared_ptr<void> keep;  // what the writer needs to write it back alike
    std::string note;            // something the user should know about the file ("" = nothing)
    // Pictures in the file to filter (the full-size pages of a multi-page
    // TIFF): loadImage loads the first, loadPage the others.
    int pages = 1;
};

bool startImageIo(const char* argv0, std::string& error);
// "-" reads standard input.
bool loadImage(const std::string& path, LoadedImage& loaded, std::string& error);
// Picture number page (1..first.pages - 1) of the file first came from.
bool loadPage(const LoadedImage& first, const std::string& path, int page, LoadedImage& loaded, std::string& error);
// The reason pages of a file of several pictures cannot all be written as
// saveAs ("" when they can).
std::string whyPagesCannotGo(const std::string& saveAs);
// Writes every picture of one file (pages: all of them, in order, filtered)
// as one file with all its pages, as saveImage writes; notes gets what the
// user should know (pages dropped and why).
bool savePages(const std::string& path, const std::string& saveAs, const std::vector<LoadedImage>& pages,
               std::vector<std::string>& notes, std::string& error);
// False with a reason when saveAs (".ext" or ".ext[options]"; empty = the
// input's format) cannot be written; asked before any work.
bool checkOutputFormat(const std::string& saveAs, std::string& error);
// Writes the result: a regular file under a temporary name renamed into
// place once complete, a device, FIFO or "-" (standard output) directly.
bool saveImage(const std::string& path, const std::string& saveAs, const LoadedImage& loaded, std::string& error);
// False with a reason when path cannot take a grey image (its extension
// names no format the build writes); asked before any work.
bool checkGreyFormat(const std::string& path, std::string& error);
// An 8-bit grey image (width x height bytes), written as an output is.
bool saveGreyImage(const std::string& path, const std::vector<uint8_t>& grey, int32_t width, int32_t height,
                   std::string& error);
bool loadSelection(const std::string& path, int32_t width, int32_t height, bool useAlpha,
                   std::vector<uint8_t>& selection, std::string& error);
