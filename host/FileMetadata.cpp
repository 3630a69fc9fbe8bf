#include "host/FileMetadata.h"

#include <exiv2/exiv2.hpp>
#include <iterator>
#include <mutex>

namespace {

struct Carried {
    Exiv2::ExifData exif;
    Exiv2::IptcData iptc;
};

// exiv2 reports problems through exceptions and a log; the log would repeat
// on stderr what the command line says in its own words.
void startExiv2() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
    });
}

// Tags of the first directory that describe the picture rather than how its
// pixels are stored; the storage tags are the output's own.
bool carriedFirstDirectoryTag(const std::string& name) {
    for (const char* kept : {"Make", "Model", "DateTime", "ImageDescription", "Artist", "Copyright", "Software",
                             "DateTimeOriginal", "HostComputer", "ExifTag", "GPSTag"}) {
        if (name == kept) return true;
    }
    return false;
}

// Everything but the thumbnail and the first directory's storage tags: the
// Exif, GPS and interoperability directories and maker notes go whole.
bool carriedTag(const Exiv2::Exifdatum& datum) {
    const std::string group = datum.groupName();
    if (group == "Thumbnail" || group == "SubImage1" || group.rfind("SubThumb", 0) == 0) return false;
    if (group == "Image") return carriedFirstDirectoryTag(datum.tagName());
    return group.rfind("SubImage", 0) != 0 && group.rfind("Image", 0) != 0;
}

}  // namespace

std::shared_ptr<const void> readFileMetadata(const std::string& path, const std::vector<uint8_t>* bytes) {
    startExiv2();
    try {
        Exiv2::Image::AutoPtr image =
            bytes ? Exiv2::ImageFactory::open(bytes->data(), long(bytes->size())) : Exiv2::ImageFactory::open(path);
        if (image.get() == nullptr) return nullptr;
        image->readMetadata();
        auto carried = std::make_shared<Carried>();
        for (const Exiv2::Exifdatum& datum : image->exifData())
            if (carriedTag(datum)) carried->exif.add(datum);
        carried->iptc = image->iptcData();
        if (carried->exif.empty() && carried->iptc.empty()) return nullptr;
        return carried;
    } catch (const std::exception&) {
        return nullptr;  // a format exiv2 does not know, or damaged metadata: libvips's copy stands
    }
}

std::vector<uint8_t> withoutIptcResource(const std::vector<uint8_t>& resources) {
    startExiv2();
    try {
        const Exiv2::DataBuf kept =
            Exiv2::Photoshop::setIptcIrb(resources.data(), long(resources.size()), Exiv2::IptcData());
        return std::vector<uint8_t>(kept.pData_, kept.pData_ + kept.size_);
    } catch (const std::exception&) {
        return resources;
    }
}

bool carriesMetadata(const std::string& saver) {
    // PNG and WebP are left to libvips: exiv2 0.27 adds a second Exif block
    // to a PNG file beside libvips's, and does not replace a WebP file's.
    for (const char* known : {"tiffsave", "jpegsave"})
        if (saver.rfind(known, 0) == 0) return true;
    return false;
}

bool writeCarriedMetadata(const std::string& path, const std::shared_ptr<const void>& carried, std::string& reason) {
    if (!carried) return true;
    startExiv2();
    const Carried& from = *static_cast<const Carried*>(carried.get());
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
        if (image.get() == nullptr) {
            reason = "exiv2 cannot open the written file";
            return false;
        }
        image->readMetadata();
        // The XMP packet stays as libvips wrote it (exiv2 would otherwise
        // serialise it anew, with its own toolkit name).
        image->writeXmpFromPacket(true);
        Exiv2::ExifData& exif = image->exifData();
        for (Exiv2::ExifData::iterator i = exif.begin(); i != exif.end();) {
            const bool replaced = carriedTag(*i) && (i->groupName() != "Image" ||
                                                     from.exif.findKey(Exiv2::ExifKey(i->key())) != from.exif.end());
            i = replaced ? exif.erase(i) : std::next(i);
        }
        for (const Exiv2::Exifdatum& datum : from.exif) exif.add(datum);
        for (const char* dimension : {"Exif.Photo.PixelXDimension", "Exif.Photo.PixelYDimension"}) {
            Exiv2::ExifData::iterator at = exif.findKey(Exiv2::ExifKey(dimension));
            if (at != exif.end())
                *at = uint32_t(std::string(dimension).find("PixelX") != std::string::npos ? image->pixelWidth()
                                                                                          : image->pixelHeight());
        }
        if (!from.iptc.empty()) image->setIptcData(from.iptc);
        image->writeMetadata();
        return true;
    } catch (const std::exception& e) {
        reason = std::string("its Exif or IPTC data could not be added: ") + e.what();
        return false;
    }
}
