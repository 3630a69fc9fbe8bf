#include "host/RowBlocks.h"

#include <cstdlib>
#include <thread>
#include <vector>

namespace {

// Below this many bytes a copy is over before a thread starts.
constexpr size_t kMinThreadedBytes = size_t(1) << 20;

}  // namespace

void forRowBlocks(int threads, int32_t rows, size_t bytes, const std::function<void(int32_t, int32_t)>& work) {
    if (rows <= 0) return;
    if (threads > rows) threads = rows;
    if (threads <= 1 || bytes < kMinThreadedBytes) {
        work(0, rows);
        return;
    }
    const int32_t block = (rows + threads - 1) / threads;
    std::vector<std::thread> others;
    int32_t begin = block;
    for (; begin < rows; begin += block) {
        const int32_t end = begin + block < rows ? begin + block : rows;
        try {
            others.emplace_back(work, begin, end);
        } catch (...) {
            break;  // the caller does the rest
        }
    }
    work(0, block);
    for (std::thread& t : others) t.join();
    for (; begin < rows; begin += block) work(begin, begin + block < rows ? begin + block : rows);
}

int hostCopyThreads() {
    const char* setting = std::getenv("CRISPCALM_THREADS");
    if (setting && *setting) {
        char* end = nullptr;
        const long n = std::strtol(setting, &end, 10);
        if (*end == '\0' && n >= 1 && n <= 64) return int(n);
    }
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores > 64 ? 64 : int(cores);
}
