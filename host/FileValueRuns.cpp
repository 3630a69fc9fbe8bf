#include "host/FileValueRuns.h"

FileValueRuns fileValueRuns(std::vector<uint16_t> hostOf) {
    FileValueRuns runs;
    runs.lastValue = uint32_t(hostOf.size()) - 1;
    runs.hostOf = std::move(hostOf);
    constexpr uint32_t kNone = 0x10000;
    std::vector<uint32_t> first(32769, kNone);
    std::vector<uint8_t> count(32769, 0);
    for (uint32_t v = 0; v <= runs.lastValue; ++v) {
        const uint16_t h = runs.hostOf[v];
        if (h > 32768) return runs;
        if (first[h] == kNone) first[h] = v;
        // A member apart from its run's start would break the mapping's order.
        if (++count[h] > 2 || v != first[h] + count[h] - 1u) return runs;
    }
    runs.first.resize(first.size());
    for (size_t h = 0; h < first.size(); ++h) runs.first[h] = uint16_t(first[h] == kNone ? 0 : first[h]);
    return runs;
}

ExactValues exactValues(const FileValueRuns& runs, const std::vector<uint16_t>& ownValue) {
    ExactValues exact;
    if (runs.first.empty() || ownValue.size() != runs.first.size()) return exact;
    exact.restore.resize(runs.first.size());
    for (size_t h = 0; h < exact.restore.size(); ++h) {
        uint32_t a = 0, b = 0;
        const bool hasA = runs.fileValue(uint16_t(h), false, a), hasB = runs.fileValue(uint16_t(h), true, b);
        exact.restore[h] = uint16_t(hasB && a == ownValue[h] ? b : hasA ? a : ownValue[h]);
    }
    exact.setFor.resize(size_t(runs.lastValue) + 1);
    for (uint32_t v = 0; v <= runs.lastValue; ++v) {
        const uint16_t h = runs.hostOf[v];
        exact.setFor[v] = !(v == exact.restore[h] && v != ownValue[h]);
    }
    return exact;
}
