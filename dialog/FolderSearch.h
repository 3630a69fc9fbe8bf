// Searching folders: a named folder anywhere below a start folder (depth
// first), and the files of one extension directly in a folder. The searches
// are written once over FolderAccess, the few things they need from the file
// system; the standard library serves it everywhere and the Win32 calls serve
// it in the plug-in.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct FolderEntry {
    std::string name;  // without folder
    bool isFolder = false;
    bool isLink = false;  // a symbolic link or other reparse point
};

class FolderAccess {
public:
    virtual ~FolderAccess() = default;
    // Calls visit for each entry of folder whose name matches pattern ("*.*"
    // or "*." plus an extension, letter case ignored) in the platform's order,
    // until visit answers false. False when the folder cannot be listed.
    virtual bool enumerate(const std::string& folder, const std::string& pattern,
                           const std::function<bool(const FolderEntry&)>& visit) = 0;
    // The full path of an entry called name directly in folder, or false.
    virtual bool findIn(const std::string& folder, const std::string& name, std::string& path) = 0;
    virtual char separator() const = 0;
};

// The standard library's view of the file system; entries come in name order
// so that every file system lists them alike.
FolderAccess& standardFolderAccess();

// folder + separator + name, without doubling a separator that ends folder.
std::string joinPath(const std::string& folder, const std::string& name, char separator);
// The listing pattern of an extension: "*." and at most its first 17
// characters, or "*.*" when it is empty.
std::string extensionPattern(const std::string& extension);
// Whether name matches such a pattern, letter case ignored.
bool matchesPattern(const std::string& name, const std::string& pattern);

// Looks for an entry called name in folder and, with searchSubfolders, depth
// first through the folders below it, without a depth limit. Links are not
// followed (a link to a parent would never end) and the search gives up after
// kMaxSearchedFolders folders, so that a start folder high in a large tree
// cannot hold the dialog for long. Paths longer than kMaxPathLength are not
// accepted.
constexpr int kMaxSearchedFolders = 2000;
bool findNamedEntry(FolderAccess& access, const std::string& folder, const std::string& name, std::string* path,
                    bool searchSubfolders);

// The files (not folders) of folder matching extension, at most maximum of
// them in listing order. A file whose full path would exceed kMaxPathLength is
// skipped rather than shortened. False when the arguments are unusable or the
// folder cannot be listed; an empty listing succeeds.
bool listFilesWithExtension(FolderAccess& access, const std::string& folder, const std::string& extension,
                            std::vector<std::string>* paths, int maximum);
