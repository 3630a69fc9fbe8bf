#include "host/RowBlocks.h"

#include <cstdlib>
#include <thread>

#include "threads/BandRun.h"

namespace {

// Below this many bytes a copy is over before another thread joins in.
constexpr size_t kMinThreadedBytes = size_t(1) << 20;
// Blocks per thread: small enough that a thread that joins late or is
// interrupted leaves little for the others to wait on.
constexpr int32_t kBlocksPerThread = 4;

}  // namespace

void forRowBlocks(int threads, int32_t rows, size_t bytes, WorkerPool& pool,
                  const std::function<void(int32_t, int32_t)>& work) {
    if (rows <= 0) return;
    if (threads <= 1 || bytes < kMinThreadedBytes) {
        work(0, rows);
        return;
    }
    const int64_t blocks = int64_t(threads) * kBlocksPerThread;
    const size_t block = size_t((rows + blocks - 1) / blocks);
    forEachPiece(
        threads, size_t(rows), block, [&](size_t begin, size_t end) { work(int32_t(begin), int32_t(end)); }, &pool);
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
