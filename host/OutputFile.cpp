#include "host/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#define CC_OPEN_FLAGS (O_WRONLY | O_BINARY)
#define CC_NO_INHERIT O_NOINHERIT
#define CC_TRUNCATE(fd) _chsize_s(fd, 0)
#define getpid _getpid
#else
#include <unistd.h>
#define CC_OPEN_FLAGS O_WRONLY
#define CC_NO_INHERIT O_CLOEXEC
#define CC_TRUNCATE(fd) ::ftruncate(fd, 0)
#endif

volatile std::sig_atomic_t gStopSignal = 0;

namespace {

namespace fs = std::filesystem;

std::string reasonOf(int code) { return std::strerror(code); }

// Follows a chain of symbolic links to the path it ends at (which need not
// exist yet); false after 40 links, as the system would.
bool followLinks(fs::path path, fs::path& end, std::error_code& ec) {
    for (int hops = 0; hops < 40; ++hops) {
        fs::file_status status = fs::symlink_status(path, ec);
        if (ec && ec != std::errc::no_such_file_or_directory) return false;
        ec.clear();
        if (!fs::is_symlink(status)) {
            end = path;
            return true;
        }
        fs::path next = fs::read_symlink(path, ec);
        if (ec) return false;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    ec = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return false;
}

}  // namespace

bool resolveOutput(const std::string& path, OutputTarget& target, std::string& error) {
    target = OutputTarget();
    target.path = path;
    if (path == "-") {
        target.direct = target.toStdout = true;
        return true;
    }
    if (path.empty()) {
        error = "no output file name given";
        return false;
    }
    std::error_code ec;
    fs::path end;
    if (!followLinks(fs::path(path), end, ec)) {
        error = path + ": the link cannot be followed (" + ec.message() + ")";
        return false;
    }
    target.finalPath = end.string();
    fs::file_status status = fs::status(end, ec);
    if (!ec && fs::exists(status)) {
        target.exists = true;
        if (fs::is_directory(status)) {
            error = path + ": is a folder; give a file name, or use --out-dir for a folder";
            return false;
        }
        target.direct = !fs::is_regular_file(status);
        return true;
    }
    fs::path folder = end.parent_path();
    if (folder.empty()) folder = ".";
    if (!fs::is_directory(folder, ec)) {
        error = path + ": the folder " + folder.string() + " does not exist";
        return false;
    }
    return true;
}

bool sameFile(const std::string& a, const std::string& b) {
    if (a == "-" || b == "-") return false;
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec) && !ec;
    fs::path pa = fs::weakly_canonical(fs::absolute(a, ec), ec), pb = fs::weakly_canonical(fs::absolute(b, ec), ec);
    return pa == pb;
}

bool PendingOutput::begin(std::string& writeTo, std::string& error) {
    if (target_.direct) {
        writeTo = target_.path;
        return true;
    }
    const fs::path final(target_.finalPath);
    fs::path folder = final.parent_path();
    if (folder.empty()) folder = ".";
    // A hidden name in the target's folder (so that the rename stays on one
    // file system), created exclusively so that no one else has it. It ends
    // in the target's extension: some savers go by the name they write to.
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = (folder / ("." + final.stem().string() + "." + std::to_string(getpid()) + "-" +
                                            std::to_string(counter++) + ".part" + final.extension().string()))
                                     .string();
        const int fd = ::open(name.c_str(), CC_OPEN_FLAGS | O_CREAT | O_EXCL, 0600);
        if (fd >= 0) {
            ::close(fd);
            temporary_ = name;
            writeTo = name;
            raiseTestSignal("write");
            return true;
        }
        if (errno != EEXIST) break;
    }
    error = target_.path + ": cannot create a file in its folder (" + reasonOf(errno) + ")";
    return false;
}

