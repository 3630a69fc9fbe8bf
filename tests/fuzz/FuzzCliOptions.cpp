// The command line of crispcalm: the input split at NUL bytes into argument
// strings, parsed, and the channel option resolved for every colour model.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/CliOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += char(data[i]);
    }
    CliOptions options;
    std::string error;
    if (!parseCliOptions(args, options, error)) {
        if (error.empty()) std::abort();  // every refusal says why
        return 0;
    }
    if (options.tileWidth < 1 || options.tileWidth > 30000 || options.tileHeight < 1 || options.tileHeight > 30000)
        std::abort();
    for (ColorModel model : {ColorModel::HSI, ColorModel::RGB, ColorModel::CMYK, ColorModel::YUV}) {
        int flags[4] = {7, 7, 7, 7};
        std::string channelError;
        const bool ok = channelFlagsFor(options.channels, model, flags, channelError);
        for (int f : flags)
            if (f != 0 && f != 1) std::abort();
        if (!ok && channelError.empty()) std::abort();
    }
    return 0;
}
