// How far down an image something shared between threads has got: the rows a
// reader has decoded, or the rows a run will not change again and a writer
// may take. Rows [0, rows()) are ready; the mark only moves down, and a
// failure wakes every waiter.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

class RowMark {
public:
    // Rows [0, rows) are ready (a smaller count than before changes nothing).
    void reach(int32_t rows);
    // No more rows will come: every wait, now and later, returns false.
    void fail();
    // Blocks until rows [0, rows) are ready (true) or the mark failed (false).
    bool wait(int32_t rows) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    static constexpr int32_t kNoneAwaited = INT32_MAX;
    int32_t rows_ = 0;
    mutable int32_t lowestAwaited_ = kNoneAwaited;  // the fewest rows a waiter waits for
    bool failed_ = false;
};
