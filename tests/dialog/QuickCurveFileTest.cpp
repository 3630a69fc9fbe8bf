#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "dialog/QuickCurveFile.h"

namespace {

namespace fs = std::filesystem;

// A quick-curve file whose slot i of curve c holds 1000 x (c + 1) at
// i = 10 x (c + 1) and -1 elsewhere, in the given byte order.
std::vector<uint8_t> makeFile(uint8_t order, uint8_t key, bool separator, const std::string& name) {
    std::vector<uint8_t> f(kQuickCurveFileSize, 0);
    std::memcpy(f.data(), "QZMV", 4);
    f[4] = order;
    f[7] = key;
    f[8] = separator ? 1 : 0;
    std::memcpy(f.data() + 11, name.data(), std::min(name.size(), size_t(64)));
    for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < kCurveSlots; ++i) {
            uint16_t v = i == 10 * (c + 1) ? uint16_t(1000 * (c + 1)) : 0xFFFF;
            size_t at = 75 + size_t(c) * 2048 + size_t(i) * 2;
            f[at] = order == 1 ? uint8_t(v >> 8) : uint8_t(v);
            f[at + 1] = order == 1 ? uint8_t(v) : uint8_t(v >> 8);
        }
    }
    return f;
}

QuickCurveEntry entry(uint8_t key, bool separator, const std::string& name) {
    QuickCurveEntry e;
    e.orderKey = key;
    e.separator = separator;
    e.name = name;
    return e;
}

using Items = std::vector<std::string>;

}  // namespace

TEST(QuickCurveFile, DecodesBothByteOrders) {
    for (uint8_t order : {uint8_t(0), uint8_t(1)}) {
        std::vector<uint8_t> f = makeFile(order, 4, true, "Skin");
        QuickCurveEntry e;
        ASSERT_TRUE(readQuickCurveFile(f.data(), f.size(), e));
        EXPECT_EQ(e.orderKey, 4);
        EXPECT_TRUE(e.separator);
        EXPECT_EQ(e.name, "Skin");
        EXPECT_EQ(e.values[0][10], 1000);
        EXPECT_EQ(e.values[2][30], 3000);
        EXPECT_EQ(e.values[2][31], -1);
    }
    // Most significant first: 0x7F 0xFF is full selection, 0xFF 0xFF empty.
    std::vector<uint8_t> f = makeFile(1, 0, false, "x");
    f[75] = 0x7F;
    f[76] = 0xFF;
    QuickCurveEntry e;
    ASSERT_TRUE(readQuickCurveFile(f.data(), f.size(), e));
    CurveSet curves;
    applyQuickCurve(e, curves);
    EXPECT_EQ(curves.hue.points[0], 1.0f);
    EXPECT_EQ(curves.hue.points[1], NoPoint);
    EXPECT_FLOAT_EQ(curves.intensity.points[30], 3000.0f / 32767.0f);
    f[4] = 7;  // any other order byte reads least significant first
    ASSERT_TRUE(readQuickCurveFile(f.data(), f.size(), e));
    EXPECT_EQ(e.values[0][0], int16_t(0xFF7F));
}

TEST(QuickCurveFile, RefusesOtherSizesAndTagsAndCutsLongNames) {
    std::vector<uint8_t> f = makeFile(0, 1, false, std::string(64, 'A'));  // no NUL in the name
    QuickCurveEntry e;
    ASSERT_TRUE(readQuickCurveFile(f.data(), f.size(), e));
    EXPECT_EQ(e.name, std::string(63, 'A'));
    for (size_t size : {kQuickCurveFileSize - 1, kQuickCurveFileSize + 1, size_t(0)}) {
        std::vector<uint8_t> g = f;
        g.resize(size);
        EXPECT_FALSE(readQuickCurveFile(g.data(), g.size(), e)) << size;
    }
    f[3] = 'W';
    EXPECT_FALSE(readQuickCurveFile(f.data(), f.size(), e));

    EXPECT_EQ(quickCurvePointValue(-32768), NoPoint);
    EXPECT_EQ(quickCurvePointValue(0), 0.0f);
    EXPECT_EQ(quickCurvePointValue(32735), 1.0f);  // 0.99902 is above 0.999
    EXPECT_LT(quickCurvePointValue(32734), 0.999f);
}

TEST(QuickCurveList, OrderNumbersAndSeparators) {
    QuickCurveList list =
        buildQuickCurveList({entry(3, false, "three"), entry(1, false, "one"), entry(2, false, "two")});
    EXPECT_EQ(list.items, (Items{"Select...", "one", "two", "three"}));
    ASSERT_EQ(list.rows.size(), 3u);
    EXPECT_EQ(list.rows[0].itemNumber, 2);
    EXPECT_EQ(list.rows[2].itemNumber, 4);

    list = buildQuickCurveList({entry(3, false, "three"), entry(1, true, "one"), entry(2, false, "two")});
    EXPECT_EQ(list.items, (Items{"Select...", "one", "--------", "two", "three"}));
    EXPECT_EQ(list.rows[1].itemNumber, 4);
    EXPECT_EQ(list.rows[2].itemNumber, 5);
    EXPECT_EQ(quickCurveRowForItem(list, 1), nullptr);
    EXPECT_EQ(quickCurveRowForItem(list, 3), nullptr);  // the separator
    ASSERT_NE(quickCurveRowForItem(list, 4), nullptr);
    EXPECT_EQ(quickCurveRowForItem(list, 4)->entry.name, "two");

    // No separator after the last entry; shared keys show each entry once;
    // keys compare unsigned.
    list = buildQuickCurveList({entry(200, true, "z"), entry(2, false, "b1"), entry(2, false, "b2")});
    EXPECT_EQ(list.items, (Items{"Select...", "b1", "b2", "z"}));

    list = buildQuickCurveList({});
    EXPECT_EQ(list.items, (Items{"N/A"}));
    EXPECT_EQ(quickCurveRowForItem(list, 1), nullptr);
}

TEST(QuickCurveFolder, ListsFiftyFilesAndLoadsOnlyWellFormedOnes) {
    std::string pattern = (fs::temp_directory_path() / "cc-quick-XXXXXX").string();
    fs::path folder = mkdtemp(pattern.data());
    auto write = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream(folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    };
    write("a.QZM", makeFile(0, 9, true, "first"));
    write("b.qzm", makeFile(1, 10, false, "second"));
    std::vector<uint8_t> longer = makeFile(0, 0, false, "long");
    longer.push_back(0);
    write("c.qzm", longer);
    std::vector<uint8_t> wrongTag = makeFile(0, 0, false, "tag");
    wrongTag[0] = 'X';
    write("d.qzm", wrongTag);
    write("notes.txt", {1, 2, 3});
    fs::create_directory(folder / "e-folder.qzm");
    QuickCurveList list = buildQuickCurveList(loadQuickCurveFolder(folder.string()));
    EXPECT_EQ(list.items, (Items{"Select...", "first", "--------", "second"}));
    EXPECT_EQ(list.rows[1].entry.values[1][20], 2000);

    for (int i = 0; i < 60; ++i) write("z" + std::to_string(100 + i) + ".qzm", makeFile(0, 1, false, "n"));
    std::vector<std::string> listed = listQuickCurveFiles(folder.string());
    ASSERT_EQ(listed.size(), kMaxQuickCurveFiles);
    EXPECT_EQ(fs::path(listed.front()).filename().string(), "a.QZM");
    EXPECT_EQ(fs::path(listed.back()).filename().string(), "z145.qzm");
    EXPECT_TRUE(listQuickCurveFiles((folder / "missing").string()).empty());
    fs::remove_all(folder);
}
