#include "imageops/ProgressCounters.h"

#include "services/HostServices.h"
#include "services/Platform.h"

ProgressCounters progressCounters;

void setDialogProgress(int percent) {
    PlatformServices& services = platformServices();
    if (services.setDialogProgress) services.setDialogProgress(percent);
}

uint32_t progressPeriod(int32_t radius) {
    if (radius <= 0) return 3000000;
    const uint64_t area = 4 * uint64_t(radius) * uint64_t(radius);
    return uint32_t(3000000 / area);
}

RowProgress::RowProgress(uint8_t progressMode, uint32_t reportPeriod) : mode(progressMode), period(reportPeriod) {}

bool RowProgress::afterRow(uint32_t width) {
    ProgressCounters& counters = progressCounters;
    counters.done += width;
    if (mode == ProgressDialog) {
        // Without a total there is no percentage to show.
        if (counters.total == 0) return true;
        const int percent = int(uint64_t(counters.done) * 100 / counters.total);
        if (percent > lastPercent) {
            lastPercent = percent;
            setDialogProgress(percent);
        }
        return true;
    }
    if (counters.done - lastReported < period) return true;
    lastReported = counters.done;
    if (!hostRecord) return true;
    if (hostRecord->progressProc) hostRecord->progressProc(int32_t(counters.done), int32_t(counters.total));
    if (hostRecord->abortProc && hostRecord->abortProc()) {
        counters.aborted = 1;
        return false;
    }
    return true;
}

void RowProgress::finish() {
    if (mode == ProgressDialog) setDialogProgress(0);
}
