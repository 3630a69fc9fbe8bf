// Settings files of every version, as "Load" and --settings read them. An
// accepted file must load into in-range fields that survive a save and a
// second load unchanged; a refused one must leave the block untouched.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "dialog/SettingsFile.h"
#include "params/FilterParameters.h"

namespace {

std::vector<uint8_t> bytesOf(const FilterParameters& p) {
    std::vector<uint8_t> b(kFilterParametersSize);
    writeFilterParameters(p, b.data(), b.size());
    return b;
}

bool inRange(const FilterParameters& p) {
    return p.amount >= 1 && p.amount <= 100 && int(p.colorSpace) >= 1 && int(p.colorSpace) <= 3 && p.opacity >= 0 &&
           p.opacity <= 200 && p.contractExpand >= -100 && p.contractExpand <= 100 && p.falloff >= 0 &&
           p.falloff <= 100 && (p.operation == Operation::Sharpen || p.operation == Operation::Soften);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FilterParameters block;
    block.setDefaults();
    const std::vector<uint8_t> before = bytesOf(block);
    const SettingsStatus status = readSettingsFile(data, size, block);
    if (status != SettingsStatus::Ok) {
        if (bytesOf(block) != before) std::abort();  // a refused file changed the block
        if (!settingsMessage(status).text[0]) std::abort();
        return 0;
    }
    if (!inRange(block)) std::abort();
    const std::vector<uint8_t> file = writeSettingsFile(block);
    if (file.size() != kSettingsFileSize) std::abort();
    FilterParameters again;
    again.setDefaults();
    if (readSettingsFile(file.data(), file.size(), again) != SettingsStatus::Ok) std::abort();
    if (bytesOf(again) != bytesOf(block)) std::abort();  // the save lost or changed something
    return 0;
}
