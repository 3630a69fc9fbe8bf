#include "host/FileMetadata.h"

#include <exiv2/exiv2.hpp>
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

bool writeTiffMetadata(const std::string& tiffPath, const std::shared_ptr<const void>& carried, std::string& reason) {
    if (!carried) return true;
    startExiv2();
    const Carried& from = *static_cast<const Carried*>(carried.get());
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(tiffPath);
        if (image.get() == nullptr) {
            reason = "exiv2 cannot open the written file";
            return false;
        }
        image->readMetadata();
        Exiv2::ExifData& exif = image->exifData();
        for (const Exiv2::Exifdatum& datum : from.exif) {
            Exiv2::ExifData::iterator old = exif.findKey(Exiv2::ExifKey(datum.key()));
            if (old != exif.end()) exif.erase(old);
            exif.add(datum);
        }
        if (!from.iptc.empty()) image->setIptcData(from.iptc);
        image->writeMetadata();
        return true;
    } catch (const std::exception& e) {
        reason = std::string("its Exif or IPTC data could not be added: ") + e.what();
        return false;
    }
}
