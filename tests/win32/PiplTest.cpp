// The plug-in's property list: its bytes as the host reads them from the
// built library (and from this test program, which carries the same
// resources), checked against the layout written out field by field, and the
// reader fed truncated, corrupted and hostile lists.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "host/PiplReader.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void putCode(Bytes& b, const char* code) {  // "8BIM" is stored "MIB8"
    for (int i = 3; i >= 0; --i) b.push_back(uint8_t(code[i]));
}
void putText(Bytes& b, const char* text, size_t size) {
    const size_t n = std::strlen(text);
    for (size_t i = 0; i < size; ++i) b.push_back(i < n ? uint8_t(text[i]) : 0);
}
void property(Bytes& b, const char* key, uint32_t length, const Bytes& value) {
    putCode(b, "8BIM");
    putCode(b, key);
    put32(b, 0);
    put32(b, length);
    b.insert(b.end(), value.begin(), value.end());
}

// The list as the plug-in's table gives it, with our menu and category names.
Bytes expectedPipl(bool win64) {
    Bytes b = {1, 0};
    put32(b, 0);
    put32(b, 9);
    Bytes kind;
    putCode(kind, "8BFM");
    property(b, "kind", 4, kind);
    Bytes name = {17};
    putText(name, "Crisp+Calm 2.2...", 19);  // 18 bytes padded to 20, stated as 20
    property(b, "name", 20, name);
    Bytes category = {6, 'T', 'a', 'r', 'v', 'o', 174, 0};
    property(b, "catg", 8, category);
    property(b, "vers", 4, Bytes{0, 0, 4, 0});
    Bytes entry;
    putText(entry, "PluginMain", 12);
    property(b, win64 ? "8664" : "wx86", 12, entry);
    property(b, "mode", 4, Bytes{0x18, 0x00, 0, 0});
    Bytes hstm;
    put32(hstm, 0);
    putCode(hstm, "sdK8");
    putCode(hstm, "shpE");
    hstm.push_back(16000 & 0xFF);
    hstm.push_back(16000 >> 8);
    putText(hstm, "Tarvo\xae Crisp+Calm 2.2", 48 - 14);
    property(b, "hstm", 48, hstm);
    Bytes enbl;
    putText(enbl, "in (PSHOP_ImageMode, RGBMode, CMYKMode,RGB48Mode, Gray16Mode) || PSHOP_ImageDepth == 16", 92);
    property(b, "enbl", 92, enbl);
    Bytes fici;
    for (uint8_t flags : {0x06, 0x0E, 0x0E, 0x06, 0x0E, 0x06, 0x0E}) fici.insert(fici.end(), {4, 4, flags, 0});
    property(b, "fici", 28, fici);
    return b;
}

constexpr bool kWin64 = sizeof(void*) == 8;

Bytes piplOf(HMODULE module) {
    HRSRC resource =
        FindResourceExA(module, "PIPL", MAKEINTRESOURCEA(16000), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (!resource) return {};
    HGLOBAL loaded = LoadResource(module, resource);
    const uint8_t* data = static_cast<const uint8_t*>(LockResource(loaded));
    return Bytes(data, data + SizeofResource(module, resource));
}

void checkParsed(const Bytes& bytes) {
    PiplInfo info;
    std::string error;
    ASSERT_TRUE(readPipl(bytes.data(), bytes.size(), info, error)) << error;
    EXPECT_EQ(info.header, 1);
    ASSERT_EQ(info.properties.size(), 9u);
    for (const PiplProperty& p : info.properties) {
        EXPECT_EQ(fourCCText(p.vendor), "8BIM");
        EXPECT_EQ((p.valueOffset - 10) % 4, 0u) << fourCCText(p.key);  // every property starts 4-aligned
    }
    EXPECT_EQ(info.properties[0].valueOffset, 26u);  // 10-byte header, 16-byte property header
    EXPECT_EQ(info.name, "Crisp+Calm 2.2...");
    EXPECT_EQ(info.category, "Tarvo\xae");
    EXPECT_EQ(info.interfaceVersion, 0x00040000);
    EXPECT_EQ(info.modeFlags(), 0x1800);
    EXPECT_EQ(info.filterCases.size(), 7u);
    EXPECT_EQ(info.terminologyId, 16000);
    EXPECT_EQ(fourCCText(info.terminologyClass), "sdK8");
    EXPECT_EQ(fourCCText(info.terminologyEvent), "shpE");
    EXPECT_EQ(info.terminologyScope, "Tarvo\xae Crisp+Calm 2.2");
    EXPECT_EQ(kWin64 ? info.entryWin64 : info.entryWin32, "PluginMain");
    EXPECT_TRUE((kWin64 ? info.entryWin32 : info.entryWin64).empty());  // only this width's key
    std::string entry;
    EXPECT_TRUE(checkFilterPipl(info, kWin64, entry, error)) << error;
    EXPECT_EQ(entry, "PluginMain");
    EXPECT_FALSE(checkFilterPipl(info, !kWin64, entry, error));
}

}  // namespace

