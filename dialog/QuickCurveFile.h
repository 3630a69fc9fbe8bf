// Quick curves: ready-made sets of the three selection curves, one per file
// (extension "qzm", tag "QZMV", exactly 6,219 bytes), read from a folder when
// the dialog opens and offered in its "Quick Curves:" list. This file holds
// the format, the conversion into curve points and the list's contents; the
// dialog only displays the list and applies the chosen row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "curves/Curve.h"
#include "dialog/FolderSearch.h"

constexpr size_t kQuickCurveFileSize = 6219;
constexpr size_t kQuickCurveNameBytes = 64;  // at most 63 characters and a NUL
constexpr size_t kMaxQuickCurveFiles = 50;
constexpr const char* kQuickCurveExtension = "qzm";
constexpr const char* kQuickCurveFolderName = "Tarvo Standard Curves";

struct QuickCurveEntry {
    uint8_t orderKey = 0;    // position in the list, compared unsigned
    bool separator = false;  // a separator line follows this entry
    std::string name;        // at most 63 characters, no NUL
    // Hue, saturation, intensity: one value per control slot in machine byte
    // order; negative = empty slot, otherwise the point value x 32767.
    int16_t values[3][kCurveSlots] = {};
};

// Decodes a file's bytes: false unless there are exactly kQuickCurveFileSize
// bytes starting with "QZMV". Byte-order byte 1 means most significant byte
// first; any other value least significant first.
bool readQuickCurveFile(const uint8_t* bytes, size_t size, QuickCurveEntry& entry);

// Point value of one stored value: NoPoint for negative values, else v / 32767
// with quotients above 0.999 made exactly 1.0.
float quickCurvePointValue(int16_t value);
// Sets every control slot of the three curves from the entry. The curves'
// samples are left for the next evaluation.
void applyQuickCurve(const QuickCurveEntry& entry, CurveSet& curves);

struct QuickCurveRow {
    int itemNumber = 0;  // 1-based position of the entry's item in the list
    QuickCurveEntry entry;
};

struct QuickCurveList {
    std::vector<std::string> items;   // item texts in list order; item n is items[n - 1]
    std::vector<QuickCurveRow> rows;  // the entries in list order
};

constexpr const char* kQuickCurveSelectItem = "Select...";
constexpr const char* kQuickCurveSeparatorItem = "--------";
constexpr const char* kQuickCurveEmptyItem = "N/A";

// The list for the accepted entries given in listing order: "Select..." then
// the entries by ascending order key (entries sharing a key keep their listing
// order), each followed by "--------" when its separator flag is set and it is
// not the last; "N/A" alone when there are no entries. Item 1 is selected.
QuickCurveList buildQuickCurveList(const std::vector<QuickCurveEntry>& entries);

// The row shown as item number n; null for "Select...", "N/A", separators and
// numbers outside the list.
const QuickCurveRow* quickCurveRowForItem(const QuickCurveList& list, int itemNumber);

// The files with the extension "qzm" (in any letter case) directly in folder,
// the first kMaxQuickCurveFiles of the listing; folders are skipped. Empty
// when the folder cannot be listed.
std::vector<std::string> listQuickCurveFiles(FolderAccess& access, const std::string& folder);
std::vector<std::string> listQuickCurveFiles(const std::string& folder);

// Reads one file: false when it cannot be opened, is not exactly
// kQuickCurveFileSize bytes long or has another tag.
bool loadQuickCurveFile(const std::string& path, QuickCurveEntry& entry);

// The accepted entries of a folder in listing order, ready for
// buildQuickCurveList. Unreadable and foreign files are skipped silently.
std::vector<QuickCurveEntry> loadQuickCurveFolder(FolderAccess& access, const std::string& folder);
std::vector<QuickCurveEntry> loadQuickCurveFolder(const std::string& folder);
