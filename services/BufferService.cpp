#include "services/BufferService.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "services/HostServices.h"

namespace {

// The buffer procs the service needs: allocate, lock and free (unlock is
// called when offered).
bool recordProcsUsable(const FilterRecord* record) {
    const BufferProcs* p = record->bufferProcs;
    return p && procOffered(p->numBufferProcs, 4) && p->allocateProc && p->lockProc && p->freeProc;
}

}  // namespace

BufferSource bufferSourceFor(const FilterRecord* record) {
    if (!record) return BufferSource::None;
    if (hasBufferSuite(record->sSPBasic)) return BufferSource::HostSuite;
    if (recordProcsUsable(record)) return BufferSource::RecordProcs;
    return record->sSPBasic ? BufferSource::PlainMemory : BufferSource::None;
}

BufferService::BufferService(const FilterRecord* record) : record_(record), source_(bufferSourceFor(record)) {
    if (source_ == BufferSource::PlainMemory && record_->maxSpace > 0) plainLimit_ = size_t(record_->maxSpace);
}

BufferService::~BufferService() {
    for (const Lent& lent : lent_) giveBack(lent);
}

void* BufferService::allocate(size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    switch (source_) {
        case BufferSource::HostSuite:
            return fromSuite(bytes);
        case BufferSource::RecordProcs:
            return fromProcs(bytes);
        case BufferSource::PlainMemory:
            return fromPlainMemory(bytes);
        case BufferSource::None:
            break;
    }
    return nullptr;
}

void BufferService::release(void* block) {
    if (!block) return;
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(lent_.begin(), lent_.end(), [block](const Lent& l) { return l.block == block; });
    if (it == lent_.end()) return;
    const Lent lent = *it;
    lent_.erase(it);
    giveBack(lent);
}

void* BufferService::fromSuite(size_t bytes) {
    void* block = allocBuffer(record_->sSPBasic, bytes);
    if (!block) return nullptr;
    try {
        lent_.push_back(Lent{block, nullptr, 0});
    } catch (...) {
        freeBuffer(record_->sSPBasic, block);
        return nullptr;
    }
    return block;
}

void* BufferService::fromProcs(size_t bytes) {
    if (bytes > size_t(INT32_MAX)) return nullptr;
    const BufferProcs* p = record_->bufferProcs;
    BufferID id = nullptr;
    if (p->allocateProc(int32(bytes), &id) != noErr || !id) return nullptr;
    void* block = p->lockProc(id, 1);
    if (!block) {
        p->freeProc(id);
        return nullptr;
    }
    try {
        lent_.push_back(Lent{block, id, 0});
    } catch (...) {
        giveBack(Lent{block, id, 0});
        return nullptr;
    }
    std::memset(block, 0, bytes);
    return block;
}

void* BufferService::fromPlainMemory(size_t bytes) {
    if (bytes > plainLimit_ - plainInUse_) return nullptr;
    void* block = std::calloc(bytes ? bytes : 1, 1);
    if (!block) return nullptr;
    try {
        lent_.push_back(Lent{block, nullptr, bytes});
    } catch (...) {
        std::free(block);
        return nullptr;
    }
    plainInUse_ += bytes;
    return block;
}

void BufferService::giveBack(const Lent& lent) {
    if (source_ == BufferSource::HostSuite) {
        freeBuffer(record_->sSPBasic, lent.block);
    } else if (source_ == BufferSource::RecordProcs) {
        const BufferProcs* p = record_->bufferProcs;
        if (procOffered(p->numBufferProcs, 3) && p->unlockProc) p->unlockProc(lent.id);
        p->freeProc(lent.id);
    } else {
        std::free(lent.block);
        plainInUse_ -= lent.bytes;
    }
}
