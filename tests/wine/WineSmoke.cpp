// Loads a built .8bf the way a host does and answers its first selectors:
// PluginMain is found undecorated, the parameters selector makes a valid
// block and the prepare selector states the memory needs.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "host/HostCore.h"
#include "params/FilterParameters.h"

namespace {
int passed = 0, failed = 0;
void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    (ok ? passed : failed)++;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: cc_wine_smoke PLUGIN.8bf\n");
        return 2;
    }
    HMODULE module = LoadLibraryA(argv[1]);
    check(module != nullptr, "LoadLibrary of the plug-in");
    if (!module) {
        std::printf("0 passed, 1 failed\n");
        return 1;
    }
    auto entry = reinterpret_cast<PluginMainProc>(reinterpret_cast<void*>(GetProcAddress(module, "PluginMain")));
    check(entry != nullptr, "PluginMain exported undecorated");
    if (entry) {
        HostCore host;
        HostImage image;
        makeHostImage(image, 64, 48, 3, 8);
        host.setImage(image);
        check(host.call(entry, filterSelectorParameters) == noErr, "parameters selector answers noErr");
        std::vector<uint8_t> bytes = host.parameterBytes();
        FilterParameters p;
        check(bytes.size() == kFilterParametersSize && readFilterParameters(bytes.data(), bytes.size(), p),
              "parameter block of 24,672 bytes");
        check(p.isValid() && p.showDialog == 1 && p.amount == 50 && p.opacity == 100,
              "block holds the defaults and asks for the dialog");
        check(host.call(entry, filterSelectorPrepare) == noErr, "prepare selector answers noErr");
        check(host.record().bufferSpace == 5600000 && host.record().maxSpace == 16480000,
              "prepare states bufferSpace and maxSpace");
        check(host.call(entry, filterSelectorFinish) == noErr, "finish selector does nothing");
        check(host.stats().liveBuffers == 0, "no buffer left behind");
    }
    FreeLibrary(module);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
