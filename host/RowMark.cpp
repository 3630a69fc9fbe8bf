#include "host/RowMark.h"

void RowMark::reach(int32_t rows) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (rows <= rows_) return;
        rows_ = rows;
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
    changed_.wait(lock, [&] { return failed_ || rows_ >= rows; });
    return !failed_;
}