bool PendingOutput::commit(std::string& error) {
    if (target_.direct) {
        committed_ = true;
        return true;
    }
    if (gStopSignal) {
        abandon();
        error = target_.path + ": stopped before it was complete";
        return false;
    }
#if !defined(_WIN32)
    // The permissions of the file replaced, or a new file's under the umask.
    struct stat existing;
    mode_t mode;
    if (::stat(target_.finalPath.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::chmod(temporary_.c_str(), mode);
#endif
    std::error_code ec;
    fs::rename(temporary_, target_.finalPath, ec);
    if (ec) {
        abandon();
        error = target_.path + ": cannot be replaced (" + ec.message() + ")";
        return false;
    }
    temporary_.clear();
    committed_ = true;
    raiseTestSignal("renamed");
    return true;
}

void PendingOutput::abandon() {
    if (temporary_.empty()) return;
    std::error_code ec;
    fs::remove(temporary_, ec);
    temporary_.clear();
}

int openForWriting(const std::string& file, bool readBack) {
    const int flags = readBack ? (CC_OPEN_FLAGS & ~O_WRONLY) | O_RDWR : CC_OPEN_FLAGS;
    int fd;
    do {
        fd = ::open(file.c_str(), flags | O_CREAT | CC_NO_INHERIT, 0666);
    } while (fd < 0 && errno == EINTR && !gStopSignal);
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && CC_TRUNCATE(fd) != 0) {
        const int code = errno;
        ::close(fd);
        errno = code;
        return -1;
    }
    return fd;
}

void WritebackPacer::reached(uint64_t bytes) {
#if defined(__linux__)
    uint64_t next = next_.load(std::memory_order_relaxed);
    while (bytes >= next) {
        if (next_.compare_exchange_weak(next, bytes - bytes % step_ + step_)) {
            // Pages already on their way are skipped; the call waits only
            // when the disk's queue is full.
            ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
            return;
        }
    }
#else
    (void)bytes;
#endif
}

bool writeBytesTo(const std::string& file, const std::vector<uint8_t>& bytes, std::string& error) {
    const bool toStdout = file == "-";
    int fd = 1;
    if (toStdout) {
#if defined(_WIN32)
        _setmode(1, O_BINARY);
#endif
    } else {
        fd = openForWriting(file, false);
        if (fd < 0) {
            error = file + ": cannot be opened for writing (" + reasonOf(errno) + ")";
            return false;
        }
    }
    const std::string name = toStdout ? std::string("standard output") : file;
    WritebackPacer writeback(fd);
    size_t done = 0;
    bool ok = true;
    while (done < bytes.size()) {
        if (gStopSignal) {
            error = name + ": stopped before it was complete";
            ok = false;
            break;
        }
        const size_t chunk = std::min<size_t>(bytes.size() - done, size_t(1) << 20);
        const auto n = ::write(fd, bytes.data() + done, unsigned(chunk));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = name + ": write error (" + reasonOf(errno) + ")";
            ok = false;
            break;
        }
        done += size_t(n);
        if (!toStdout) writeback.reached(done);
    }
    if (!toStdout && ::close(fd) != 0 && ok) {
        error = name + ": write error (" + reasonOf(errno) + ")";
        ok = false;
    }
    return ok;
}

bool writeOutputBytes(const OutputTarget& target, const std::vector<uint8_t>& bytes, std::string& error) {
    PendingOutput pending(target);
    std::string file;
    if (!pending.begin(file, error)) return false;
    if (!writeBytesTo(file, bytes, error)) {
        if (!target.direct) error = target.path + ": " + error.substr(error.find(": ") + 2);
        return false;
    }
    return pending.commit(error);
}

void raiseTestSignal(const char* phase) {
    const char* hook = std::getenv("CRISPCALM_TEST_SIGNAL");
    if (!hook) return;
    const char* colon = std::strchr(hook, ':');
    if (!colon || std::strncmp(hook, phase, size_t(colon - hook)) != 0 || std::strlen(phase) != size_t(colon - hook))
        return;
    std::raise(std::atoi(colon + 1));
}
