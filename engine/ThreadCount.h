// How many threads a run uses: a setting (the CRISPCALM_THREADS variable's
// text) when it is a whole number from 1 to kMaxRunThreads, otherwise every core.
#pragma once

constexpr int kMaxRunThreads = 64;

// setting may be null or empty; cores 0 (unknown) counts as one.
int threadCountFor(const char* setting, unsigned cores);
// The same with the machine's core count.
int threadCountFor(const char* setting);
