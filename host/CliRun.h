// One run of the plug-in as a host replaying a recorded action: the block in
// the parameters handle with showDialog 0, then prepare and start.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/CliOptions.h"
#include "host/HostImage.h"
#include "hostapi/PluginHost.h"
#include "params/FilterParameters.h"

// The parameter block of a run: defaults, then --params, --settings,
// --curves and the single options in this order. The channel option is
// applied per image (it depends on the image's colour model). False with a
// message naming the file and the reason.
bool buildParameters(const CliOptions& options, FilterParameters& block, std::string& error);

// The block as it enters the host for one image: channel flags resolved for
// the image's colour model, showDialog 0, and the image class recorded unless
// the block came whole from a --params file (whose class the plug-in checks).
bool blockForImage(const CliOptions& options, const FilterParameters& base, const HostImage& image,
                   FilterParameters& block, std::string& error);

struct RunReport {
    int16 result = 0;
    size_t peakBufferBytes = 0;
    bool hostChecksFailed = false;  // a write outside outRect or a buffer left behind
    std::string hostProblem;
};

// Runs the plug-in on image in place. After a failure the image holds what
// the host held then (tiles written before an abort, for instance).
// progress(done, total) returns true to abort.
RunReport runPlugin(PluginMainProc entry, const FilterParameters& block, HostImage& image,
                    std::vector<uint8_t> selection, int32_t tileWidth, int32_t tileHeight,
                    const std::function<bool(int32_t, int32_t)>& progress);

// Words for a host result code.
std::string describeResult(int16 result);

// Whole files read into memory, at most maxBytes (false with a reason).
bool readWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes, std::string& error);
// Written beside path under a temporary name, renamed on success.
bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);
