#include "host/cli/HugePages.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// A 6000x4000 16-bit image and the libraries' working blocks take some
// 20,000 first touches of 4 KB pages, each a page fault that on a virtual
// machine costs tens of microseconds: a fifth of a Sharpen run's CPU time.
// The image's own block asks for huge pages itself, but libvips's buffers
// and the tiles' blocks come from glibc's allocator, which asks for them
// only under the glibc.malloc.hugetlb tunable, read once as a program starts.
// A restart costs some 30 ms of loading the libraries again, more than the
// page faults of a file under this size (encoded; decoded it is larger).
namespace {

constexpr std::uintmax_t kWorthRestarting = std::uintmax_t(1) << 20;

bool largeInputs(const std::vector<std::string>& inputs) {
    std::uintmax_t bytes = 0;
    for (const std::string& input : inputs) {
        if (input == "-") return true;
        std::error_code ec;
        const std::uintmax_t size = std::filesystem::file_size(input, ec);
        if (!ec) bytes += size;
    }
    return bytes >= kWorthRestarting;
}

}  // namespace

void restartWithHugePages(char** argv, const std::vector<std::string>& inputs) {
#if defined(__linux__) && defined(__GLIBC__)
    if (std::getenv("GLIBC_TUNABLES")) return;  // the caller's own, or restarted already
    if (!largeInputs(inputs)) return;
    std::ifstream policy("/sys/kernel/mm/transparent_hugepage/enabled");
    std::string modes;
    // "[always]": blocks get huge pages anyway; "[never]": they cannot.
    if (!std::getline(policy, modes) || modes.find("[madvise]") == std::string::npos) return;
    // The program's own path rather than /proc/self/exe, whose name the
    // process would then go by ("exe" in ps, top and pkill).
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return;
    self[length] = '\0';
    if (setenv("GLIBC_TUNABLES", "glibc.malloc.hugetlb=1", 1) != 0) return;
    execv(self, argv);
    unsetenv("GLIBC_TUNABLES");  // no restart: go on as started
#else
    (void)argv;
    (void)inputs;
#endif
}
