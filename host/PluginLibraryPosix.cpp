#include <dlfcn.h>
#include <unistd.h>

#include <climits>

#include "host/PluginLibrary.h"

PluginLibrary::~PluginLibrary() {
    if (handle_) dlclose(handle_);
}

bool PluginLibrary::open(const std::string& path, std::string& error) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        error = "cannot load the plug-in " + path + ": " + (why ? why : "unknown reason");
        return false;
    }
    void* symbol = dlsym(handle_, "PluginMain");
    if (!symbol) {
        error = "the plug-in " + path + " exports no PluginMain";
        return false;
    }
    entry_ = reinterpret_cast<PluginMainProc>(symbol);
    return true;
}

std::string defaultPluginPath(const char* argv0) {
    std::string dir;
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = 0;
        dir = self;
    } else if (argv0) {
        dir = argv0;
    }
    size_t slash = dir.find_last_of('/');
    dir = slash == std::string::npos ? "." : dir.substr(0, slash);
    const std::string candidates[] = {dir + "/libCrispCalm.so", dir + "/../lib/libCrispCalm.so",
                                      dir + "/../lib/crispcalm/libCrispCalm.so"};
    for (const std::string& c : candidates)
        if (access(c.c_str(), R_OK) == 0) return c;
    return candidates[0];
}