TEST(PiplResource, ThisProgramCarriesTheExactBytes) {
    const Bytes bytes = piplOf(GetModuleHandleA(nullptr));
    ASSERT_EQ(bytes.size(), 374u);
    EXPECT_EQ(bytes, expectedPipl(kWin64));
    checkParsed(bytes);
}

TEST(PiplResource, TheBuiltPluginCarriesTheExactBytesAndVersion) {
    if (GetFileAttributesA(CC_PLUGIN_PATH) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "not built: " << CC_PLUGIN_PATH;
    HMODULE plugin = LoadLibraryExA(CC_PLUGIN_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(plugin, nullptr);
    const Bytes bytes = piplOf(plugin);
    EXPECT_EQ(bytes, expectedPipl(kWin64));
    checkParsed(bytes);
    for (int id : {128, 129})
        EXPECT_NE(FindResourceA(plugin, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(12)), nullptr) << id;  // cursor groups
    for (int id = 130; id <= 133; ++id)
        EXPECT_NE(FindResourceA(plugin, MAKEINTRESOURCEA(id), RT_BITMAP), nullptr) << id;
    FreeLibrary(plugin);

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(CC_PLUGIN_PATH, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(CC_PLUGIN_PATH, 0, size, info.data()));
    auto value = [&](const char* name) {
        char* text = nullptr;
        UINT length = 0;
        const std::string path = std::string("\\StringFileInfo\\040904E4\\") + name;
        if (!VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) || !text)
            return std::string();
        return std::string(text);
    };
    EXPECT_EQ(value("ProductName"), "Tarvo Crisp+Calm");
    EXPECT_EQ(value("FileDescription"), "Tarvo Crisp+Calm Plug-in");
    EXPECT_EQ(value("InternalName"), "Tarvo Crisp+Calm Plug-in");
    EXPECT_EQ(value("FileVersion"), "2.2");
    EXPECT_EQ(value("ProductVersion"), "2.2");
}

TEST(PiplResource, GeneratedFileMatchesTheCompiledResource) {
    std::ifstream file(CC_PIPL_BIN_PATH, std::ios::binary);
    if (!file) GTEST_SKIP() << "no " << CC_PIPL_BIN_PATH;
    const Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, piplOf(GetModuleHandleA(nullptr)));
}

// Where a host's walker finds each property's key when it steps to the next
// one by the stated length, rounded up to 4 or taken as it is.
std::vector<std::pair<uint32_t, size_t>> walk(const Bytes& b, bool roundUp) {
    std::vector<std::pair<uint32_t, size_t>> found;
    auto u32 = [&](size_t at) {
        return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
    };
    size_t at = 10;
    for (uint32_t i = 0, count = u32(6); i < count && at + 16 <= b.size(); ++i) {
        found.emplace_back(u32(at + 4), at + 16);
        const size_t length = u32(at + 12);
        at += 16 + (roundUp ? (length + 3) / 4 * 4 : length);
    }
    return found;
}

