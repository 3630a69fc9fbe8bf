#include "dialog/QuickCurveFile.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/ByteCodec.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kByteOrderOffset = 4;
constexpr size_t kOrderKeyOffset = 7;
constexpr size_t kSeparatorOffset = 8;
constexpr size_t kNameOffset = 11;
constexpr size_t kValuesOffset = 75;  // 3 x 1024 sixteen-bit values

bool isQuickCurveExtension(const fs::path& path) {
    std::string ext = path.extension().string();
    if (ext.size() != 4 || ext[0] != '.') return false;
    for (size_t i = 1; i < ext.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(ext[i])) != kQuickCurveExtension[i - 1]) return false;
    }
    return true;
}

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

std::vector<std::string> listQuickCurveFiles(const std::string& folder) {
    std::vector<fs::path> found;
    if (folder.empty()) return {};
    std::error_code ec;
    fs::directory_iterator it(fs::path(folder), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError) || !isQuickCurveExtension(it->path())) continue;
        found.push_back(it->path());
    }
    // Directory order differs between file systems; name order keeps the list
    // and the 50-file cut the same everywhere.
    std::sort(found.begin(), found.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename().string() < b.filename().string(); });
    if (found.size() > kMaxQuickCurveFiles) found.resize(kMaxQuickCurveFiles);
    std::vector<std::string> paths;
    for (const fs::path& p : found) paths.push_back(p.string());
    return paths;
}

bool loadQuickCurveFile(const std::string& path, QuickCurveEntry& entry) {
    std::error_code ec;
    fs::path p(path);
    if (!fs::is_regular_file(p, ec) || fs::file_size(p, ec) != kQuickCurveFileSize || ec) return false;
    std::ifstream in(p, std::ios::binary);
    if (!in) return false;
    // One byte more than needed tells a file that grew since it was measured.
    std::vector<uint8_t> bytes(kQuickCurveFileSize + 1);
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    if (in.bad()) return false;
    return readQuickCurveFile(bytes.data(), size_t(in.gcount()), entry);
}

std::vector<QuickCurveEntry> loadQuickCurveFolder(const std::string& folder) {
    std::vector<QuickCurveEntry> entries;
    for (const std::string& path : listQuickCurveFiles(folder)) {
        QuickCurveEntry entry;
        if (loadQuickCurveFile(path, entry)) entries.push_back(entry);
    }
    return entries;
}
