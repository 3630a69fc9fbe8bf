#include "host/ImageFile.h"
#include "host/cli/ImageIo.h"

bool startImageIo(const char* argv0, std::string& error) { return initImageFiles(argv0, error); }

bool loadImage(const std::string& path, LoadedImage& loaded, std::string& error) {
    auto info = std::make_shared<ImageFileInfo>();
    if (!readImageFile(path, loaded.image, *info, error)) return false;
    loaded.keep = info;
    return true;
}

bool saveImage(const std::string& path, const LoadedImage& loaded, std::string& error) {
    return writeImageFile(path, loaded.image, *static_cast<const ImageFileInfo*>(loaded.keep.get()), error);
}

bool loadSelection(const std::string& path, int32_t width, int32_t height, std::vector<uint8_t>& selection,
                   std::string& error) {
    return readSelectionFile(path, width, height, selection, error);
}
