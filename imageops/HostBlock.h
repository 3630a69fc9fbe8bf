// Scratch memory of an operation: count elements of T from the run's buffer
// service, zero-filled, given back when the holder goes. Move-only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "services/RunContext.h"

template <typename T>
class HostBlock {
public:
    HostBlock() = default;
    HostBlock(HostBlock&& other) noexcept
        : data(std::exchange(other.data, nullptr)), run_(std::exchange(other.run_, nullptr)) {}
    HostBlock& operator=(HostBlock&& other) noexcept {
        if (this != &other) {
            reset();
            data = std::exchange(other.data, nullptr);
            run_ = std::exchange(other.run_, nullptr);
        }
        return *this;
    }
    HostBlock(const HostBlock&) = delete;
    HostBlock& operator=(const HostBlock&) = delete;
    ~HostBlock() { reset(); }

    // Releases what it held, then takes count elements (one element's bytes
    // for 0). False when the bytes do not fit 32 bits or the host refuses.
    bool take(const RunContext& run, size_t count) {
        reset();
        const uint64_t bytes = uint64_t(count) * sizeof(T);
        if (bytes > 0xFFFFFFFFu) return false;
        data = static_cast<T*>(run.allocate(size_t(bytes ? bytes : sizeof(T))));
        if (data) run_ = &run;
        return data != nullptr;
    }
    void reset() {
        if (data && run_) run_->release(data);
        data = nullptr;
        run_ = nullptr;
    }

    T* data = nullptr;  // read by the operation; set only by take and reset

private:
    const RunContext* run_ = nullptr;
};
