// Property lists as the Win32 host reads them from a library's resources.
// Every property of an accepted list must lie inside the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/PiplReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    PiplInfo info;
    std::string error;
    if (!readPipl(data, size, info, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    for (const PiplProperty& p : info.properties) {
        if (p.valueOffset > size || p.length > size - p.valueOffset) std::abort();
        fourCCText(p.vendor);
        fourCCText(p.key);
    }
    for (bool win64 : {false, true}) {
        std::string entry, checkError;
        if (!checkFilterPipl(info, win64, entry, checkError) && checkError.empty()) std::abort();
    }
    info.find(0x6B696E64);  // 'kind'
    info.modeFlags();
    return 0;
}
