// Runs the bands of one piece of work (an image operation, a host's copy:
// groups of rows whose results do not depend on each other) on several
// threads. The calling thread works on bands too and is the only one that
// reports: every row any thread finishes is passed to report (which may call
// the host's progress and abort callbacks) after the caller's next row, or
// within milliseconds while the caller waits for the others; a report of
// false stops every thread at its next row.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "threads/WorkerPool.h"

class BandRun {
public:
    // threads: the caller's included (1 runs everything on the caller).
    // report(): one finished row; false stops the run. The others come from
    // pool, or are started for this run alone without one.
    BandRun(int threads, int32_t bands, std::function<bool()> report, WorkerPool* pool = nullptr);
    BandRun(const BandRun&) = delete;
    BandRun& operator=(const BandRun&) = delete;

    // Calls work(band, slot) once for every band, slot 0 on the calling
    // thread, 1.. on the others (fewer when threads cannot be started). True
    // when every band was done and every report said go on. Once per BandRun:
    // the run is closed when it returns.
    bool run(const std::function<bool(int32_t band, int slot)>& work);
    // From work, after each row; false when the run is stopping.
    bool rowDone(int slot);

private:
    void workLoop(const std::function<bool(int32_t, int)>& work, int slot);
    bool drainReports();

    int threads_;
    int32_t bands_;
    WorkerPool* pool_;
    std::function<bool()> report_;
    std::atomic<int32_t> nextBand_{0};
    std::atomic<uint32_t> rowsDone_{0};
    std::atomic<bool> stop_{false};
    uint32_t rowsReported_ = 0;  // caller only
    // Shared with the tasks handed to other threads, which may start only
    // after the run is over (their thread was busy elsewhere): such a task
    // finds the run closed and touches nothing else, so the caller never
    // waits for a thread that has not joined in.
    struct Sync {
        std::mutex mutex;
        std::condition_variable changed;
        int working = 0;  // other threads inside the run
        bool closed = false;
    };
    std::shared_ptr<Sync> sync_ = std::make_shared<Sync>();
};

// The rows of a region cut into bands for a number of threads: about equal
// bands of at most full rows, then, when there are several threads, a tail
// of halves, quarters ... of full down to least rows, threads bands of each
// size, so that the threads run out of work at about the same time. Where
// the region is too short for a tail of every size, the smallest sizes go.
struct BandCut {
    int32_t rows = 0;       // of all bands
    int32_t headRows = 0;   // in the bands of full rows or fewer
    int32_t headBands = 0;  // each headRows / headBands rows, rounded down or up
    int32_t full = 1;
    int32_t threads = 1;
    int32_t tailSizes = 0;  // full / 2, full / 4 ...

    int32_t count() const { return headBands + tailSizes * threads; }
    // Rows [first, first + rows) of band index (0 .. count() - 1), from the
    // region's first row.
    void band(int32_t index, int32_t& first, int32_t& count) const;
};

BandCut cutBands(int32_t rows, int32_t full, int32_t least, int threads);

// Runs work(begin, end) over [0, count) cut into pieces of `piece` items, on
// up to threads threads (the caller's included), for work without host calls.
void forEachPiece(int threads, size_t count, size_t piece, const std::function<void(size_t, size_t)>& work,
                  WorkerPool* pool = nullptr);
