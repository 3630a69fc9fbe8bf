#include "host/CliRun.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "dialog/QuickCurveFile.h"
#include "dialog/SettingsFile.h"
#include "host/HostCore.h"
#include "host/OutputFile.h"
#include "host/RowBlocks.h"

bool readWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes, std::string& error) {
    if (path == "-") {
#if defined(_WIN32)
        _setmode(0, _O_BINARY);
#endif
        bytes.clear();
        char chunk[65536];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) {
            if (bytes.size() + got > maxBytes) {
                error = "standard input: more than " + std::to_string(maxBytes) + " bytes";
                return false;
            }
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        return true;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open (" + std::strerror(errno) + ")";
        return false;
    }
    bytes.clear();
    char chunk[65536];
    while (in) {
        in.read(chunk, sizeof chunk);
        std::streamsize got = in.gcount();
        if (got <= 0) break;
        if (bytes.size() + size_t(got) > maxBytes) {
            error = path + ": file is larger than " + std::to_string(maxBytes) + " bytes";
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    if (in.bad()) {
        error = path + ": read error";
        return false;
    }
    return true;
}

bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    OutputTarget target;
    return resolveOutput(path, target, error) && writeOutputBytes(target, bytes, error);
}

bool buildParameters(const CliOptions& o, FilterParameters& block, std::string& error) {
    block = FilterParameters();
    block.setDefaults();
    block.imageClass = ImageClass(0);
    if (!o.paramsFile.empty()) {
        std::vector<uint8_t> bytes;
        if (!readWholeFile(o.paramsFile, kFilterParametersSize + 1, bytes, error)) return false;
        if (bytes.size() != kFilterParametersSize) {
            error = o.paramsFile + ": a parameter block has exactly " + std::to_string(kFilterParametersSize) +
                    " bytes, this file has " + std::to_string(bytes.size());
            return false;
        }
        if (!hasParametersSignature(bytes.data(), bytes.size())) {
            error = o.paramsFile + ": not a parameter block (its signature is not QXSN)";
            return false;
        }
        readFilterParameters(bytes.data(), bytes.size(), block);
    }
    if (!o.settingsFile.empty()) {
        SettingsOutcome outcome = loadSettingsFromPath(o.settingsFile, block);
        if (!outcome.ok()) {
            error = o.settingsFile + ": " + outcome.message;
            return false;
        }
    }
    if (!o.curvesFile.empty()) {
        QuickCurveEntry entry;
        if (!loadQuickCurveFile(o.curvesFile, entry)) {
            error = o.curvesFile + ": not a quick-curve file (it must have 6,219 bytes and start with QZMV)";
            return false;
        }
        applyQuickCurve(entry, block.curves);
    }
    const struct {
        const std::string& text;
        CurveKind kind;
        Curve& curve;
        const char* option;
    } curveOptions[] = {{o.hueCurve, CurveHue, block.curves.hue, "--hue"},
                        {o.saturationCurve, CurveSaturation, block.curves.saturation, "--saturation"},
                        {o.intensityCurve, CurveIntensity, block.curves.intensity, "--intensity"}};
    for (const auto& c : curveOptions) {
        if (!c.text.empty() && !setCurveFromPoints(c.text, c.kind, c.curve, error)) {
            error = std::string(c.option) + ": " + error;
            return false;
        }
    }
    if (o.operation) block.operation = Operation(*o.operation);
    if (o.amount) block.amount = *o.amount;
    if (o.colorSpace) block.colorSpace = ColorSpace(*o.colorSpace);
    if (o.selectionSource) block.selectionSource = SelectionSource(*o.selectionSource);
    if (o.opacity) block.opacity = *o.opacity;
    if (o.contractExpand) block.contractExpand = *o.contractExpand;
    if (o.falloff) block.falloff = *o.falloff;
    block.curves.evaluateAll();
    return true;
}

bool blockForImage(const CliOptions& o, const FilterParameters& base, const HostImage& image, FilterParameters& block,
                   std::string& error) {
    block = base;
    block.showDialog = 0;
    const ImageClass imageClass = imageClassForMode(image.mode);
    if (o.paramsFile.empty() || (block.imageClass != ImageClass::RGB && block.imageClass != ImageClass::CMYK))
        block.imageClass = imageClass;
    if (!o.channels.empty()) {
        int flags[4];
        if (!channelFlagsFor(o.channels, colorModelFor(block.colorSpace, imageClass), flags, error)) return false;
        for (int i = 0; i < 4; ++i) block.channelEnabled[i] = flags[i];
    }
    return true;
}

bool setCurveFromPoints(const std::string& text, CurveKind kind, Curve& curve, std::string& error) {
    const double span = kind == CurveHue ? 360.0 : 100.0;
    const char* unit = kind == CurveHue ? "degrees" : "percent";
    Curve result = curve;
    for (float& p : result.points) p = NoPoint;
    size_t at = 0;
    int count = 0;
    while (at <= text.size()) {
        const size_t end = std::min(text.find(',', at), text.size());
        const std::string item = text.substr(at, end - at);
        const size_t colon = item.find(':');
        char* stop1 = nullptr;
        char* stop2 = nullptr;
        const std::string first = item.substr(0, colon),
                          second = colon == std::string::npos ? "" : item.substr(colon + 1);
        const double position = std::strtod(first.c_str(), &stop1);
        const double weight = std::strtod(second.c_str(), &stop2);
        if (colon == std::string::npos || first.empty() || second.empty() || *stop1 || *stop2) {
            error = "'" + item + "' is not POSITION:WEIGHT (for example 40:1)";
            return false;
        }
        if (!(position >= 0 && position <= span)) {
            error = "position " + first + " lies outside 0.." + std::to_string(int(span)) + " " + unit;
            return false;
        }
        if (!(weight >= 0 && weight <= 1)) {
            error = "weight " + second + " lies outside 0..1";
            return false;
        }
        const int slot = int(std::floor(position / span * (kCurveSlots - 1) + 0.5));
        if (result.points[slot] != NoPoint) {
            error = "two points fall on slot " + std::to_string(slot) + " (near " + first + " " + unit + ")";
            return false;
        }
        result.points[slot] = float(weight);
        ++count;
        at = end + 1;
    }
    if (count == 0) {
        error = "no control points given";
        return false;
    }
    result.evaluate();
    curve = result;
    return true;
}

std::string whyNothingChanges(const FilterParameters& block, const HostImage& image,
                              const std::vector<uint8_t>& selection) {
    const ImageClass imageClass = imageClassForMode(image.mode);
    const ColorModel model = colorModelFor(block.colorSpace, imageClass);
    const int channels = model == ColorModel::CMYK ? 4 : model == ColorModel::YUV ? 2 : 3;
    bool anyChannel = false;
    for (int i = 0; i < channels; ++i) anyChannel |= block.channelEnabled[i] != 0;
    if (!anyChannel) return "no channel is ticked (--channels)";
    if (block.opacity == 0) return "the opacity is 0";
    if (!selection.empty() && std::all_of(selection.begin(), selection.end(), [](uint8_t v) { return v == 0; }))
        return "the selection is empty";
    for (const Curve* c : {&block.curves.hue, &block.curves.saturation, &block.curves.intensity})
        if (std::all_of(c->samples, c->samples + kCurveSlots, [](float v) { return v == 0.0f; }))
            return c == &block.curves.hue          ? "the hue curve selects nothing"
                   : c == &block.curves.saturation ? "the saturation curve selects nothing"
                                                   : "the intensity curve selects nothing";
    return "";
}

RunReport runPlugin(PluginMainProc entry, const FilterParameters& block, HostImage& image,
                    std::vector<uint8_t>& selection, int32_t tileWidth, int32_t tileHeight,
                    const std::function<bool(int32_t, int32_t)>& progress, const RunOverlap* overlap) {
    RunReport report;
    HostCore host;
    host.setImage(std::move(image));
    if (!selection.empty()) host.setSelection(std::move(selection));
    host.setTileSize(tileWidth, tileHeight);
    host.setCopyThreads(hostCopyThreads());
    host.onProgress = progress;
    std::vector<uint8_t> bytes(kFilterParametersSize);
    writeFilterParameters(block, bytes.data(), bytes.size());
    host.setParameterBytes(bytes);
    if (overlap) {
        host.setRowMarks(overlap->read, overlap->finished);
        overlap->begin(host.image());
    }

    report.result = host.call(entry, filterSelectorPrepare);
    if (report.result == noErr) report.result = host.call(entry, filterSelectorStart);
    report.peakBufferBytes = host.stats().peakBufferBytes;
    report.tilesServed = host.stats().advanceCalls;
    if (host.stats().wroteOutsideOutRect) report.hostProblem = "the plug-in wrote outside the output rectangle";
    if (host.stats().liveBuffers) report.hostProblem = "the plug-in left buffers behind";
    if (host.stats().offThreadCalls) report.hostProblem = "the plug-in called the host from a worker thread";
    if (host.stats().badRequest)
        report.hostProblem = "the plug-in asked for pixels outside the image, or for input it had written over";
    report.hostChecksFailed = !report.hostProblem.empty();
    if (overlap) {
        if (report.result == noErr && !report.hostChecksFailed)
            overlap->finished->reach(host.image().height);
        else
            overlap->finished->fail();
        overlap->end();
    }
    image = std::move(host.image());
    selection = host.takeSelection();
    return report;
}

std::string describeResult(int16 result) {
    switch (result) {
        case noErr:
            return "done";
        case 1:
            return "the plug-in refused the image (see its message above)";
        case memFullErr:
            return "not enough memory";
        case readErr:
            return "the image file could not be read to its end";
        case userCanceledErr:
            return "cancelled";
        case filterBadParameters:
            return "the filter's parameters are invalid";
        case filterBadMode:
            return "the image mode is not supported";
        default:
            return "host error " + std::to_string(result);
    }
}
