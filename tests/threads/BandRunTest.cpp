#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "threads/BandRun.h"

namespace {

// Ten bands of five rows on several threads, started for the run or taken
// from a pool that keeps them for the next run: every band runs once, every
// row is reported once, on the calling thread only, and the pool never holds
// more threads than one run asks for.
TEST(BandRun, RunsEveryBandAndReportsEveryRowOnTheCaller) {
    WorkerPool pool;
    for (WorkerPool* workers : {static_cast<WorkerPool*>(nullptr), &pool})
        for (int repeat = 0; repeat < 5; ++repeat)
            for (int threads : {1, 2, 3, 7}) {
                const std::thread::id caller = std::this_thread::get_id();
                int reports = 0;
                bool elsewhere = false;
                BandRun run(
                    threads, 10,
                    [&] {
                        elsewhere = elsewhere || std::this_thread::get_id() != caller;
                        ++reports;
                        return true;
                    },
                    workers);
                std::vector<std::atomic<int>> visits(10);
                EXPECT_TRUE(run.run([&](int32_t band, int slot) {
                    ++visits[size_t(band)];
                    for (int row = 0; row < 5; ++row)
                        if (!run.rowDone(slot)) return false;
                    return true;
                }));
                EXPECT_EQ(reports, 50) << threads;
                EXPECT_FALSE(elsewhere);
                for (const auto& v : visits) EXPECT_EQ(v.load(), 1);
            }
    EXPECT_LE(pool.threadCount(), 6u);
}

// A pool thread still busy elsewhere when a run starts takes no part in it:
// the caller does every band and returns without waiting for that thread,
// which later finds the run over and leaves it alone.
TEST(BandRun, DoesNotWaitForAThreadThatHasNotJoinedIn) {
    WorkerPool pool;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    ASSERT_TRUE(pool.post([released] { released.wait(); }, 1));
    std::future<int> done = std::async(std::launch::async, [&pool] {
        int bands = 0;
        BandRun run(
            2, 8, [] { return true; }, &pool);
        run.run([&](int32_t, int) { return ++bands > 0; });
        return bands;
    });
    const bool finished = done.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    release.set_value();
    EXPECT_TRUE(finished);
    EXPECT_EQ(done.get(), 8);
}

// A report of false (the host's abort) stops every thread at its next row;
// so does a band that fails.
TEST(BandRun, StopsOnAbortOrFailure) {
    for (int threads : {1, 3}) {
        int reports = 0;
        std::atomic<int> rows{0};
        BandRun run(threads, 100, [&] { return ++reports < 7; });
        EXPECT_FALSE(run.run([&](int32_t, int slot) {
            for (int row = 0; row < 5; ++row) {
                // Rows that take a while, so that the caller's reports keep up.
                std::this_thread::sleep_for(std::chrono::microseconds(300));
                ++rows;
                if (!run.rowDone(slot)) return false;
            }
            return true;
        }));
        EXPECT_EQ(reports, 7);
        EXPECT_LT(rows.load(), 100 * 5);

        BandRun failing(threads, 100, [] { return true; });
        std::atomic<int> bands{0};
        EXPECT_FALSE(failing.run([&](int32_t band, int) {
            ++bands;
            return band != 3;
        }));
        EXPECT_LT(bands.load(), 100);
    }
}

// Bands follow each other without gap or overlap, none empty or above full
// rows; several threads get a tail of halves, quarters ... down to least rows
// when the region holds a full band per thread before it.
TEST(BandRun, CutsRowsIntoBandsThatEndSmaller) {
    for (int32_t rows : {0, 1, 17, 64, 200, 300, 512, 800, 3001})
        for (int32_t full : {64, 500})
            for (int32_t least : {16, 64})
                for (int threads : {1, 2, 3, 7}) {
                    const BandCut cut = cutBands(rows, full, least, threads);
                    int32_t next = 0, last = full;
                    for (int32_t i = 0; i < cut.count(); ++i) {
                        int32_t first = -1, count = 0;
                        cut.band(i, first, count);
                        ASSERT_EQ(first, next) << rows << " " << full << " " << threads << " band " << i;
                        ASSERT_GE(count, 1);
                        ASSERT_LE(count, full);
                        next += count;
                        last = count;
                    }
                    EXPECT_EQ(next, rows);
                    const bool tail = threads > 1 && least <= full / 2;
                    if (tail && rows >= threads * (full + full / 2)) {
                        EXPECT_GE(cut.tailSizes, 1);
                        EXPECT_EQ(last, full >> cut.tailSizes);
                    }
                    if (tail && rows >= 2 * threads * full) {
                        EXPECT_TRUE(last >= least && last / 2 < least);
                    }
                    if (!tail) {
                        EXPECT_EQ(cut.tailSizes, 0);
                    }
                }
    // A 512-row tile on two threads: seven bands of 59 or 60 rows, then 32, 32, 16, 16.
    const BandCut tile = cutBands(512, 64, 16, 2);
    ASSERT_EQ(tile.count(), 11);
    int32_t first = 0, count = 0;
    tile.band(6, first, count);
    EXPECT_EQ(first + count, 416);
    tile.band(9, first, count);
    EXPECT_EQ(first, 480);
    EXPECT_EQ(count, 16);
}

}  // namespace
