// Quick-curve files: the reader on the raw bytes, then on the bytes cut or
// padded to the format's size so that the decoding is reached. Accepted files
// must give names without NUL, curves whose evaluated weights lie in 0..1,
// and a list whose every entry row is found again by its item number.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "dialog/QuickCurveFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QuickCurveEntry entry;
    const bool raw = readQuickCurveFile(data, size, entry);
    if (raw && size != kQuickCurveFileSize) std::abort();

    std::vector<uint8_t> file(kQuickCurveFileSize, 0);
    std::memcpy(file.data(), data, size < file.size() ? size : file.size());
    if (!readQuickCurveFile(file.data(), file.size(), entry)) return 0;
    if (entry.name.size() >= kQuickCurveNameBytes || entry.name.find('\0') != std::string::npos) std::abort();

    CurveSet curves;
    applyQuickCurve(entry, curves);
    curves.evaluateAll();
    for (const Curve* c : {&curves.hue, &curves.saturation, &curves.intensity})
        for (float s : c->samples)
            if (!(s >= 0.0f && s <= 1.0f)) std::abort();

    // A few entries with keys and separator flags from the input's tail.
    std::vector<QuickCurveEntry> entries;
    for (size_t i = 0; i < 5 && i < size; ++i) {
        QuickCurveEntry e = entry;
        e.orderKey = data[size - 1 - i];
        e.separator = (data[size - 1 - i] & 1) != 0;
        entries.push_back(e);
    }
    const QuickCurveList list = buildQuickCurveList(entries);
    if (list.rows.size() != entries.size() || list.items.empty()) std::abort();
    for (const QuickCurveRow& row : list.rows)
        if (quickCurveRowForItem(list, row.itemNumber) != &row) std::abort();
    for (int n = -1; n <= int(list.items.size()) + 1; ++n) quickCurveRowForItem(list, n);
    return 0;
}
