#include "services/RunContext.h"

#include <utility>

#include "services/HostServices.h"

RunContext::RunContext(FilterRecord* record, ProgressMode mode, DialogProgress dialogProgress)
    : record_(record), buffers_(record), mode_(mode), dialogProgress_(std::move(dialogProgress)) {}

bool RunContext::sendColorRequest() { return hasColorServices() && record_->colorServices(&colorRequest_) == noErr; }

void RunContext::reportToHost(uint32_t done, uint32_t total) const {
    if (record_ && record_->progressProc) record_->progressProc(int32_t(done), int32_t(total));
}

bool RunContext::hostAborted() const { return record_ && record_->abortProc && record_->abortProc(); }

WorkerPool& RunContext::workers() const {
    if (!workers_) workers_ = std::make_unique<WorkerPool>();
    return *workers_;
}

void RunContext::showDialogProgress(int percent) const {
    if (dialogProgress_) dialogProgress_(percent);
}
