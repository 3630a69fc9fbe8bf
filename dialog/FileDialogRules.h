// The naming rules of the open and save file dialogs and of the folder
// lookup, kept apart from the Win32 calls so that they can be checked
// everywhere.
#pragma once

#include <string>
#include <vector>

// The single filter of an open dialog: text and pattern are "*." plus each
// extension joined by ";", or "*.*" without extensions.
std::string openFilterPattern(const std::vector<std::string>& extensions);
// The save dialog's pattern: "*." plus the extension, or "*.*".
std::string saveFilterPattern(const std::string& extension);
// name with "." and extension appended unless it already ends with them
// (letter case ignored); an empty name becomes "untitled" first when
// proposeUntitled is set. Unchanged for an empty extension.
std::string nameWithExtension(const std::string& name, const std::string& extension, bool proposeUntitled);
// The folder of an executable, ending with its separator: fullPath cut just
// before fileName. Empty unless both have 1..kMaxPathLength characters and
// fullPath ends with fileName.
std::string folderOfExecutable(const std::string& fullPath, const std::string& fileName);
