#include "host/TiffDirectories.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

namespace {

// Reads an unsigned integer of the given size at at, in the file's byte order.
uint64_t readUnsigned(const uint8_t* at, int size, bool bigEndian) {
    uint64_t value = 0;
    for (int i = 0; i < size; ++i) value = (value << 8) | at[bigEndian ? i : size - 1 - i];
    return value;
}

// size bytes from offset of the file, or false when they are not all there.
bool readAt(std::ifstream& in, uint64_t offset, size_t size, std::vector<uint8_t>& bytes) {
    bytes.resize(size);
    in.clear();
    in.seekg(std::streamoff(offset));
    if (!in) return false;
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size));
    return size_t(in.gcount()) == size;
}

// The sizes of one directory's parts, classic TIFF or BigTIFF.
struct Shape {
    size_t countSize, entrySize, valueAt, offsetSize;
    int countBytes;
};

// Reads the directory at offset into found and the next directory's offset
// into next. False with why when it lies outside the file or a tag the pages
// depend on is malformed.
bool readDirectory(std::ifstream& in, uint64_t size, uint64_t offset, const Shape& s, bool bigEndian,
                   TiffDirectory& found, uint64_t& next, const char*& why) {
    std::vector<uint8_t> bytes;
    if (offset < 8 || offset > size || size - offset < s.countSize || !readAt(in, offset, s.countSize, bytes)) {
        why = "it lies outside the file";
        return false;
    }
    const uint64_t entries = readUnsigned(bytes.data(), int(s.countSize), bigEndian);
    if (entries > 65535 || entries > (size - offset - s.countSize) / s.entrySize) {
        why = "it runs past the end of the file";
        return false;
    }
    const size_t tail = size - offset - s.countSize - entries * s.entrySize >= s.offsetSize ? s.offsetSize : 0;
    if (!readAt(in, offset + s.countSize, size_t(entries) * s.entrySize + tail, bytes)) {
        why = "it cannot be read";
        return false;
    }
    next = tail ? readUnsigned(&bytes[size_t(entries) * s.entrySize], int(s.offsetSize), bigEndian) : 0;
    for (size_t i = 0; i < size_t(entries); ++i) {
        const uint8_t* entry = &bytes[i * s.entrySize];
        const uint64_t tag = readUnsigned(entry, 2, bigEndian);
        if (tag != 254 && tag != 256 && tag != 257 && tag != 259 && tag != 317) continue;
        const uint64_t type = readUnsigned(entry + 2, 2, bigEndian);
        const uint64_t count = readUnsigned(entry + 4, s.countBytes, bigEndian);
        // One BYTE, SHORT or LONG, stored at the start of the value field.
        const int valueSize = type == 1 ? 1 : type == 3 ? 2 : type == 4 ? 4 : 0;
        if (valueSize == 0 || count != 1) {
            why = tag == 259   ? "the compression tag is not a single number"
                  : tag == 317 ? "the predictor tag is not a single number"
                               : "a page's size or type is not a single number";
            return false;
        }
        const uint64_t value = readUnsigned(entry + s.valueAt, valueSize, bigEndian);
        if ((tag == 259 || tag == 317) && value > 65535) {
            why = tag == 259 ? "the compression tag is out of range" : "the predictor tag is out of range";
            return false;
        }
        if (tag == 254) found.subfileType = uint32_t(value);
        if (tag == 256) found.width = uint32_t(value);
        if (tag == 257) found.height = uint32_t(value);
        if (tag == 259) found.compression = uint16_t(value);
        if (tag == 317) found.predictor = uint16_t(value);
    }
    return true;
}

}  // namespace

bool readTiffLayout(const std::string& path, TiffLayout& layout, std::string& error) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in) {
        error = path + ": cannot be opened (" + std::strerror(errno) + ")";
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    const uint64_t size = end < 0 ? 0 : uint64_t(end);
    auto damaged = [&](const std::string& why) {
        error = path + ": damaged TIFF file (" + why + ")";
        return false;
    };

    // Header: byte order, 42 (classic) or 43 (BigTIFF), the first directory's offset.
    std::vector<uint8_t> bytes;
    if (!readAt(in, 0, size >= 16 ? 16 : size_t(size), bytes) || bytes.size() < 8)
        return damaged("shorter than a TIFF header");
    const bool bigEndian = bytes[0] == 'M';
    if (!(bytes[0] == 'I' && bytes[1] == 'I') && !(bytes[0] == 'M' && bytes[1] == 'M'))
        return damaged("no byte order mark");
    TiffLayout found;
    uint64_t offset = 0;
    const uint64_t version = readUnsigned(&bytes[2], 2, bigEndian);
    if (version == 42) {
        offset = readUnsigned(&bytes[4], 4, bigEndian);
    } else if (version == 43) {
        found.bigTiff = true;
        if (bytes.size() < 16) return damaged("shorter than a BigTIFF header");
        if (readUnsigned(&bytes[4], 2, bigEndian) != 8 || readUnsigned(&bytes[6], 2, bigEndian) != 0)
            return damaged("BigTIFF offsets are not 8 bytes");
        offset = readUnsigned(&bytes[8], 8, bigEndian);
    } else {
        return damaged("unknown TIFF version");
    }
    const Shape shape = found.bigTiff ? Shape{8, 20, 12, 8, 8} : Shape{2, 12, 8, 4, 4};

    // The chain: each directory ends with the next one's offset, 0 at the end.
    std::set<uint64_t> seen;
    while (offset != 0 || found.directories.empty()) {
        const std::string which = found.directories.empty()
                                      ? "the first directory"
                                      : "directory " + std::to_string(found.directories.size() + 1);
        TiffDirectory directory;
        const char* why = "";
        if (!seen.insert(offset).second) {
            found.unreadable = which + ": the directories run in a loop";
            break;
        }
        if (found.directories.size() == kMaxTiffDirectories) {
            found.unreadable = "more than " + std::to_string(kMaxTiffDirectories) + " directories";
            break;
        }
        if (!readDirectory(in, size, offset, shape, bigEndian, directory, offset, why)) {
            if (found.directories.empty()) return damaged(which + ": " + why);
            found.unreadable = which + ": " + why;
            break;
        }
        found.directories.push_back(directory);
    }
    layout = found;
    return true;
}
