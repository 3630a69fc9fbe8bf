// Progress of the long row loops, through the run's context.
#pragma once

#include <cstdint>

#include "services/RunContext.h"

// Pixels between two host reports for an operation of radius r:
// 3,000,000 / (4 r^2), so that about three million neighbourhood additions run
// between reports. A radius of 0 (nothing to add) gives 3,000,000.
uint32_t progressPeriod(int32_t radius);

// Per-call progress state of one row loop, counting into the run's counters:
// in the run's dialog mode percentages for the progress bar, in host mode
// reports spaced by period pixels with the host's abort checked after each.
// Without a total no percentage is shown.
class RowProgress {
public:
    RowProgress(RunContext& run, uint32_t reportPeriod);
    // Adds a row of width pixels; false when the user aborted (the run's
    // counters then say so).
    bool afterRow(uint32_t width);
    // Dialog mode: the bar goes back to 0.
    void finish();

private:
    RunContext& run_;
    uint32_t period_;
    uint32_t lastReported_ = 0;
    int lastPercent_ = 0;
};
