// Loads a plug-in library and finds its PluginMain: dlopen on Linux,
// LoadLibrary on Windows.
#pragma once

#include <string>

#include "hostapi/PluginHost.h"

class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // False with a reason when the file cannot be loaded or has no PluginMain.
    bool open(const std::string& path, std::string& error);
    PluginMainProc entry() const { return entry_; }

private:
    void* handle_ = nullptr;
    PluginMainProc entry_ = nullptr;
};

// The plug-in shipped beside the program (or in ../lib): libCrispCalm.so on
// Linux, CrispCalm.8bf or CrispCalm64.8bf on Windows by the program's width.
std::string defaultPluginPath(const char* argv0);
