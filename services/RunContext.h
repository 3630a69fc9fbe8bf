// What one run of the engine needs from its host: working memory from the
// buffer suite, the colour services, progress reports with the abort check,
// and the progress bar of an open dialog. The entry point makes one from the
// filter record, the preview one of its own (dialog progress), tests one on
// the stand-in host; it is passed down to every operation, and nothing of it
// is global. One run uses it at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "base/Modes.h"
#include "hostapi/PluginHost.h"
#include "services/BufferService.h"
#include "threads/WorkerPool.h"

// Pixels counted by the row loops of a run (done of total) and whether the
// user stopped it through the host.
struct ProgressCounters {
    uint32_t done = 0;
    uint32_t total = 0;
    bool aborted = false;
};

class RunContext {
public:
    // Percentages 0..100 for the open dialog's progress bar.
    using DialogProgress = std::function<void(int percent)>;

    // record may be null (no host): nothing can then be allocated, converted
    // or reported. Buffers come from the best source the record offers.
    explicit RunContext(FilterRecord* record, ProgressMode mode = ProgressMode::Host,
                        DialogProgress dialogProgress = {});
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;

    FilterRecord* record() const { return record_; }

    // Zero-filled block of exactly bytes, or null; released with release
    // (null is ignored). Blocks not released go back when the run ends.
    void* allocate(size_t bytes) const { return buffers_.allocate(bytes); }
    void release(void* block) const { buffers_.release(block); }
    BufferSource bufferSource() const { return buffers_.source(); }

    // The request record of the host's colour services for this run: zero at
    // first, and only the fields a request sets are ever written.
    ColorServicesInfo& colorRequest() { return colorRequest_; }
    bool hasColorServices() const { return record_ && record_->colorServices; }
    // Hands the request to the host; false without colour services or when
    // the host answers with an error.
    bool sendColorRequest();

    ProgressMode progressMode() const { return mode_; }
    ProgressCounters& progress() { return progress_; }
    // Host mode: done of total to the host's progress procedure, then its
    // abort check (true when the user stopped the run).
    void reportToHost(uint32_t done, uint32_t total) const;
    bool hostAborted() const;
    // Dialog mode: a percentage for the dialog's progress bar.
    void showDialogProgress(int percent) const;

    // Threads an operation may share its rows among, the host's own included
    // (1: all on the host's thread). Only the host's thread uses this
    // context: worker threads never call the host.
    int threads() const { return threads_; }
    void setThreads(int threads) { threads_ = threads < 1 ? 1 : threads; }
    // The run's worker threads, kept from one operation to the next and
    // joined when the run ends.
    WorkerPool& workers() const;

private:
    FilterRecord* record_;
    // Lending memory changes no result of the run: allocate stays const.
    mutable BufferService buffers_;
    ProgressMode mode_;
    DialogProgress dialogProgress_;
    ColorServicesInfo colorRequest_{};
    ProgressCounters progress_;
    int threads_ = 1;
    mutable std::unique_ptr<WorkerPool> workers_;
};
