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

// Writes the pages of a TIFF input as one TIFF, in the input's order, a page
// at a time as each is filtered: the filtered full pages (each stored as its
// own page was, the first with the input's Exif and IPTC), and the
// reduced-resolution pages rebuilt by shrinking the filtered full page before
// them to their size (or dropped, with a note saying why, when that fails).
// The file grows in a private scratch folder, removed with the writer, and is
// written to its place at the end as writeImageFile writes (temporary name
// and rename for a regular file).
class TiffPageWriter {
public:
    TiffPageWriter() = default;
    TiffPageWriter(const TiffPageWriter&) = delete;
    TiffPageWriter& operator=(const TiffPageWriter&) = delete;
    ~TiffPageWriter();

    // layout: the input's pages; saveAs as for writeImageFile. False with a
    // reason.
    bool start(const TiffLayout& layout, const std::string& saveAs, std::string& reason);
    // The next full page, filtered (info.page its directory), and the
    // reduced-resolution pages after it. False with a reason.
    bool add(const HostImage& image, const ImageFileInfo& info, std::vector<std::string>& notes, std::string& reason);
    // Writes the whole file to path once every page was added. False with an
    // error naming the file.
    bool finish(const std::string& path, std::string& error);

private:
    TiffLayout layout_;
    std::string saveAs_;  // ".tif[options]"
    std::string folder_;  // the scratch folder
    std::string whole_;   // the file being grown
    size_t next_ = 0;     // the next directory to write
};
