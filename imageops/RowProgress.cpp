#include "imageops/RowProgress.h"

uint32_t progressPeriod(int32_t radius) {
    if (radius <= 0) return 3000000;
    const uint64_t area = 4 * uint64_t(radius) * uint64_t(radius);
    return uint32_t(3000000 / area);
}

RowProgress::RowProgress(RunContext& run, uint32_t reportPeriod) : run_(run), period_(reportPeriod) {}

bool RowProgress::afterRow(uint32_t width) {
    ProgressCounters& counters = run_.progress();
    counters.done += width;
    if (run_.progressMode() == ProgressMode::Dialog) {
        // Without a total there is no percentage to show.
        if (counters.total == 0) return true;
        const int percent = int(uint64_t(counters.done) * 100 / counters.total);
        if (percent > lastPercent_) {
            lastPercent_ = percent;
            run_.showDialogProgress(percent);
        }
        return true;
    }
    if (counters.done - lastReported_ < period_) return true;
    lastReported_ = counters.done;
    run_.reportToHost(counters.done, counters.total);
    if (run_.hostAborted()) {
        counters.aborted = true;
        return false;
    }
    return true;
}

void RowProgress::finish() {
    if (run_.progressMode() == ProgressMode::Dialog) run_.showDialogProgress(0);
}
