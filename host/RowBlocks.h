// The host's own copies of large tiles shared among threads: rows cut into
// one contiguous block per thread, the caller's thread taking the first.
// The work must not call the plug-in or the host's services.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// Calls work(begin, end) over [0, rows) in up to threads blocks; one block on
// the caller when bytes (what the rows copy) is small or threads is 1, or
// when no thread can be started.
void forRowBlocks(int threads, int32_t rows, size_t bytes, const std::function<void(int32_t, int32_t)>& work);

// The thread count of the host's copies: CRISPCALM_THREADS when it is a
// whole number from 1 to 64 (the command line's --threads sets it), else the
// machine's cores.
int hostCopyThreads();
