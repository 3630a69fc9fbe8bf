// The host's own copies of large tiles shared among threads: rows handed out
// in blocks to the caller's thread and the pool's, which take the next block
// as they come free; a pool thread still busy elsewhere is not waited for.
// The work must not call the plug-in or the host's services.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "threads/WorkerPool.h"

// Calls work(begin, end) over [0, rows) in blocks on up to threads threads
// (the caller's included, the others from pool); all on the caller when bytes
// (what the rows copy) is small or threads is 1, or when no thread can be had.
void forRowBlocks(int threads, int32_t rows, size_t bytes, WorkerPool& pool,
                  const std::function<void(int32_t, int32_t)>& work);

// The thread count of the host's copies: CRISPCALM_THREADS when it is a
// whole number from 1 to 64 (the command line's --threads sets it), else the
// machine's cores.
int hostCopyThreads();
