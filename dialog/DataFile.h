// One file opened by path with exact-length reads and writes: the dialog's
// settings files and quick-curve files go through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Paths are narrow Windows paths of at most this many characters.
constexpr size_t kMaxPathLength = 1023;

enum class FileMode { Read, Write, ReadWrite };  // "rb", "wb" (create or truncate), "r+b"

class DataFile {
public:
    DataFile() = default;
    ~DataFile() { close(); }
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;

    // Replaces the path while no stream is open. A path longer than
    // kMaxPathLength is refused and leaves the path empty, so that no
    // shortened name is ever opened.
    bool setPath(const std::string& path);
    void clearPath() { path_.clear(); }
    const std::string& path() const { return path_; }

    // Fails when a stream is open already or the path is empty.
    bool open(FileMode mode);
    bool isOpen() const { return stream_ != nullptr; }
    // True only when exactly n bytes went through.
    bool read(void* buffer, size_t n);
    bool write(const void* buffer, size_t n);
    // Length in bytes, -1 when the file cannot be opened. An open stream keeps
    // its position; without one the file is opened for the measurement only.
    int64_t size();
    void close();

private:
    std::string path_;
    std::FILE* stream_ = nullptr;
};

// Codes of the stored mode numbers 1, 2, 3; false for any other number.
bool fileModeFromCode(int code, FileMode& mode);
