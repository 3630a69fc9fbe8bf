// FolderAccess through std::filesystem.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "dialog/FolderSearch.h"

namespace {

namespace fs = std::filesystem;

class StandardFolderAccess : public FolderAccess {
public:
    bool enumerate(const std::string& folder, const std::string& pattern,
                   const std::function<bool(const FolderEntry&)>& visit) override {
        std::error_code ec;
        fs::directory_iterator it(fs::path(folder), ec), end;
        if (ec) return false;
        std::vector<FolderEntry> entries;
        for (; !ec && it != end; it.increment(ec)) {
            FolderEntry e;
            e.name = it->path().filename().string();
            if (!matchesPattern(e.name, pattern)) continue;
            std::error_code typeError;
            e.isFolder = it->is_directory(typeError);
            e.isLink = it->is_symlink(typeError);
            entries.push_back(std::move(e));
        }
        std::sort(entries.begin(), entries.end(),
                  [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
        for (const FolderEntry& e : entries)
            if (!visit(e)) break;
        return true;
    }

    bool findIn(const std::string& folder, const std::string& name, std::string& path) override {
        std::error_code ec;
        const fs::path candidate = fs::path(folder) / name;
        if (!fs::exists(candidate, ec) || ec) return false;
        path = candidate.string();
        return true;
    }

    char separator() const override { return char(fs::path::preferred_separator); }
};

}  // namespace

FolderAccess& standardFolderAccess() {
    static StandardFolderAccess access;
    return access;
}
