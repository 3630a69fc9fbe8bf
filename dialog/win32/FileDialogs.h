// The Windows side of the dialog's file features: the system's open and save
// dialogs, the lookup of well-known folders, and the folder listing through
// the Win32 file functions.
#pragma once

#include <string>
#include <vector>

#include "dialog/FolderSearch.h"

// Asks for an existing file with one filter of the given extensions (all files
// without any). False when the user cancelled.
bool chooseFileToOpen(std::string& path, const std::vector<std::string>& extensions);
// Asks for a name to save under, proposing path ("untitled" when empty), with
// the extension appended unless the name ends with it; asks before
// overwriting. False when the user cancelled.
bool chooseFileToSave(std::string& path, const std::string& extension);

enum class FolderKind {
    ProgramFiles,     // "Program Files" at the root of the Windows folder's drive
    HostApplication,  // the folder of the host's executable, with its separator
};
bool locateFolder(std::string& path, FolderKind kind);

// FolderAccess through FindFirstFileA and SearchPathA.
FolderAccess& win32FolderAccess();
