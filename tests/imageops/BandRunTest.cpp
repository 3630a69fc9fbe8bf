#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "imageops/BandRun.h"

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

}  // namespace
