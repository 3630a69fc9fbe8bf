#include "host/ImageFile.h"
#include "host/cli/ImageIo.h"

bool startImageIo(const char* argv0, std::string& error) { return initImageFiles(argv0, error); }

bool loadImage(const std::string& path, LoadedImage& loaded, std::string& error) {
    auto info = std::make_shared<ImageFileInfo>();
    if (!readImageFile(path, loaded.image, *info, error)) return false;
    loaded.keep = info;
    if (info->droppedPages > 0)
        loaded.note = std::to_string(info->droppedPages) +
                      " smaller page(s) (thumbnails or reduced-resolution copies) are not written to the output";
    return true;
}

bool checkOutputFormat(const std::string& saveAs, std::string& error) {
    // Options alone ("[Q=90]") apply to the input's format, known only once
    // it is read: the writer checks them then.
    return saveAs.empty() || saveAs[0] == '[' || checkSaveFormat(saveAs, error);
}

bool saveImage(const std::string& path, const std::string& saveAs, const LoadedImage& loaded, std::string& error) {
    ImageFileInfo& info = *static_cast<ImageFileInfo*>(loaded.keep.get());
    info.saveAs = saveAs;
    return writeImageFile(path, loaded.image, info, error);
}

bool checkGreyFormat(const std::string& path, std::string& error) { return checkGreyFileFormat(path, error); }

bool saveGreyImage(const std::string& path, const std::vector<uint8_t>& grey, int32_t width, int32_t height,
                   std::string& error) {
    return writeGreyImageFile(path, grey, width, height, error);
}

bool loadSelection(const std::string& path, int32_t width, int32_t height, bool useAlpha,
                   std::vector<uint8_t>& selection, std::string& error) {
    return readSelectionFile(path, width, height, useAlpha, selection, error);
}
