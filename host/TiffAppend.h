// Appends the first page of one TIFF file to another as a further page,
// through libtiff, copying the compressed strips or tiles as they are.
#pragma once

#include <cstdint>
#include <string>

// Adds the first directory of pageFile (as libvips writes them: pixels,
// storage, resolution, ICC profile, XMP, IPTC and the image resource block)
// as the last page of the TIFF file at to, with NewSubfileType subfileType.
// The pages already in to are not touched. False with a reason.
bool appendTiffPage(const std::string& to, const std::string& pageFile, uint32_t subfileType, std::string& reason);
