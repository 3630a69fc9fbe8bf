// Exif and IPTC metadata carried from an input file to an output, through
// exiv2: the Exif and GPS directories, maker notes, the camera and date tags
// of the first directory, and the IPTC record. libvips's TIFF writer writes
// no Exif at all, and its other writers pass Exif through a library that
// drops maker notes it does not know and adds empty tags; the input's own
// are put back into the written file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What an input file carries, opaque to callers; null when the file has no
// Exif or IPTC data, or exiv2 does not read its format. bytes, when given,
// hold the whole file (standard input); else path is read.
std::shared_ptr<const void> readFileMetadata(const std::string& path, const std::vector<uint8_t>* bytes);

// A Photoshop image resource block without its IPTC resource, which a TIFF
// file keeps in a tag of its own; the block as it is when exiv2 cannot parse
// it.
std::vector<uint8_t> withoutIptcResource(const std::vector<uint8_t>& resources);

// True for the output formats (libvips saver nicknames) whose metadata exiv2
// puts back: TIFF and JPEG.
bool carriesMetadata(const std::string& saver);

// Puts carried into the file at path (one of carriesMetadata's formats) in
// place: its Exif, GPS and interoperability directories and maker notes
// become the input's, the first directory's camera and date tags are the
// input's, the Exif pixel dimensions (when the input had them) the written
// image's size, and the IPTC record the input's. The rest of the
// file (pixels, storage, ICC profile, XMP packet as written, thumbnail) is
// kept. False with a reason when exiv2 cannot update it.
bool writeCarriedMetadata(const std::string& path, const std::shared_ptr<const void>& carried, std::string& reason);
