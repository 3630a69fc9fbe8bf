#include "engine/ThreadCount.h"

#include <thread>

int threadCountFor(const char* setting, unsigned cores) {
    if (setting && *setting) {
        int value = 0;
        const char* p = setting;
        while (*p >= '0' && *p <= '9' && value <= kMaxRunThreads) value = value * 10 + (*p++ - '0');
        if (*p == '\0' && value >= 1 && value <= kMaxRunThreads) return value;
    }
    if (cores == 0) return 1;
    return cores > unsigned(kMaxRunThreads) ? kMaxRunThreads : int(cores);
}

int threadCountFor(const char* setting) { return threadCountFor(setting, std::thread::hardware_concurrency()); }
