#include "host/CliRun.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <utility>

#include "dialog/QuickCurveFile.h"
#include "dialog/SettingsFile.h"
#include "host/HostCore.h"

bool readWholeFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes, std::string& error) {
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
    const std::string temp = path + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = path + ": cannot create (" + std::strerror(errno) + ")";
            return false;
        }
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        out.close();
        if (!out) {
            std::remove(temp.c_str());
            error = path + ": write error";
            return false;
        }
    }
    std::remove(path.c_str());
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        error = path + ": cannot rename the finished file into place";
        return false;
    }
    return true;
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

RunReport runPlugin(PluginMainProc entry, const FilterParameters& block, HostImage& image,
                    std::vector<uint8_t> selection, int32_t tileWidth, int32_t tileHeight,
                    const std::function<bool(int32_t, int32_t)>& progress) {
    RunReport report;
    HostCore host;
    host.setImage(std::move(image));
    if (!selection.empty()) host.setSelection(std::move(selection));
    host.setTileSize(tileWidth, tileHeight);
    host.onProgress = progress;
    std::vector<uint8_t> bytes(kFilterParametersSize);
    writeFilterParameters(block, bytes.data(), bytes.size());
    host.setParameterBytes(bytes);

    report.result = host.call(entry, filterSelectorPrepare);
    if (report.result == noErr) report.result = host.call(entry, filterSelectorStart);
    report.peakBufferBytes = host.stats().peakBufferBytes;
    if (host.stats().wroteOutsideOutRect) report.hostProblem = "the plug-in wrote outside the output rectangle";
    if (host.stats().liveBuffers) report.hostProblem = "the plug-in left buffers behind";
    if (host.stats().offThreadCalls) report.hostProblem = "the plug-in called the host from a worker thread";
    if (host.stats().badRequest)
        report.hostProblem = "the plug-in asked for pixels outside the image, or for input it had written over";
    report.hostChecksFailed = !report.hostProblem.empty();
    image = std::move(host.image());
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
