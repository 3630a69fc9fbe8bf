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

// A private folder in the temporary folder, removed with everything in it.
struct ScratchFolder {
    fs::path path;
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path.empty()) fs::remove_all(path, ignored);
    }
    bool make(std::string& reason) {
        std::string name = (fs::temp_directory_path() / "crispcalm-pages-XXXXXX").string();
        if (!mkdtemp(name.data())) {
            reason = "no room for scratch files in the temporary folder (" + std::string(std::strerror(errno)) + ")";
            return false;
        }
        path = name;
        return true;
    }
    std::string file(size_t page) const { return (path / ("page-" + std::to_string(page) + ".tif")).string(); }
};

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

bool writeTiffPages(const std::string& path, const std::string& saveAs, const std::vector<FilteredPage>& pages,
                    std::vector<std::string>& notes, std::string& error) {
    if (pages.empty()) return false;
    const TiffLayout& layout = pages[0].info->layout;
    const std::string asTiff = saveAs.empty() ? ".tif" : saveAs[0] == '[' ? ".tif" + saveAs : saveAs;
    OutputTarget target;
    if (!resolveOutput(path, target, error)) return false;
    std::string reason;
    ScratchFolder scratch;
    if (!scratch.make(reason)) {
        error = path + ": " + reason;
        return false;
    }
    // Each page into a scratch file of its own, then the first one's file
    // takes the others as further pages.
    struct Written {
        std::string file;
        uint32_t subfileType;
        const std::vector<uint8_t>* iptc;  // the page's IPTC record as read
    };
    std::vector<Written> written;
    size_t next = 0, lastFull = 0;
    bool ok = true;
    for (size_t d = 0; ok && d < layout.directories.size() && !gStopSignal; ++d) {
        const TiffDirectory& directory = layout.directories[d];
        if (d == 0 || !directory.reduced()) {
            if (next >= pages.size() || size_t(pages[next].info->page) != d) {
                reason = "page " + std::to_string(d + 1) + " was not filtered";
                ok = false;
                break;
            }
            lastFull = next;
            ok = writeTiffPageFile(scratch.file(d), asTiff, *pages[next].image, *pages[next].info, reason);
            ++next;
        } else {
            std::string why;
            if (!rebuildReducedPage(scratch.file(pages[lastFull].info->page), directory, *pages[lastFull].info,
                                    scratch.file(d), why)) {
                notes.push_back("page " + std::to_string(d + 1) + " (a " + std::to_string(directory.width) + " x " +
                                std::to_string(directory.height) +
                                " reduced-resolution copy) is dropped: it could not be rebuilt from the filtered "
                                "page (" +
                                why + ")");
                continue;
            }
        }
        if (ok) written.push_back({scratch.file(d), directory.subfileType, &pages[lastFull].info->iptc});
    }
    const std::string whole = (scratch.path / "whole.tif").string();
    std::error_code ec;
    if (ok && !gStopSignal) {
        fs::copy_file(written[0].file, whole, ec);
        ok = !ec;
        if (ec) reason = ec.message();
    }
    for (size_t i = 1; ok && i < written.size() && !gStopSignal; ++i)
        ok = appendTiffPage(whole, written[i].file, written[i].subfileType, *written[i].iptc, reason);
    if (gStopSignal) {
        error = path + ": stopped before it was complete";
        return false;
    }
    if (!ok) {
        error = path + ": cannot be written as " + asTiff + " (" + reason + ")";
        return false;
    }
    PendingOutput pending(target);
    std::string writeTo;
    if (!pending.begin(writeTo, error)) return false;
    if (!writeBytesTo(writeTo, fileBytes(whole), error)) {
        pending.abandon();
        error = gStopSignal ? path + ": stopped before it was complete" : path + error.substr(error.find(": "));
        return false;
    }
    return pending.commit(error);
}
