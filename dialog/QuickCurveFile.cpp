#include "dialog/QuickCurveFile.h"

#include <algorithm>
#include <cstring>

#include "dialog/DataFile.h"

#include "base/ByteCodec.h"

namespace {

constexpr size_t kByteOrderOffset = 4;
constexpr size_t kOrderKeyOffset = 7;
constexpr size_t kSeparatorOffset = 8;
constexpr size_t kNameOffset = 11;
constexpr size_t kValuesOffset = 75;  // 3 x 1024 sixteen-bit values

}  // namespace

bool readQuickCurveFile(const uint8_t* bytes, size_t size, QuickCurveEntry& entry) {
    if (!bytes || size != kQuickCurveFileSize || std::memcmp(bytes, "QZMV", 4) != 0) return false;
    bool mostSignificantFirst = bytes[kByteOrderOffset] == 1;
    entry.orderKey = bytes[kOrderKeyOffset];
    entry.separator = bytes[kSeparatorOffset] != 0;
    // The name is cut at its first NUL and at 63 characters, whether or not
    // the file terminates it.
    const char* name = reinterpret_cast<const char*>(bytes + kNameOffset);
    size_t length = 0;
    while (length < kQuickCurveNameBytes - 1 && name[length] != '\0') ++length;
    entry.name.assign(name, length);
    ByteReader values(bytes, size);
    values.seek(kValuesOffset);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < kCurveSlots; ++i)
            entry.values[c][i] = int16_t(mostSignificantFirst ? values.u16MostSignificantFirst() : values.u16());
    return values.ok();
}

float quickCurvePointValue(int16_t value) {
    if (value < 0) return NoPoint;
    float v = float(value) / 32767.0f;
    return v > 0.999f ? 1.0f : v;
}

void applyQuickCurve(const QuickCurveEntry& entry, CurveSet& curves) {
    Curve* targets[3] = {&curves.hue, &curves.saturation, &curves.intensity};
    for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < kCurveSlots; ++i) targets[c]->points[i] = quickCurvePointValue(entry.values[c][i]);
    }
}

QuickCurveList buildQuickCurveList(const std::vector<QuickCurveEntry>& entries) {
    QuickCurveList list;
    if (entries.empty()) {
        list.items.push_back(kQuickCurveEmptyItem);
        return list;
    }
    // A stable sort shows entries that share a key once each, in listing order.
    std::vector<size_t> order(entries.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return entries[a].orderKey < entries[b].orderKey; });

    list.items.push_back(kQuickCurveSelectItem);
    for (size_t k = 0; k < order.size(); ++k) {
        const QuickCurveEntry& entry = entries[order[k]];
        list.items.push_back(entry.name);
        QuickCurveRow row;
        row.itemNumber = int(list.items.size());
        row.entry = entry;
        list.rows.push_back(row);
        if (entry.separator && k + 1 < order.size()) list.items.push_back(kQuickCurveSeparatorItem);
    }
    return list;
}

const QuickCurveRow* quickCurveRowForItem(const QuickCurveList& list, int itemNumber) {
    if (itemNumber < 2) return nullptr;
    for (const QuickCurveRow& row : list.rows) {
        if (row.itemNumber == itemNumber) return &row;
    }
    return nullptr;
}

std::vector<std::string> listQuickCurveFiles(FolderAccess& access, const std::string& folder) {
    std::vector<std::string> paths;
    if (!listFilesWithExtension(access, folder, kQuickCurveExtension, &paths, int(kMaxQuickCurveFiles))) paths.clear();
    return paths;
}

std::vector<std::string> listQuickCurveFiles(const std::string& folder) {
    return listQuickCurveFiles(standardFolderAccess(), folder);
}

bool loadQuickCurveFile(const std::string& path, QuickCurveEntry& entry) {
    DataFile file;
    if (!file.setPath(path) || file.size() != int64_t(kQuickCurveFileSize)) return false;
    if (!file.open(FileMode::Read)) return false;
    std::vector<uint8_t> bytes(kQuickCurveFileSize);
    // The size was measured before opening; a file that shrank since fails here.
    return file.read(bytes.data(), bytes.size()) && readQuickCurveFile(bytes.data(), bytes.size(), entry);
}

std::vector<QuickCurveEntry> loadQuickCurveFolder(FolderAccess& access, const std::string& folder) {
    std::vector<QuickCurveEntry> entries;
    for (const std::string& path : listQuickCurveFiles(access, folder)) {
        QuickCurveEntry entry;
        if (loadQuickCurveFile(path, entry)) entries.push_back(entry);
    }
    return entries;
}

std::vector<QuickCurveEntry> loadQuickCurveFolder(const std::string& folder) {
    return loadQuickCurveFolder(standardFolderAccess(), folder);
}
