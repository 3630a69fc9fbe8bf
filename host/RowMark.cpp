#include "host/RowMark.h"

#include <algorithm>

// Waiters are woken only once the mark reaches the lowest row count one of
// them waits for: a reader moves the mark on after every few rows, and waking
// a waiter that still has to wait each time costs two context switches.
void RowMark::reach(int32_t rows) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (rows <= rows_) return;
        rows_ = rows;
        if (rows_ < lowestAwaited_) return;
        lowestAwaited_ = kNoneAwaited;  // every waiter still short says so again
    }
    changed_.notify_all();
}

void RowMark::fail() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failed_ = true;
    }
    changed_.notify_all();
}

bool RowMark::wait(int32_t rows) const {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!failed_ && rows_ < rows) {
        lowestAwaited_ = std::min(lowestAwaited_, rows);
        changed_.wait(lock);
    }
    return !failed_;
}
