// Multi-page TIFF files for the command line: which pages are filtered and
// how the filtered pages are written back as one file.
#pragma once

#include <string>
#include <vector>

#include "host/HostImage.h"
#include "host/ImageFile.h"

// The directories of a TIFF file's layout that hold pictures to filter: every
// one but the reduced-resolution copies (NewSubfileType bit 0), and always
// the first. {0} for a file without directories (other formats).
std::vector<int> fullPagesOf(const TiffLayout& layout);

// True when saveAs (".ext[options]", "[options]" or "" for the input's
// format) writes TIFF for a TIFF input.
bool savesTiff(const std::string& saveAs);

// One filtered full page, in the file's order, as the reader read it.
struct FilteredPage {
    const HostImage* image;
    const ImageFileInfo* info;
};

// Writes every page of a TIFF input to path as one TIFF, in the input's
// order: the filtered full pages (each stored as its own page was, the first
// with the input's Exif and IPTC), and the reduced-resolution pages rebuilt
// by shrinking the filtered full page before them to their size (or dropped,
// with a note saying why, when that fails). The output is made in a private
// scratch folder and then written as writeImageFile writes (temporary name
// and rename for a regular file). saveAs as for writeImageFile. False with an
// error naming the file.
bool writeTiffPages(const std::string& path, const std::string& saveAs, const std::vector<FilteredPage>& pages,
                    std::vector<std::string>& notes, std::string& error);
