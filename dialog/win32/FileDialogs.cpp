#include "dialog/win32/FileDialogs.h"

#include <windows.h>
// After windows.h, which they rely on.
#include <commdlg.h>
#include <shlwapi.h>

#include <cstring>

#include "dialog/DataFile.h"
#include "dialog/FileDialogRules.h"

namespace {

// The filter text of one entry: text, NUL, pattern, NUL, and the list's NUL.
std::string filterOf(const std::string& pattern) { return pattern + '\0' + pattern + '\0' + '\0'; }

HWND dialogOwner() { return GetActiveWindow(); }

// The fields both file dialogs share: owner, the one filter, the name buffer.
OPENFILENAMEA fileDialogFields(const std::string& filter, char* name, DWORD nameSize, DWORD flags) {
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = dialogOwner();
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = name;
    ofn.nMaxFile = nameSize;
    ofn.Flags = flags;
    return ofn;
}

}  // namespace

bool chooseFileToOpen(std::string& path, const std::vector<std::string>& extensions) {
    char name[kMaxPathLength + 1] = {};
    const std::string filter = filterOf(openFilterPattern(extensions));
    OPENFILENAMEA ofn =
        fileDialogFields(filter, name, sizeof name, OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY);
    if (!GetOpenFileNameA(&ofn)) return false;
    path = name;
    return true;
}

bool chooseFileToSave(std::string& path, const std::string& extension) {
    char name[kMaxPathLength + 1] = {};
    const std::string proposed = nameWithExtension(path, extension, true);
    std::strncpy(name, proposed.c_str(), kMaxPathLength);
    const std::string filter = filterOf(saveFilterPattern(extension));
    OPENFILENAMEA ofn =
        fileDialogFields(filter, name, sizeof name, OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY);
    if (!GetSaveFileNameA(&ofn)) return false;
    const std::string chosen = nameWithExtension(name, extension, false);
    if (chosen.size() > kMaxPathLength) return false;
    path = chosen;
    return true;
}

bool locateFolder(std::string& path, FolderKind kind) {
    char buffer[kMaxPathLength + 1] = {};
    if (kind == FolderKind::ProgramFiles) {
        const UINT n = GetWindowsDirectoryA(buffer, sizeof buffer);
        if (n < 1 || n > kMaxPathLength) return false;
        char root[MAX_PATH + 16] = {};
        const int drive = PathGetDriveNumberA(buffer);
        if (drive < 0 || !PathBuildRootA(root, drive)) return false;
        if (!PathAppendA(root, "Program Files") || !PathIsDirectoryA(root)) return false;
        path = root;
        return true;
    }
    if (kind == FolderKind::HostApplication) {
        const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
        if (n < 1 || n > kMaxPathLength) return false;
        const std::string full(buffer, n);
        const std::string folder = folderOfExecutable(full, PathFindFileNameA(buffer));
        if (folder.empty()) return false;
        path = folder;
        return true;
    }
    return false;
}

namespace {

class Win32FolderAccess : public FolderAccess {
public:
    bool enumerate(const std::string& folder, const std::string& pattern,
                   const std::function<bool(const FolderEntry&)>& visit) override {
        const std::string query = joinPath(folder, pattern, '\\');
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA(query.c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) {
            // An empty match is a listing too; only a folder that is not there fails.
            return GetLastError() == ERROR_FILE_NOT_FOUND && PathIsDirectoryA(folder.c_str());
        }
        do {
            FolderEntry e;
            e.name = data.cFileName;
            e.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            e.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            // FindFirstFileA also matches the short names of long extensions.
            if (!matchesPattern(e.name, pattern)) continue;
            if (!visit(e)) break;
        } while (FindNextFileA(find, &data));
        FindClose(find);
        return true;
    }

    bool findIn(const std::string& folder, const std::string& name, std::string& path) override {
        char found[kMaxPathLength + 1] = {};
        char* filePart = nullptr;
        const DWORD n = SearchPathA(folder.c_str(), name.c_str(), nullptr, sizeof found, found, &filePart);
        if (n < 1 || n > kMaxPathLength) return false;
        path.assign(found, n);
        return true;
    }

    char separator() const override { return '\\'; }
};

}  // namespace

FolderAccess& win32FolderAccess() {
    static Win32FolderAccess access;
    return access;
}