TEST(PiplResource, WalkersWithAndWithoutPaddingFindTheSameProperties) {
    for (bool win64 : {false, true}) {
        const Bytes b = expectedPipl(win64);
        PiplInfo info;
        std::string error;
        ASSERT_TRUE(readPipl(b.data(), b.size(), info, error)) << error;
        const auto plain = walk(b, false), rounding = walk(b, true);
        ASSERT_EQ(plain.size(), info.properties.size());
        EXPECT_EQ(plain, rounding);
        for (size_t i = 0; i < plain.size(); ++i) {
            EXPECT_EQ(plain[i].first, info.properties[i].key) << i;
            EXPECT_EQ(plain[i].second, info.properties[i].valueOffset) << i;
        }
    }
}

TEST(PiplReader, EveryTruncationIsRejectedCleanly) {
    const Bytes good = expectedPipl(kWin64);
    for (size_t n = 0; n < good.size(); ++n) {
        PiplInfo info;
        std::string error;
        EXPECT_FALSE(readPipl(good.data(), n, info, error)) << n;
        EXPECT_FALSE(error.empty()) << n;
    }
    PiplInfo info;
    std::string error;
    EXPECT_FALSE(readPipl(nullptr, 100, info, error));
    // Only the last value may end without its padding.
    Bytes shortLast = {1, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    property(shortLast, "catg", 3, Bytes{2, 'a', 'b'});
    EXPECT_TRUE(readPipl(shortLast.data(), shortLast.size(), info, error)) << error;
    EXPECT_EQ(info.category, "ab");
}

TEST(PiplReader, CorruptedBytesNeverReadOutside) {
    const Bytes good = expectedPipl(kWin64);
    // Flip every bit in turn; parse a copy of exactly the list's size so any
    // read past it would be a fault the checks must prevent.
    size_t accepted = 0;
    for (size_t i = 0; i < good.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            Bytes bad = good;
            bad[i] ^= uint8_t(1 << bit);
            PiplInfo info;
            std::string error;
            if (readPipl(bad.data(), bad.size(), info, error))
                ++accepted;
            else
                EXPECT_FALSE(error.empty());
        }
    }
    EXPECT_GT(accepted, 0u);  // flips inside texts still parse
}

TEST(PiplReader, ClearMessagesForBadLists) {
    auto parse = [](const Bytes& b, std::string& error) {
        PiplInfo info;
        return readPipl(b.data(), b.size(), info, error);
    };
    std::string error;
    Bytes b = expectedPipl(kWin64);
    b[2] = 1;  // list version 1
    EXPECT_FALSE(parse(b, error));
    EXPECT_NE(error.find("version"), std::string::npos);

    b = expectedPipl(kWin64);
    b[6] = 200;  // more properties than bytes
    EXPECT_FALSE(parse(b, error));
    EXPECT_NE(error.find("count"), std::string::npos);

    b = expectedPipl(kWin64);
    b[46] = 200;  // the name's length byte runs past its value
    EXPECT_FALSE(parse(b, error));
    EXPECT_NE(error.find("name"), std::string::npos);

    b = expectedPipl(kWin64);
    for (size_t i = 0; i < 12; ++i) b[126 + i] = 'X';  // entry point without zero
    EXPECT_FALSE(parse(b, error));
    EXPECT_NE(error.find("terminating zero"), std::string::npos) << error;

    b = expectedPipl(kWin64);
    b[22] = 0xFF;  // 'kind' length far past the end
    b[23] = 0xFF;
    b[24] = 0xFF;
    b[25] = 0x7F;
    EXPECT_FALSE(parse(b, error));
    EXPECT_NE(error.find("past the end"), std::string::npos);

    // A well-formed list that is not a filter, or is too new.
    b = expectedPipl(kWin64);
    b[26] = 'X';
    PiplInfo info;
    ASSERT_TRUE(readPipl(b.data(), b.size(), info, error));
    std::string entry;
    EXPECT_FALSE(checkFilterPipl(info, kWin64, entry, error));
    EXPECT_NE(error.find("not a filter"), std::string::npos);
    b = expectedPipl(kWin64);
    b[108] = 5;  // 'vers' 5.0
    ASSERT_TRUE(readPipl(b.data(), b.size(), info, error));
    EXPECT_FALSE(checkFilterPipl(info, kWin64, entry, error));
    EXPECT_NE(error.find("interface version 5"), std::string::npos);
}
