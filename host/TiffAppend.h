// Appends the first page of one TIFF file to another as a further page,
// through libtiff, copying the compressed strips or tiles as they are.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Adds the first directory of pageFile (as libvips writes them: pixels,
// storage, resolution, ICC profile, XMP, IPTC and the image resource block)
// as the last page of the TIFF file at to, with NewSubfileType subfileType
// and the IPTC record iptc (bytes; none when empty): libvips writes that
// tag's length in 4-byte units where libtiff counts bytes, so its copy is
// cut short. The pages already in to are not touched. False with a reason.
bool appendTiffPage(const std::string& to, const std::string& pageFile, uint32_t subfileType,
                    const std::vector<uint8_t>& iptc, std::string& reason);
