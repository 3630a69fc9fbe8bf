#include "threads/BandRun.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// How often a caller waiting for the other threads reports their rows, and
// so asks the host whether to stop.
constexpr std::chrono::milliseconds kReportWait{2};

}  // namespace

BandRun::BandRun(int threads, int32_t bands, std::function<bool()> report, WorkerPool* pool)
    : threads_(threads < 1 ? 1 : threads), bands_(bands), pool_(pool), report_(std::move(report)) {}

void BandRun::workLoop(const std::function<bool(int32_t, int)>& work, int slot) {
    while (!stop_.load(std::memory_order_relaxed)) {
        const int32_t band = nextBand_.fetch_add(1);
        if (band >= bands_) break;
        if (!work(band, slot)) stop_ = true;
    }
}

bool BandRun::drainReports() {
    const uint32_t done = rowsDone_.load();
    while (rowsReported_ < done && !stop_) {
        ++rowsReported_;
        if (!report_()) stop_ = true;
    }
    return !stop_;
}

bool BandRun::rowDone(int slot) {
    rowsDone_.fetch_add(1);
    if (slot == 0) return drainReports();
    // No wake-up for the caller: woken after every row, it would take the
    // core from this thread only to report and wait again. It reports these
    // rows between its own, and every kReportWait while it waits.
    return !stop_.load(std::memory_order_relaxed);
}

bool BandRun::run(const std::function<bool(int32_t, int)>& work) {
    std::vector<std::thread> others;
    const int wanted = threads_ < bands_ ? threads_ : int(bands_);
    for (int slot = 1; slot < wanted; ++slot) {
        auto worker = [this, &work, slot, sync = sync_] {
            {
                std::lock_guard<std::mutex> lock(sync->mutex);
                if (sync->closed) return;
                ++sync->working;
            }
            workLoop(work, slot);
            {
                std::lock_guard<std::mutex> lock(sync->mutex);
                --sync->working;
            }
            sync->changed.notify_one();
        };
        bool started = false;
        if (pool_) {
            started = pool_->post(worker, size_t(wanted - 1));
        } else {
            try {
                others.emplace_back(worker);
                started = true;
            } catch (...) {
            }
        }
        if (!started) break;  // no more threads to be had: the others and the caller do the rest
    }
    workLoop(work, 0);
    // Every band is taken: report the other threads' rows until those that
    // took part are done, then close the run to those that did not.
    for (;;) {
        drainReports();
        std::unique_lock<std::mutex> lock(sync_->mutex);
        if (sync_->working == 0) {
            sync_->closed = true;
            break;
        }
        sync_->changed.wait_for(lock, kReportWait, [this] { return sync_->working == 0; });
    }
    for (std::thread& t : others) t.join();
    drainReports();
    return !stop_ && nextBand_.load() >= bands_;
}

void forEachPiece(int threads, size_t count, size_t piece, const std::function<void(size_t, size_t)>& work,
                  WorkerPool* pool) {
    if (piece == 0) piece = 1;
    const size_t pieces = (count + piece - 1) / piece;
    if (threads <= 1 || pieces <= 1) {
        if (count) work(0, count);
        return;
    }
    BandRun run(
        threads, int32_t(pieces > 0x7FFFFFFF ? 0x7FFFFFFF : pieces), [] { return true; }, pool);
    const size_t size = pieces > 0x7FFFFFFF ? (count + 0x7FFFFFFE) / 0x7FFFFFFF : piece;
    run.run([&](int32_t band, int) {
        const size_t begin = size_t(band) * size;
        if (begin < count) work(begin, std::min(count, begin + size));
        return true;
    });
}

namespace {

// Rows in the tail: threads bands of each of its sizes.
int64_t tailRows(int32_t full, int32_t sizes, int threads) {
    int64_t rows = 0;
    for (int32_t s = 1; s <= sizes; ++s) rows += full >> s;
    return rows * threads;
}

}  // namespace

BandCut cutBands(int32_t rows, int32_t full, int32_t least, int threads) {
    BandCut cut;
    cut.rows = std::max(rows, 0);
    cut.full = std::max(full, 1);
    cut.threads = std::max(threads, 1);
    least = std::max(least, 1);
    if (cut.threads > 1)
        while ((cut.full >> (cut.tailSizes + 1)) >= least) ++cut.tailSizes;
    // At least one full band per thread before the tail.
    while (cut.tailSizes > 0 &&
           int64_t(cut.rows) < tailRows(cut.full, cut.tailSizes, cut.threads) + int64_t(cut.full) * cut.threads)
        --cut.tailSizes;
    cut.headRows = cut.rows - int32_t(tailRows(cut.full, cut.tailSizes, cut.threads));
    cut.headBands = int32_t((int64_t(cut.headRows) + cut.full - 1) / cut.full);
    return cut;
}

void BandCut::band(int32_t index, int32_t& first, int32_t& count) const {
    if (index < headBands) {
        first = int32_t(int64_t(headRows) * index / headBands);
        count = int32_t(int64_t(headRows) * (index + 1) / headBands) - first;
        return;
    }
    const int32_t inTail = index - headBands, size = inTail / threads + 1;
    first = headRows + int32_t(tailRows(full, size - 1, threads)) + (inTail % threads) * (full >> size);
    count = full >> size;
}
