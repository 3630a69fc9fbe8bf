#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "dialog/DataFile.h"
#include "dialog/FileDialogRules.h"
#include "dialog/FolderSearch.h"

namespace {

namespace fs = std::filesystem;

struct TempFolder {
    fs::path path;
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "cc-files-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string file(const std::string& name, size_t bytes) const {
        fs::path p = path / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << std::string(bytes, 'x');
        return p.string();
    }
};

}  // namespace

TEST(DataFile, OpensOnceMeasuresAndReadsExactly) {
    TempFolder t;
    const std::string path = t.file("curves.qzm", 6219);
    DataFile f;
    EXPECT_FALSE(f.open(FileMode::Read));  // no path yet
    EXPECT_EQ(f.size(), -1);
    ASSERT_TRUE(f.setPath(path));
    EXPECT_EQ(f.size(), 6219);
    ASSERT_TRUE(f.open(FileMode::Read));
    EXPECT_FALSE(f.open(FileMode::Read));
    EXPECT_FALSE(f.setPath(path + "x"));  // not while open
    char head[100];
    ASSERT_TRUE(f.read(head, 100));
    EXPECT_EQ(f.size(), 6219);
    std::vector<char> rest(6119);
    EXPECT_TRUE(f.read(rest.data(), rest.size()));  // the position survived the measurement
    EXPECT_FALSE(f.read(head, 1));
    EXPECT_FALSE(f.write(head, 1));  // opened for reading
    f.close();
    EXPECT_FALSE(f.read(head, 1));

    ASSERT_TRUE(f.setPath((t.path / "missing").string()));
    EXPECT_EQ(f.size(), -1);
    EXPECT_FALSE(f.open(FileMode::Read));
    EXPECT_FALSE(f.open(FileMode::ReadWrite));
    ASSERT_TRUE(f.open(FileMode::Write));
    EXPECT_TRUE(f.write("abc", 3));
    f.close();
    EXPECT_EQ(f.size(), 3);

    FileMode m;
    EXPECT_TRUE(fileModeFromCode(3, m));
    EXPECT_EQ(m, FileMode::ReadWrite);
    EXPECT_FALSE(fileModeFromCode(0, m));
    EXPECT_FALSE(fileModeFromCode(4, m));
}

TEST(DataFile, RefusesPathsBeyondTheLimitInsteadOfShortening) {
    DataFile f;
    EXPECT_TRUE(f.setPath(std::string(1023, 'a')));
    EXPECT_FALSE(f.setPath(std::string(1024, 'a')));
    EXPECT_TRUE(f.path().empty());
    EXPECT_FALSE(f.open(FileMode::Write));
}

TEST(FolderSearch, FindsNamedFolderDepthFirst) {
    TempFolder t;
    fs::create_directories(t.path / "a" / "b" / "c" / "Target");
    fs::create_directories(t.path / "z" / "Target");
    FolderAccess& fa = standardFolderAccess();
    std::string found;
    ASSERT_TRUE(findNamedEntry(fa, t.path.string(), "Target", &found, true));
    EXPECT_EQ(found, (t.path / "a" / "b" / "c" / "Target").string());  // first branch wins, three levels down
    EXPECT_FALSE(findNamedEntry(fa, t.path.string(), "Target", &found, false));
    ASSERT_TRUE(findNamedEntry(fa, (t.path / "z").string(), "Target", &found, false));
    EXPECT_EQ(found, (t.path / "z" / "Target").string());
    EXPECT_FALSE(findNamedEntry(fa, t.path.string(), "Other", &found, true));
    EXPECT_FALSE(findNamedEntry(fa, "", "Target", &found, true));
    EXPECT_FALSE(findNamedEntry(fa, t.path.string(), "", &found, true));
    EXPECT_FALSE(findNamedEntry(fa, t.path.string(), "Target", nullptr, true));

    // Forty levels deep: no depth limit.
    fs::path deep = t.path / "deep";
    for (int i = 0; i < 40; ++i) deep /= "d";
    fs::create_directories(deep / "Found");
    ASSERT_TRUE(findNamedEntry(fa, (t.path / "deep").string(), "Found", &found, true));
    EXPECT_EQ(found, (deep / "Found").string());

    // A link back up is not followed, and a tree of more folders than the
    // search visits ends without finding what lies beyond them.
    fs::create_directory_symlink(t.path, t.path / "a" / "up");
    fs::create_directories(t.path / "wide");
    for (int i = 0; i < kMaxSearchedFolders + 10; ++i)
        fs::create_directory(t.path / "wide" / std::to_string(10000 + i));
    fs::create_directories(t.path / "wide" / "zz" / "Late");
    EXPECT_FALSE(findNamedEntry(fa, t.path.string(), "Late", &found, true));
    EXPECT_TRUE(findNamedEntry(fa, (t.path / "wide" / "zz").string(), "Late", &found, true));
}

