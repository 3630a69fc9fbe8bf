#include <windows.h>

#include "host/PluginLibrary.h"

PluginLibrary::~PluginLibrary() {
    if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
}

bool PluginLibrary::open(const std::string& path, std::string& error) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) {
        error = "cannot load the plug-in " + path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    handle_ = module;
    FARPROC symbol = GetProcAddress(module, "PluginMain");
    if (!symbol) {
        error = "the plug-in " + path + " exports no PluginMain";
        return false;
    }
    entry_ = reinterpret_cast<PluginMainProc>(reinterpret_cast<void*>(symbol));
    return true;
}

std::string defaultPluginPath(const char*) {
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self, n);
    size_t slash = dir.find_last_of("\\/");
    dir = slash == std::string::npos ? "." : dir.substr(0, slash);
    return dir + (sizeof(void*) == 8 ? "\\CrispCalm64.8bf" : "\\CrispCalm.8bf");
}
