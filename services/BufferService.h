// Working memory for one run, from the best source the host offers: the
// buffer suite of its basic suite, else the filter record's buffer procs,
// else plain memory kept within the record's maxSpace. Every block arrives
// zero-filled and goes back to the source it came from.
#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

#include "hostapi/PluginHost.h"

enum class BufferSource { None, HostSuite, RecordProcs, PlainMemory };

// Where a record's buffers come from. PlainMemory when the host has a basic
// suite without a buffer suite and no buffer procs; None without a record,
// and for a host that offers neither a basic suite nor buffer procs (one too
// old to run the filter at all).
BufferSource bufferSourceFor(const FilterRecord* record);

class BufferService {
public:
    explicit BufferService(const FilterRecord* record);
    BufferService(const BufferService&) = delete;
    BufferService& operator=(const BufferService&) = delete;
    // Blocks still out when the run ends go back to where they came from.
    ~BufferService();

    BufferSource source() const { return source_; }
    // Zero-filled block of exactly bytes, or null. Safe from several threads.
    void* allocate(size_t bytes);
    // Null and blocks this service did not hand out are ignored.
    void release(void* block);

private:
    struct Lent {
        void* block;
        BufferID id;   // the record procs' buffer (RecordProcs only)
        size_t bytes;  // counted against maxSpace (PlainMemory only)
    };
    const FilterRecord* record_;
    BufferSource source_;
    size_t plainLimit_ = 0;  // bytes of plain memory allowed at once
    size_t plainInUse_ = 0;
    std::mutex mutex_;
    std::vector<Lent> lent_;

    void* fromSuite(size_t bytes);
    void* fromProcs(size_t bytes);
    void* fromPlainMemory(size_t bytes);
    void giveBack(const Lent& lent);
};
