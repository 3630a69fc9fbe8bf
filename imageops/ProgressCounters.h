// Engine-wide progress state shared by the apply driver, the preview and the
// long-running loops.
#pragma once

#include <cstdint>

struct ProgressCounters {
    uint32_t done = 0;
    uint32_t total = 0;
    uint8_t aborted = 0;
};

extern ProgressCounters progressCounters;

enum ProgressMode : uint8_t { ProgressHost = 0, ProgressDialog = 1 };

// Shows a percentage in the open dialog's progress bar (nothing without one).
void setDialogProgress(int percent);

// Pixels between two host reports for an operation of radius r:
// 3,000,000 / (4 r^2), so that about three million neighbourhood additions run
// between reports. A radius of 0 (nothing to add) gives 3,000,000.
uint32_t progressPeriod(int32_t radius);

// Per-call progress state of one row loop: dialog percentages or host
// reports spaced by period pixels, with the host's abort checked after each.
// Without a total no percentage is shown.
struct RowProgress {
    uint8_t mode = ProgressHost;
    uint32_t period = 1;
    uint32_t lastReported = 0;
    int lastPercent = 0;

    RowProgress(uint8_t progressMode, uint32_t reportPeriod);
    // Adds a row of width pixels; false when the user aborted (aborted is set).
    bool afterRow(uint32_t width);
    void finish();
};
