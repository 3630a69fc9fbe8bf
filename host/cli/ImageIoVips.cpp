#include "host/ImageFile.h"
#include "host/ImagePages.h"
#include "host/cli/ImageIo.h"

bool startImageIo(const char* argv0, std::string& error) { return initImageFiles(argv0, error); }

bool loadImage(const std::string& path, LoadedImage& loaded, std::string& error) {
    return openImageRows(path, loaded, error) && decodeImageRows(loaded, nullptr, error);
}

bool overlapsImageIo() { return true; }

bool decodeImageRows(LoadedImage& loaded, RowMark* mark, std::string& error) {
    auto pixels = std::static_pointer_cast<PendingPixels>(loaded.pending);
    loaded.pending.reset();
    if (!pixels) {
        if (mark) mark->reach(loaded.image.height);
        return true;
    }
    return decodeImagePixels(*pixels, mark, error);
}

bool openImageRows(const std::string& path, LoadedImage& loaded, std::string& error) {
    auto info = std::make_shared<ImageFileInfo>();
    std::shared_ptr<PendingPixels> pixels;
    if (!openImageFilePage(path, 0, loaded.image, *info, pixels, error)) return false;
    loaded.keep = info;
    loaded.pending = pixels;
    const size_t directories = info->layout.directories.size();
    if (directories > 1) {
        loaded.pages = int(fullPagesOf(info->layout).size());
        const size_t reduced = directories - size_t(loaded.pages);
        loaded.note =
            std::to_string(directories) + " pages: " + std::to_string(loaded.pages) +
            " to filter with the same settings" +
            (reduced ? ", " + std::to_string(reduced) + " reduced-resolution copies to rebuild from the filtered pages"
                     : std::string());
    }
    if (!info->layout.unreadable.empty())
        loaded.note += std::string(loaded.note.empty() ? "" : "; ") + "damaged TIFF file (" + info->layout.unreadable +
                       "): only the pages before it are read and written";
    return true;
}

bool loadPage(const LoadedImage& first, const std::string& path, int page, LoadedImage& loaded, std::string& error) {
    const ImageFileInfo& firstInfo = *static_cast<const ImageFileInfo*>(first.keep.get());
    const std::vector<int> full = fullPagesOf(firstInfo.layout);
    if (page < 1 || size_t(page) >= full.size()) {
        error = path + ": has no page " + std::to_string(page + 1) + " to filter";
        return false;
    }
    auto info = std::make_shared<ImageFileInfo>();
    if (!readImageFilePage(path, full[size_t(page)], loaded.image, *info, error)) return false;
    loaded.keep = info;
    return true;
}

std::string whyPagesCannotGo(const std::string& saveAs) {
    return savesTiff(saveAs) ? "" : "only a TIFF output holds every page (give the output a .tif extension)";
}

std::shared_ptr<void> startPages(const LoadedImage& first, const std::string& saveAs, std::string& note,
                                 std::string& error) {
    const ImageFileInfo& info = *static_cast<const ImageFileInfo*>(first.keep.get());
    const size_t directories = info.layout.directories.size();
    if (directories <= 1 || (first.pages == 1 && !savesTiff(saveAs))) {
        if (directories > 1)
            note = "the " + std::to_string(directories - 1) +
                   " reduced-resolution copies are not written: only a TIFF output holds them";
        return nullptr;
    }
    auto writer = std::make_shared<TiffPageWriter>();
    if (!writer->start(info.layout, saveAs, error)) return nullptr;
    return writer;
}

bool addPage(const std::shared_ptr<void>& pages, const LoadedImage& page, std::vector<std::string>& notes,
             std::string& error) {
    const ImageFileInfo& info = *static_cast<const ImageFileInfo*>(page.keep.get());
    return static_cast<TiffPageWriter*>(pages.get())->add(page.image, info, notes, error);
}

bool finishPages(const std::shared_ptr<void>& pages, const std::string& path, std::string& error) {
    return static_cast<TiffPageWriter*>(pages.get())->finish(path, error);
}

bool checkOutputFormat(const std::string& saveAs, std::string& error) {
    // Options alone ("[Q=90]") apply to the input's format, known only once
    // it is read: the writer checks them then.
    return saveAs.empty() || saveAs[0] == '[' || checkSaveFormat(saveAs, error);
}

bool saveImage(const std::string& path, const std::string& saveAs, const LoadedImage& loaded, std::string& error,
               const HostImage* pixels, const RowMark* ready) {
    ImageFileInfo& info = *static_cast<ImageFileInfo*>(loaded.keep.get());
    info.saveAs = saveAs;
    return writeImageFile(path, pixels ? *pixels : loaded.image, info, error, ready);
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
