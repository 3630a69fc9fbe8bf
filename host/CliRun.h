// One run of the plug-in as a host replaying a recorded action: the block in
// the parameters handle with showDialog 0, then prepare and start.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/CliOptions.h"
#include "host/HostImage.h"
#include "host/RowMark.h"
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

// Sets curve from control points "POSITION:WEIGHT,..." in the units a user
// knows: degrees 0..360 for hue, percent 0..100 for saturation and intensity,
// weights 0..1. Each point goes to the nearest of the 1,024 slots; the curve
// model joins them (and closes a hue curve at red). False with a message for
// malformed text, values out of range or two points on one slot.
bool setCurveFromPoints(const std::string& text, CurveKind kind, Curve& curve, std::string& error);

// Why a run with this block and selection cannot change any pixel ("" when
// it can): no channel ticked, opacity 0, an empty selection, a curve that
// selects nothing.
std::string whyNothingChanges(const FilterParameters& block, const HostImage& image,
                              const std::vector<uint8_t>& selection);

struct RunReport {
    int16 result = 0;
    size_t peakBufferBytes = 0;
    size_t tilesServed = 0;         // advanceState calls: 0 = the image is untouched
    bool hostChecksFailed = false;  // a write outside outRect or a buffer left behind
    std::string hostProblem;
};

// Runs the plug-in on image in place. After a failure the image holds what
// the host held then (tiles written before an abort, for instance).
// progress(done, total) returns true to abort. The selection is lent to the
// host for the run (no copy of it is made) and comes back unchanged.
// Reading and writing beside a run: the host serves rows once read has
// reached them and marks in finished the rows the run will not change again.
// begin gets the host's image (to start a writer on it) before the run; after
// it finished is reached to the last row, or failed when the run did not
// succeed, and end is called (to wait for the writer) before the image is
// handed back.
struct RunOverlap {
    RowMark* read = nullptr;
    RowMark* finished = nullptr;
    std::function<void(const HostImage&)> begin;
    std::function<void()> end;
};

RunReport runPlugin(PluginMainProc entry, const FilterParameters& block, HostImage& image,
                    std::vector<uint8_t>& selection, int32_t tileWidth, int32_t tileHeight,
                    const std::function<bool(int32_t, int32_t)>& progress, const RunOverlap* overlap = nullptr);

// Words for a host result code.
std::string describeResult(int16 result);

// Whole files read into memory, at most maxBytes (false with a reason).
bool readWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes, std::string& error);
// Written as an output is (see OutputFile.h): a regular file under a
// temporary name renamed on success, a device or FIFO directly.
bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);
