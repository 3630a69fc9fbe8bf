// Where a command-line result goes and how it gets there safely. A regular
// file (new or existing, or the file a symbolic link leads to) is written
// under a temporary name in its folder and renamed into place only once
// complete; a device, FIFO or standard output ("-") is written directly.
#pragma once

#include <atomic>
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

// The signal that asked the command line to stop (SIGINT, SIGTERM, SIGHUP),
// 0 while none has. Set by the signal handlers; writers poll it and give up.
extern volatile std::sig_atomic_t gStopSignal;

struct OutputTarget {
    std::string path;       // as the user gave it ("-" = standard output)
    std::string finalPath;  // the file that ends up holding the result: path or a link's target
    bool direct = false;    // written straight into path: device, FIFO, standard output
    bool toStdout = false;
    bool exists = false;  // finalPath exists already
};

// Works out how path is to be written. False with a message for a folder, a
// folder that does not exist, or a link that cannot be followed.
bool resolveOutput(const std::string& path, OutputTarget& target, std::string& error);

// True when a and b name the same existing file (through links too), or the
// same path once made absolute.
bool sameFile(const std::string& a, const std::string& b);

// One result being written. For a regular target, begin() creates the
// temporary file beside it, commit() gives it the permissions of the file it
// replaces (or the umask's) and renames it onto the target, and anything not
// committed is removed by abandon() or the destructor.
class PendingOutput {
public:
    explicit PendingOutput(const OutputTarget& target) : target_(target) {}
    ~PendingOutput() { abandon(); }
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    // The file to write the bytes into: the temporary file, or the target
    // itself when it is direct. False with a message.
    bool begin(std::string& writeTo, std::string& error);
    // False with a message when a stop was asked for before the rename (the
    // temporary file is then removed) or the rename failed.
    bool commit(std::string& error);
    void abandon();
    bool committed() const { return committed_; }

private:
    OutputTarget target_;
    std::string temporary_;
    bool committed_ = false;
};

// Writes bytes to target the safe way above. False with a message naming the
// output; nothing is left behind then (a direct target may hold a part).
bool writeOutputBytes(const OutputTarget& target, const std::vector<uint8_t>& bytes, std::string& error);

// Opens file for writing from its start, creating it when missing (0666
// under the umask). A file holding bytes is cut to nothing; an empty one (a
// fresh temporary file) is not truncated, because ext4 takes a truncation as
// a file being replaced and then holds up its close until the whole file is
// on its way to disk. readBack: for reading too (libvips's TIFF writer reads
// back what it wrote). -1 with errno when it cannot be opened.
int openForWriting(const std::string& file, bool readBack);

// Starts the system writing to disk what has reached a file so far, at
// every step bytes of the file's progress, without waiting for the disk:
// a large output then leaves little to write out when it is closed or
// renamed over the file it replaces. reached() may be called from several
// threads. No effect on systems without such a call.
class WritebackPacer {
public:
    static constexpr uint64_t kStep = uint64_t(16) << 20;
    explicit WritebackPacer(int fd, uint64_t step = kStep) : fd_(fd), step_(step), next_(step) {}
    // bytes: how far the file has come (it may lag behind the writer).
    void reached(uint64_t bytes);

private:
    int fd_;
    uint64_t step_;
    std::atomic<uint64_t> next_;
};

// Writes bytes into an already chosen file or device, or standard output for
// "-", retrying after partial writes and giving up when a stop is asked for.
bool writeBytesTo(const std::string& file, const std::vector<uint8_t>& bytes, std::string& error);

// Test hook: when the environment variable CRISPCALM_TEST_SIGNAL is
// "PHASE:SIGNAL" and phase equals PHASE, raises SIGNAL in this process. The
// phases are "read", "filter", "write" and "renamed".
void raiseTestSignal(const char* phase);
