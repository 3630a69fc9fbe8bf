// Loads a built .8bf the way a host does and answers its first selectors:
// PluginMain is found undecorated, the parameters selector makes a valid
// block and the prepare selector states the memory needs. Then whole-image
// runs on hosts that leave out or bend a service give the full host's bytes.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/HostCore.h"
#include "params/FilterParameters.h"
#include "tests/support/QuirkRuns.h"
#include "tests/support/TestImages.h"

namespace {
int passed = 0, failed = 0;
void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    (ok ? passed : failed)++;
}
// Each quirk on an 8-bit RGB image and a 16-bit CMYK one with a selection.
void quirkRuns(PluginMainProc entry) {
    const std::vector<QuirkCase> cases = quirkCases();
    for (int planes : {3, 4}) {
        const HostImage image = makeTestImage(100, 70, planes, planes == 3 ? 8 : 16);
        const std::vector<uint8_t> selection = planes == 4 ? quirkSelection(image) : std::vector<uint8_t>();
        const Operation operation = planes == 3 ? Operation::Sharpen : Operation::Soften;
        const QuirkRun full = runWithQuirks(entry, cases[0].quirks, image, selection, operation, 80);
        check(full.result == noErr && full.image.samples != image.samples, "full host: the filter changes the image");
        for (const QuirkCase& c : cases) {
            const QuirkRun run = runWithQuirks(entry, c.quirks, image, selection, operation, 80);
            std::string what = std::string(c.name) + (planes == 3 ? ", RGB 8-bit" : ", CMYK 16-bit with selection") +
                               ": the full host's bytes";
            check(run.result == noErr && run.image.samples == full.image.samples && run.stats.liveBuffers == 0 &&
                      !run.stats.wroteOutsideOutRect,
                  what.c_str());
        }
    }
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
        quirkRuns(entry);
    }
    FreeLibrary(module);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