TEST(FolderSearch, ListsFilesOfOneExtension) {
    TempFolder t;
    for (int i = 0; i < 60; ++i) t.file("f" + std::to_string(100 + i) + ".qzm", 1);
    t.file("upper.QZM", 1);
    t.file("other.txt", 1);
    fs::create_directory(t.path / "folder.qzm");
    FolderAccess& fa = standardFolderAccess();
    std::vector<std::string> paths;
    ASSERT_TRUE(listFilesWithExtension(fa, t.path.string(), "qzm", &paths, 50));
    ASSERT_EQ(paths.size(), 50u);
    EXPECT_EQ(paths.front(), (t.path / "f100.qzm").string());
    EXPECT_EQ(paths.back(), (t.path / "f149.qzm").string());
    ASSERT_TRUE(listFilesWithExtension(fa, t.path.string(), "qzm", &paths, 100));
    EXPECT_EQ(paths.size(), 61u);  // the upper-case one too, not the folder
    ASSERT_TRUE(listFilesWithExtension(fa, t.path.string(), "", &paths, 100));
    EXPECT_EQ(paths.size(), 62u);
    ASSERT_TRUE(listFilesWithExtension(fa, t.path.string(), "none", &paths, 5));
    EXPECT_TRUE(paths.empty());
    EXPECT_FALSE(listFilesWithExtension(fa, t.path.string(), "qzm", &paths, 0));
    EXPECT_FALSE(listFilesWithExtension(fa, "", "qzm", &paths, 5));
    EXPECT_FALSE(listFilesWithExtension(fa, t.path.string(), "qzm", nullptr, 5));
    EXPECT_FALSE(listFilesWithExtension(fa, (t.path / "missing").string(), "qzm", &paths, 5));
}

TEST(FolderSearch, PathsOfTheLimitAreListedLongerOnesSkipped) {
    TempFolder t;
    // A folder whose path leaves room for names giving 1,023 and 1,024
    // characters in all.
    fs::path folder = t.path;
    while (folder.string().size() < 900) folder /= std::string(100, 'p');
    fs::create_directories(folder);
    const size_t base = folder.string().size() + 1;  // with the separator
    const std::string fits = std::string(1023 - base - 4, 'a') + ".qzm";
    const std::string beyond = std::string(1024 - base - 4, 'b') + ".qzm";
    t.file((folder / fits).string().substr(t.path.string().size() + 1), 1);
    t.file((folder / beyond).string().substr(t.path.string().size() + 1), 1);
    std::vector<std::string> paths;
    ASSERT_TRUE(listFilesWithExtension(standardFolderAccess(), folder.string(), "qzm", &paths, 50));
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0].size(), 1023u);
    DataFile f;
    EXPECT_TRUE(f.setPath(paths[0]));
    EXPECT_EQ(f.size(), 1);
}

TEST(FileDialogRules, NamesAndPatterns) {
    EXPECT_EQ(openFilterPattern({"qzr3", "qzr4"}), "*.qzr3;*.qzr4");
    EXPECT_EQ(openFilterPattern({}), "*.*");
    EXPECT_EQ(saveFilterPattern("qzr3"), "*.qzr3");
    EXPECT_EQ(saveFilterPattern(""), "*.*");
    struct Case {
        const char* name;
        const char* extension;
        bool untitled;
        const char* want;
    };
    const Case cases[] = {
        {"", "qzr3", true, "untitled.qzr3"},
        {"soft", "qzr4", true, "soft.qzr4"},
        {"SOFT.QZR4", "qzr4", false, "SOFT.QZR4"},
        {"a.qzr3", "qzr4", false, "a.qzr3.qzr4"},
        {"zr4", "qzr4", false, "zr4.qzr4"},
        {"name", "", true, "name"},
        {"", "", false, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(nameWithExtension(c.name, c.extension, c.untitled), c.want) << c.name;
    EXPECT_EQ(folderOfExecutable("C:\\Apps\\Host\\host.exe", "host.exe"), "C:\\Apps\\Host\\");
    EXPECT_EQ(folderOfExecutable("C:\\Apps\\host.exe", "other.exe"), "");
    EXPECT_EQ(folderOfExecutable("", "host.exe"), "");
    EXPECT_EQ(folderOfExecutable(std::string(1024, 'a'), "a"), "");
}
