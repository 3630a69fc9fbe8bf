#include <gtest/gtest.h>

#include "engine/ThreadCount.h"

namespace {

TEST(ThreadCount, ASettingInRangeWinsOtherwiseEveryCore) {
    struct Row {
        const char* setting;
        unsigned cores;
        int threads;
    } rows[] = {
        {nullptr, 8, 8},
        {"", 2, 2},
        {"1", 8, 1},
        {"3", 2, 3},
        {"64", 2, 64},
        {"65", 4, 4},
        {"0", 4, 4},
        {"-2", 4, 4},
        {"2x", 4, 4},
        {" 2", 4, 4},
        {"99999999999", 6, 6},
        {nullptr, 0, 1},
        {nullptr, 200, kMaxRunThreads},
    };
    for (const Row& r : rows)
        EXPECT_EQ(threadCountFor(r.setting, r.cores), r.threads)
            << (r.setting ? r.setting : "(none)") << " " << r.cores;
}

}  // namespace
