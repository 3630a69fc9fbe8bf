#include "dialog/DataFile.h"

bool fileModeFromCode(int code, FileMode& mode) {
    switch (code) {
        case 1:
            mode = FileMode::Read;
            return true;
        case 2:
            mode = FileMode::Write;
            return true;
        case 3:
            mode = FileMode::ReadWrite;
            return true;
        default:
            return false;
    }
}

bool DataFile::setPath(const std::string& path) {
    if (stream_) return false;
    if (path.size() > kMaxPathLength) {
        path_.clear();
        return false;
    }
    path_ = path;
    return true;
}

bool DataFile::open(FileMode mode) {
    if (stream_ || path_.empty()) return false;
    const char* how = mode == FileMode::Read ? "rb" : mode == FileMode::Write ? "wb" : "r+b";
    stream_ = std::fopen(path_.c_str(), how);
    return stream_ != nullptr;
}

bool DataFile::read(void* buffer, size_t n) { return stream_ && std::fread(buffer, 1, n, stream_) == n; }

bool DataFile::write(const void* buffer, size_t n) { return stream_ && std::fwrite(buffer, 1, n, stream_) == n; }

namespace {

int64_t lengthOf(std::FILE* f) {
    const long at = std::ftell(f);
    if (at < 0 || std::fseek(f, 0, SEEK_END) != 0) return -1;
    const long end = std::ftell(f);
    std::fseek(f, at, SEEK_SET);
    return end;
}

}  // namespace

int64_t DataFile::size() {
    if (stream_) return lengthOf(stream_);
    if (path_.empty()) return -1;
    std::FILE* f = std::fopen(path_.c_str(), "rb");
    if (!f) return -1;
    const int64_t n = lengthOf(f);
    std::fclose(f);
    return n;
}

void DataFile::close() {
    if (stream_) std::fclose(stream_);
    stream_ = nullptr;
}
