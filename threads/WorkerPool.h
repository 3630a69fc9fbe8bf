// Worker threads of one run: started when a task first needs one, kept for
// the run's later operations, and joined when the pool goes with its run, so
// that no thread outlives the run (or the library a host may unload after).
// Tasks never call the host; only the run's own thread does.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class WorkerPool {
public:
    WorkerPool() = default;
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    ~WorkerPool();

    // Runs task on a worker, starting one when none is idle and fewer than
    // maxThreads exist (else it waits for a worker). False (task not taken)
    // when there is no worker and none can be started: the caller then does
    // the work.
    bool post(std::function<void()> task, size_t maxThreads);
    size_t threadCount() const;

private:
    void workLoop();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    std::vector<std::thread> threads_;
    size_t idle_ = 0;
    bool stopping_ = false;
};
