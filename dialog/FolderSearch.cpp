#include "dialog/FolderSearch.h"

#include <cctype>

#include "dialog/DataFile.h"

std::string joinPath(const std::string& folder, const std::string& name, char separator) {
    if (folder.empty()) return name;
    const char last = folder.back();
    if (last == separator || last == '/' || last == '\\') return folder + name;
    return folder + separator + name;
}

std::string extensionPattern(const std::string& extension) {
    if (extension.empty()) return "*.*";
    return "*." + extension.substr(0, 17);
}

bool matchesPattern(const std::string& name, const std::string& pattern) {
    if (pattern == "*.*" || pattern == "*") return true;
    if (pattern.size() < 2 || pattern[0] != '*' || pattern[1] != '.') return name == pattern;
    const std::string ending = pattern.substr(1);
    if (name.size() <= ending.size()) return false;
    for (size_t i = 0; i < ending.size(); ++i) {
        const unsigned char a = static_cast<unsigned char>(name[name.size() - ending.size() + i]);
        const unsigned char b = static_cast<unsigned char>(ending[i]);
        if (std::tolower(a) != std::tolower(b)) return false;
    }
    return true;
}

namespace {

bool searchFolder(FolderAccess& access, const std::string& folder, const std::string& name, std::string* path,
                  bool searchSubfolders, int& budget) {
    std::string found;
    if (access.findIn(folder, name, found) && !found.empty() && found.size() <= kMaxPathLength) {
        *path = found;
        return true;
    }
    if (!searchSubfolders) return false;
    bool success = false;
    access.enumerate(folder, "*.*", [&](const FolderEntry& e) {
        if (!e.isFolder || e.isLink || e.name == "." || e.name == "..") return true;
        if (--budget < 0) return false;
        success = searchFolder(access, joinPath(folder, e.name, access.separator()), name, path, true, budget);
        return !success && budget >= 0;
    });
    return success;
}

}  // namespace

bool findNamedEntry(FolderAccess& access, const std::string& folder, const std::string& name, std::string* path,
                    bool searchSubfolders) {
    if (folder.empty() || name.empty() || !path) return false;
    int budget = kMaxSearchedFolders;
    return searchFolder(access, folder, name, path, searchSubfolders, budget);
}

bool listFilesWithExtension(FolderAccess& access, const std::string& folder, const std::string& extension,
                            std::vector<std::string>* paths, int maximum) {
    if (folder.empty() || !paths || maximum < 1) return false;
    paths->clear();
    return access.enumerate(folder, extensionPattern(extension), [&](const FolderEntry& e) {
        if (e.isFolder) return true;
        std::string full = joinPath(folder, e.name, access.separator());
        if (full.size() <= kMaxPathLength) paths->push_back(std::move(full));
        return paths->size() < size_t(maximum);
    });
}
