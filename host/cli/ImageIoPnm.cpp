#include <algorithm>
#include <cctype>

#include "host/CliRun.h"
#include "host/PnmFile.h"
#include "host/cli/ImageIo.h"

bool startImageIo(const char*, std::string&) { return true; }

bool loadImage(const std::string& path, LoadedImage& loaded, std::string& error) {
    auto origin = std::make_shared<PnmOrigin>();
    if (!readPnmImage(path, loaded.image, *origin, error)) return false;
    loaded.keep = origin;
    return true;
}

// PNM files are read whole: nothing is left for a second step.
bool openImageRows(const std::string& path, LoadedImage& loaded, std::string& error) {
    return loadImage(path, loaded, error);
}

bool decodeImageRows(LoadedImage& loaded, RowMark* mark, std::string&) {
    if (mark) mark->reach(loaded.image.height);
    return true;
}

bool overlapsImageIo() { return false; }

bool loadPage(const LoadedImage&, const std::string& path, int page, LoadedImage&, std::string& error) {
    error = path + ": a PNM file has no page " + std::to_string(page + 1);
    return false;
}

std::string whyPagesCannotGo(const std::string&) { return "this build writes one picture per file"; }

std::shared_ptr<void> startPages(const LoadedImage&, const std::string&, std::string&, std::string&) {
    return nullptr;  // one picture per file
}

bool addPage(const std::shared_ptr<void>&, const LoadedImage&, std::vector<std::string>&, std::string& error) {
    error = whyPagesCannotGo("");
    return false;
}

bool finishPages(const std::shared_ptr<void>&, const std::string& path, std::string& error) {
    error = path + ": " + whyPagesCannotGo("");
    return false;
}

bool checkOutputFormat(const std::string& saveAs, std::string& error) {
    std::string extension = saveAs;
    for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (extension.empty() || extension == ".ppm" || extension == ".pnm") return true;
    error = "this build writes binary PNM files only (.ppm), not " + saveAs;
    return false;
}

bool saveImage(const std::string& path, const std::string&, const LoadedImage& loaded, std::string& error,
               const HostImage* pixels, const RowMark* ready) {
    const HostImage& image = pixels ? *pixels : loaded.image;
    if (ready && !ready->wait(image.height)) {
        error = path + ": the filter stopped before it finished";
        return false;
    }
    return writePnmImage(path, image, *static_cast<const PnmOrigin*>(loaded.keep.get()), error);
}

bool checkGreyFormat(const std::string& path, std::string& error) {
    std::string extension = path.substr(std::min(path.size(), path.rfind('.')));
    for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (extension == ".pgm" || extension == ".pnm") return true;
    error = path + ": this build writes grey binary PNM files only (.pgm)";
    return false;
}

bool saveGreyImage(const std::string& path, const std::vector<uint8_t>& grey, int32_t width, int32_t height,
                   std::string& error) {
    const std::string header = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), grey.begin(), grey.end());
    return writeWholeFile(path, bytes, error);
}

bool loadSelection(const std::string& path, int32_t width, int32_t height, bool useAlpha,
                   std::vector<uint8_t>& selection, std::string& error) {
    if (useAlpha) {
        error = path + ": this build reads grey PNM selections (P5) only, without alpha";
        return false;
    }
    return readPnmSelection(path, width, height, selection, error);
}
