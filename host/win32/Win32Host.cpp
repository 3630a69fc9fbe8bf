// crispcalm-host: loads a filter plug-in (.8bf) with LoadLibrary, reads and
// checks its property list, and calls it through the stand-in host core.
//
//   crispcalm-host PLUGIN.8bf            describe the plug-in
//   crispcalm-host --about PLUGIN.8bf    also show its about box
//
// Exit codes: 0 done, 1 wrong arguments, 2 the library cannot be loaded, 3 it
// is not a filter this host can call.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/HostCore.h"
#include "host/PiplReader.h"

namespace {

constexpr int kPiplId = 16000;

// The first PIPL resource of the module: id 16000, or any other id.
BOOL CALLBACK firstName(HMODULE, LPCSTR, LPSTR name, LONG_PTR found) {
    *reinterpret_cast<LPCSTR*>(found) = name;
    return FALSE;
}

bool loadPiplBytes(HMODULE module, std::vector<uint8_t>& bytes) {
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(kPiplId), "PIPL");
    if (!resource) {
        LPCSTR name = nullptr;
        EnumResourceNamesA(module, "PIPL", firstName, reinterpret_cast<LONG_PTR>(&name));
        if (name) resource = FindResourceA(module, name, "PIPL");
    }
    if (!resource) return false;
    const DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    const uint8_t* data = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    if (!data) return false;
    bytes.assign(data, data + size);
    return true;
}

void describe(const PiplInfo& info, const std::string& entry) {
    std::printf("name: %s\n", info.name.c_str());
    std::printf("category: %s\n", info.category.c_str());
    std::printf("entry point: %s\n", entry.c_str());
    std::printf("interface version: %d.%d\n", info.interfaceVersion >> 16, info.interfaceVersion & 0xFFFF);
    std::printf("mode flags: 0x%04X\n", unsigned(info.modeFlags()));
    std::printf("filter cases: %zu\n", info.filterCases.size());
}

int run(const char* path, bool about) {
    HMODULE module = LoadLibraryA(path);
    if (!module) {
        std::fprintf(stderr, "crispcalm-host: cannot load %s (error %lu)\n", path, GetLastError());
        return 2;
    }
    std::vector<uint8_t> bytes;
    PiplInfo info;
    std::string error, entryName;
    if (!loadPiplBytes(module, bytes)) {
        error = "the library has no PIPL resource";
    } else if (readPipl(bytes.data(), bytes.size(), info, error)) {
        checkFilterPipl(info, sizeof(void*) == 8, entryName, error);
    }
    PluginMainProc entry = nullptr;
    if (error.empty()) {
        entry = reinterpret_cast<PluginMainProc>(reinterpret_cast<void*>(GetProcAddress(module, entryName.c_str())));
        if (!entry) error = "the library does not export its entry point " + entryName;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "crispcalm-host: %s is not a filter this host can use: %s\n", path, error.c_str());
        FreeLibrary(module);
        return 3;
    }
    describe(info, entryName);
    std::fflush(stdout);
    if (about) {
        HostCore host;
        host.call(entry, filterSelectorAbout);
        for (const std::string& url : host.stats().browsedUrls) std::printf("browse: %s\n", url.c_str());
    }
    FreeLibrary(module);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool about = false;
    const char* path = nullptr;
    int paths = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--about") == 0) {
            about = true;
        } else {
            path = argv[i];
            ++paths;
        }
    }
    if (paths != 1) {
        std::fprintf(stderr, "usage: crispcalm-host [--about] PLUGIN.8bf\n");
        return 1;
    }
    return run(path, about);
}
