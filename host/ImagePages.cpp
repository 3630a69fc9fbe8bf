#include "host/ImagePages.h"

#include <stdlib.h>
#include <vips/vips.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/OutputFile.h"
#include "host/TiffAppend.h"

namespace {

namespace fs = std::filesystem;

// A reduced-resolution page made from the filtered full page in fullFile,
// shrunk to the page's own size and stored as the page was.
bool rebuildReducedPage(const std::string& fullFile, const TiffDirectory& page, const ImageFileInfo& fullInfo,
                        const std::string& toFile, std::string& reason) {
    VipsImage* full = vips_image_new_from_file(fullFile.c_str(), NULL);
    VipsImage* shrunk = nullptr;
    bool ok = full && page.width > 0 && page.height > 0 &&
              vips_resize(full, &shrunk, double(page.width) / full->Xsize, "vscale", double(page.height) / full->Ysize,
                          NULL) == 0;
    if (ok && (uint32_t(shrunk->Xsize) != page.width || uint32_t(shrunk->Ysize) != page.height)) {
        reason = "the shrunk picture came out " + std::to_string(shrunk->Xsize) + " x " +
                 std::to_string(shrunk->Ysize) + " pixels";
        ok = false;
    } else if (ok) {
        ImageFileInfo stored = fullInfo;
        stored.tiff.compression = page.compression;
        stored.tiff.predictor = page.predictor;
        ok = vips_image_write_to_file(shrunk, (toFile + "[" + tiffStorageOptions(stored) + "]").c_str(), NULL) == 0;
    } else {
        reason = vips_error_buffer();
    }
    if (!ok && reason.empty()) reason = vips_error_buffer();
    vips_error_clear();
    if (shrunk) g_object_unref(shrunk);
    if (full) g_object_unref(full);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
    return ok;
}

std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream file(fs::path(path), std::ios::binary);
    return std::vector<uint8_t>{std::istreambuf_iterator<char>(file), {}};
}

}  // namespace

std::vector<int> fullPagesOf(const TiffLayout& layout) {
    std::vector<int> pages{0};
    for (size_t i = 1; i < layout.directories.size(); ++i)
        if (!layout.directories[i].reduced()) pages.push_back(int(i));
    return pages;
}

bool savesTiff(const std::string& saveAs) {
    std::string extension = saveAs.substr(0, saveAs.find('['));
    for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
    return extension.empty() || extension == ".tif" || extension == ".tiff";
}

TiffPageWriter::~TiffPageWriter() {
    std::error_code ignored;
    if (!folder_.empty()) fs::remove_all(folder_, ignored);
}

bool TiffPageWriter::start(const TiffLayout& layout, const std::string& saveAs, std::string& reason) {
    layout_ = layout;
    saveAs_ = saveAs.empty() ? ".tif" : saveAs[0] == '[' ? ".tif" + saveAs : saveAs;
    std::string name = (fs::temp_directory_path() / "crispcalm-pages-XXXXXX").string();
    if (!mkdtemp(name.data())) {
        reason = "no room for scratch files in the temporary folder (" + std::string(std::strerror(errno)) + ")";
        return false;
    }
    folder_ = name;
    whole_ = (fs::path(folder_) / "whole.tif").string();
    return true;
}

bool TiffPageWriter::add(const HostImage& image, const ImageFileInfo& info, std::vector<std::string>& notes,
                         std::string& reason) {
    const size_t d = size_t(info.page);
    if (folder_.empty() || d != next_ || d >= layout_.directories.size()) {
        reason = "page " + std::to_string(d + 1) + " is not the next page to write";
        return false;
    }
    // The first page starts the file (as a page of its own, with the Exif);
    // the others are added to it.
    const std::string page = (fs::path(folder_) / "page.tif").string();
    if (!writeTiffPageFile(d == 0 ? whole_ : page, saveAs_, image, info, reason)) return false;
    if (d > 0 && !appendTiffPage(whole_, page, layout_.directories[d].subfileType, info.iptc, reason)) return false;
    const std::string& full = d == 0 ? whole_ : page;
    for (next_ = d + 1; next_ < layout_.directories.size() && layout_.directories[next_].reduced(); ++next_) {
        if (gStopSignal) return false;
        const TiffDirectory& copy = layout_.directories[next_];
        const std::string rebuilt = (fs::path(folder_) / "reduced.tif").string();
        std::string why;
        if (!rebuildReducedPage(full, copy, info, rebuilt, why)) {
            notes.push_back("page " + std::to_string(next_ + 1) + " (a " + std::to_string(copy.width) + " x " +
                            std::to_string(copy.height) +
                            " reduced-resolution copy) is dropped: it could not be rebuilt from the filtered page (" +
                            why + ")");
            continue;
        }
        if (!appendTiffPage(whole_, rebuilt, copy.subfileType, info.iptc, reason)) return false;
    }
    return true;
}

bool TiffPageWriter::finish(const std::string& path, std::string& error) {
    if (gStopSignal) {
        error = path + ": stopped before it was complete";
        return false;
    }
    if (folder_.empty() || next_ != layout_.directories.size()) {
        error = path + ": not every page was written";
        return false;
    }
    OutputTarget target;
    if (!resolveOutput(path, target, error)) return false;
    PendingOutput pending(target);
    std::string writeTo;
    if (!pending.begin(writeTo, error)) return false;
    if (!writeBytesTo(writeTo, fileBytes(whole_), error)) {
        pending.abandon();
        error = gStopSignal ? path + ": stopped before it was complete" : path + error.substr(error.find(": "));
        return false;
    }
    return pending.commit(error);
}
