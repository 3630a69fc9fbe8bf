#include "dialog/FileDialogRules.h"

#include <cctype>

#include "dialog/DataFile.h"

std::string openFilterPattern(const std::vector<std::string>& extensions) {
    if (extensions.empty()) return "*.*";
    std::string pattern;
    for (const std::string& e : extensions) {
        if (!pattern.empty()) pattern += ';';
        pattern += "*." + e;
    }
    return pattern;
}

std::string saveFilterPattern(const std::string& extension) { return extension.empty() ? "*.*" : "*." + extension; }

namespace {

bool endsWithNoCase(const std::string& text, const std::string& ending) {
    if (text.size() < ending.size()) return false;
    for (size_t i = 0; i < ending.size(); ++i) {
        const unsigned char a = static_cast<unsigned char>(text[text.size() - ending.size() + i]);
        if (std::tolower(a) != std::tolower(static_cast<unsigned char>(ending[i]))) return false;
    }
    return true;
}

}  // namespace

std::string nameWithExtension(const std::string& name, const std::string& extension, bool proposeUntitled) {
    std::string result = name.empty() && proposeUntitled ? "untitled" : name;
    if (!extension.empty() && !endsWithNoCase(result, "." + extension)) result += "." + extension;
    return result;
}

std::string folderOfExecutable(const std::string& fullPath, const std::string& fileName) {
    if (fullPath.empty() || fileName.empty() || fullPath.size() > kMaxPathLength || fileName.size() > kMaxPathLength)
        return "";
    if (fullPath.size() <= fileName.size() ||
        fullPath.compare(fullPath.size() - fileName.size(), fileName.size(), fileName) != 0)
        return "";
    return fullPath.substr(0, fullPath.size() - fileName.size());
}
