// Exif and IPTC metadata carried from an input file to a TIFF output, which
// libvips's TIFF writer does not fill: the Exif and GPS directories, maker
// notes, the camera and date tags of the first directory, and the IPTC
// record. Read and written through exiv2.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What an input file carries, opaque to callers; null when the file has no
// Exif or IPTC data, or exiv2 does not read its format. bytes, when given,
// hold the whole file (standard input); else path is read.
std::shared_ptr<const void> readFileMetadata(const std::string& path, const std::vector<uint8_t>* bytes);

// Adds carried to the TIFF file at tiffPath in place, keeping what the file
// already holds (its pixels, structure, ICC profile and XMP). False with a
// reason when exiv2 cannot update it.
bool writeTiffMetadata(const std::string& tiffPath, const std::shared_ptr<const void>& carried, std::string& reason);
