#include "threads/WorkerPool.h"

#include <utility>

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

bool WorkerPool::post(std::function<void()> task, size_t maxThreads) {
    std::unique_lock<std::mutex> lock(mutex_);
    // Tasks already waiting keep idle workers busy; start one more if none is
    // free. At maxThreads the task waits: a worker that has just finished an
    // earlier task (and not yet counted itself idle) takes it, so the pool
    // never grows beyond what one run asks for at once.
    if (idle_ <= tasks_.size() && threads_.size() < maxThreads) {
        try {
            threads_.emplace_back([this] { workLoop(); });
        } catch (...) {
            if (threads_.empty()) return false;
        }
    } else if (threads_.empty()) {
        return false;
    }
    tasks_.push_back(std::move(task));
    lock.unlock();
    wake_.notify_one();
    return true;
}

size_t WorkerPool::threadCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return threads_.size();
}

void WorkerPool::workLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        ++idle_;
        wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
        --idle_;
        if (tasks_.empty()) return;  // stopping with nothing left
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
        lock.lock();
    }
}
