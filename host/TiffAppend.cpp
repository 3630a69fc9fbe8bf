#include "host/TiffAppend.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace {

// libtiff reports through process-wide handlers; the last error is kept for
// the message instead of being printed.
thread_local std::string gTiffError;

void keepTiffError(const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    gTiffError = std::string(module ? module : "libtiff") + ": " + text;
}

struct TiffFile {
    TIFF* tiff = nullptr;
    ~TiffFile() {
        if (tiff) TIFFClose(tiff);
    }
};

// Copies the tags libvips writes, by the shape libtiff gives each value.
bool copyTags(TIFF* in, TIFF* out) {
    bool ok = true;
    // Compression first: the codec it selects owns the predictor and JPEG tags.
    for (ttag_t tag : {TIFFTAG_COMPRESSION, TIFFTAG_BITSPERSAMPLE, TIFFTAG_SAMPLESPERPIXEL, TIFFTAG_PHOTOMETRIC,
                       TIFFTAG_PLANARCONFIG, TIFFTAG_ORIENTATION, TIFFTAG_RESOLUTIONUNIT, TIFFTAG_PREDICTOR,
                       TIFFTAG_SAMPLEFORMAT, TIFFTAG_INKSET, TIFFTAG_FILLORDER}) {
        uint16_t v = 0;
        if (TIFFGetField(in, tag, &v)) ok &= TIFFSetField(out, tag, v) == 1;
    }
    for (ttag_t tag :
         {TIFFTAG_IMAGEWIDTH, TIFFTAG_IMAGELENGTH, TIFFTAG_ROWSPERSTRIP, TIFFTAG_TILEWIDTH, TIFFTAG_TILELENGTH}) {
        uint32_t v = 0;
        if (TIFFGetField(in, tag, &v)) ok &= TIFFSetField(out, tag, v) == 1;
    }
    for (ttag_t tag : {TIFFTAG_XRESOLUTION, TIFFTAG_YRESOLUTION}) {
        float v = 0;
        if (TIFFGetField(in, tag, &v)) ok &= TIFFSetField(out, tag, v) == 1;
    }
    for (ttag_t tag : {TIFFTAG_ICCPROFILE, TIFFTAG_XMLPACKET, TIFFTAG_PHOTOSHOP, TIFFTAG_JPEGTABLES}) {
        uint32_t count = 0;
        void* data = nullptr;
        if (TIFFGetField(in, tag, &count, &data) && data) ok &= TIFFSetField(out, tag, count, data) == 1;
    }
    uint16_t count = 0, a = 0, b = 0;
    uint16_t* extra = nullptr;
    if (TIFFGetField(in, TIFFTAG_EXTRASAMPLES, &count, &extra) && extra)
        ok &= TIFFSetField(out, TIFFTAG_EXTRASAMPLES, count, extra) == 1;
    if (TIFFGetField(in, TIFFTAG_YCBCRSUBSAMPLING, &a, &b))
        ok &= TIFFSetField(out, TIFFTAG_YCBCRSUBSAMPLING, a, b) == 1;
    float* reference = nullptr;
    if (TIFFGetField(in, TIFFTAG_REFERENCEBLACKWHITE, &reference) && reference)
        ok &= TIFFSetField(out, TIFFTAG_REFERENCEBLACKWHITE, reference) == 1;
    return ok;
}

// The compressed strips or tiles, byte for byte.
bool copyChunks(TIFF* in, TIFF* out) {
    const bool tiled = TIFFIsTiled(in) != 0;
    const uint32_t chunks = tiled ? TIFFNumberOfTiles(in) : TIFFNumberOfStrips(in);
    uint64_t* sizes = nullptr;
    if (!TIFFGetField(in, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &sizes) || !sizes) return false;
    std::vector<uint8_t> buffer;
    for (uint32_t i = 0; i < chunks; ++i) {
        buffer.resize(size_t(sizes[i]));
        const tmsize_t size = tmsize_t(buffer.size());
        const tmsize_t got =
            tiled ? TIFFReadRawTile(in, i, buffer.data(), size) : TIFFReadRawStrip(in, i, buffer.data(), size);
        if (got != size) return false;
        const tmsize_t put =
            tiled ? TIFFWriteRawTile(out, i, buffer.data(), size) : TIFFWriteRawStrip(out, i, buffer.data(), size);
        if (put != size) return false;
    }
    return true;
}

}  // namespace

bool appendTiffPage(const std::string& to, const std::string& pageFile, uint32_t subfileType,
                    const std::vector<uint8_t>& iptc, std::string& reason) {
    gTiffError.clear();
    const TIFFErrorHandler oldError = TIFFSetErrorHandler(keepTiffError);
    const TIFFErrorHandler oldWarning = TIFFSetWarningHandler(nullptr);
    bool ok = false;
    {
        TiffFile in, out;
        in.tiff = TIFFOpen(pageFile.c_str(), "r");
        out.tiff = in.tiff ? TIFFOpen(to.c_str(), "a") : nullptr;
        ok = out.tiff && copyTags(in.tiff, out.tiff) && TIFFSetField(out.tiff, TIFFTAG_SUBFILETYPE, subfileType) == 1 &&
             (iptc.empty() || TIFFSetField(out.tiff, TIFFTAG_RICHTIFFIPTC, uint32_t(iptc.size()), iptc.data()) == 1) &&
             copyChunks(in.tiff, out.tiff) && TIFFWriteDirectory(out.tiff) == 1;
    }
    TIFFSetErrorHandler(oldError);
    TIFFSetWarningHandler(oldWarning);
    if (!ok) reason = "a page could not be added" + (gTiffError.empty() ? std::string() : " (" + gTiffError + ")");
    return ok;
}
