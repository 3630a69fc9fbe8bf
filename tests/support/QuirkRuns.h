// Whole-image runs of a plug-in on the stand-in host with each thing a real
// host may leave out, shared by the native tests and the run under Wine.
#pragma once

#include <cstring>
#include <vector>

#include "host/HostCore.h"
#include "params/FilterParameters.h"

struct QuirkCase {
    const char* name;
    HostQuirks quirks;
};

// The full host first, then one host per missing or bent service.
inline std::vector<QuirkCase> quirkCases() {
    std::vector<QuirkCase> cases(8);
    cases[0].name = "full host";
    cases[1].name = "no basic suite";
    cases[1].quirks.noBasicSuite = true;
    cases[2].name = "no buffer suite";
    cases[2].quirks.noBufferSuite = true;
    cases[3].name = "neither buffer suite nor buffer procs";
    cases[3].quirks.noBufferSuite = cases[3].quirks.noBufferProcs = true;
    cases[4].name = "versions 0";
    cases[4].quirks.zeroVersions = true;
    cases[4].quirks.noBasicSuite = true;  // so the buffer procs stating 0 are used
    cases[5].name = "tile size 0";
    cases[5].quirks.zeroTileSize = true;
    cases[6].name = "moving data";
    cases[6].quirks.movingData = true;
    cases[7].name = "every quirk at once";
    cases[7].quirks = HostQuirks{true, true, false, true, true, true};
    return cases;
}

// A graded selection over most of the image, with a slanted left edge.
inline std::vector<uint8_t> quirkSelection(const HostImage& image) {
    std::vector<uint8_t> selection(size_t(image.width) * size_t(image.height), 0);
    for (int32_t y = image.height / 7; y < image.height * 6 / 7; ++y)
        for (int32_t x = 5 + y / 3; x < image.width * 9 / 10; ++x)
            selection[size_t(y) * image.width + x] = uint8_t(x * 3);
    return selection;
}

struct QuirkRun {
    int16 result = 0;
    HostImage image;
    HostStats stats;
};

// The parameters selector (the block it makes, with the dialog turned off and
// the given operation and amount), prepare and start on image.
inline QuirkRun runWithQuirks(PluginMainProc entry, const HostQuirks& quirks, const HostImage& image,
                              const std::vector<uint8_t>& selection, Operation operation, int32_t amount) {
    HostCore host;
    host.setImage(image);
    host.setTileSize(48, 40);
    if (!selection.empty()) host.setSelection(selection);
    host.setQuirks(quirks);
    QuirkRun run;
    run.result = host.call(entry, filterSelectorParameters);
    std::vector<uint8_t> bytes = host.parameterBytes();
    FilterParameters p;
    if (run.result == noErr && readFilterParameters(bytes.data(), bytes.size(), p)) {
        p.showDialog = 0;
        p.imageClass = imageClassForMode(image.mode);
        p.operation = operation;
        p.amount = amount;
        writeFilterParameters(p, bytes.data(), bytes.size());
        host.setParameterBytes(bytes);
        run.result = host.call(entry, filterSelectorPrepare);
        if (run.result == noErr) run.result = host.call(entry, filterSelectorStart);
    }
    run.image = host.image();
    run.stats = host.stats();
    return run;
}
