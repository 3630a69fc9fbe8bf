#include "host/PnmFile.h"
#include "host/cli/ImageIo.h"

bool startImageIo(const char*, std::string&) { return true; }

bool loadImage(const std::string& path, LoadedImage& loaded, std::string& error) {
    auto maxValue = std::make_shared<int>(0);
    if (!readPnmImage(path, loaded.image, *maxValue, error)) return false;
    loaded.keep = maxValue;
    return true;
}

bool saveImage(const std::string& path, const LoadedImage& loaded, std::string& error) {
    return writePnmImage(path, loaded.image, *static_cast<const int*>(loaded.keep.get()), error);
}

bool loadSelection(const std::string& path, int32_t width, int32_t height, std::vector<uint8_t>& selection,
                   std::string& error) {
    return readPnmSelection(path, width, height, selection, error);
}
