// crispcalm: applies the plug-in to image files, driving it only through
// PluginMain as a host replaying a recorded action does.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "base/Version.h"
#include "dialog/SettingsFile.h"
#include "host/CliOptions.h"
#include "host/CliRun.h"
#include "host/PluginLibrary.h"
#include "host/cli/ImageIo.h"
#include "params/FilterParameters.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;
void onInterrupt(int) { interrupted = 1; }

std::string baseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    char last = dir.back();
    return (last == '/' || last == '\\') ? dir + name : dir + "/" + name;
}

struct ProgressBar {
    bool enabled = false;
    std::string label;
    int shown = -1;
    void update(int32_t done, int32_t total) {
        if (!enabled || total <= 0) return;
        int percent = int(int64_t(done) * 100 / total);
        if (percent > 100) percent = 100;
        if (percent == shown) return;
        shown = percent;
        const int width = 30, filled = percent * width / 100;
        std::fprintf(stderr, "\r%-24.24s [%.*s%*s] %3d%%", label.c_str(), filled, "##############################",
                     width - filled, "", percent);
        std::fflush(stderr);
    }
    void end() {
        if (enabled && shown >= 0) std::fprintf(stderr, "\n");
        shown = -1;
    }
};

// The plug-in reads its thread count from CRISPCALM_THREADS.
void setPluginThreads(int threads) {
    const std::string value = std::to_string(threads);
#if defined(_WIN32)
    _putenv_s("CRISPCALM_THREADS", value.c_str());
#else
    setenv("CRISPCALM_THREADS", value.c_str(), 1);
#endif
}

int fail(const std::string& message) {
    std::fprintf(stderr, "crispcalm: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    CliOptions options;
    std::string error;
    if (!parseCliOptions(args, options, error)) {
        std::fprintf(stderr, "crispcalm: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(cliUsage(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("crispcalm %s (Tarvo Crisp+Calm plug-in host)\n", kVersionText);
        return 0;
    }
    if (options.threads) setPluginThreads(*options.threads);
    if (!startImageIo(argv[0], error)) return fail(error);

    FilterParameters base;
    if (!buildParameters(options, base, error)) return fail(error);

    const std::string pluginPath = options.pluginPath.empty() ? defaultPluginPath(argv[0]) : options.pluginPath;
    PluginLibrary plugin;
    if (!plugin.open(pluginPath, error)) return fail(error);

    std::signal(SIGINT, onInterrupt);
    ProgressBar bar;
    bar.enabled = !options.quiet && isatty(fileno(stderr));
    bool savedRunFiles = false;
    int failures = 0;

    for (const std::string& input : options.inputs) {
        if (interrupted) break;
        const std::string output = options.output.empty() ? joinPath(options.outDir, baseName(input)) : options.output;
        const auto readStart = std::chrono::steady_clock::now();
        LoadedImage loaded;
        if (!loadImage(input, loaded, error)) {
            fail(error);
            ++failures;
            continue;
        }
        std::vector<uint8_t> selection;
        if (!options.selectionFile.empty() &&
            !loadSelection(options.selectionFile, loaded.image.width, loaded.image.height, selection, error)) {
            fail(error);
            ++failures;
            continue;
        }
        FilterParameters block;
        if (!blockForImage(options, base, loaded.image, block, error)) {
            fail(input + ": " + error);
            ++failures;
            continue;
        }
        if (!savedRunFiles) {
            savedRunFiles = true;
            if (!options.savedParams.empty()) {
                std::vector<uint8_t> bytes(kFilterParametersSize);
                writeFilterParameters(block, bytes.data(), bytes.size());
                if (!writeWholeFile(options.savedParams, bytes, error)) return fail(error);
            }
            if (!options.savedSettings.empty()) {
                SettingsOutcome saved = saveSettingsToPath(options.savedSettings, block);
                if (!saved.ok()) return fail(options.savedSettings + ": " + saved.message);
            }
        }

        bar.label = baseName(input);
        const auto start = std::chrono::steady_clock::now();
        const double readSeconds = std::chrono::duration<double>(start - readStart).count();
        RunReport report = runPlugin(plugin.entry(), block, loaded.image, std::move(selection), options.tileWidth,
                                     options.tileHeight, [&](int32_t done, int32_t total) {
                                         bar.update(done, total);
                                         return interrupted != 0;
                                     });
        bar.end();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (report.result != noErr) {
            fail(input + ": " + describeResult(report.result));
            ++failures;
            if (report.result == userCanceledErr) break;
            continue;
        }
        if (report.hostChecksFailed) {
            fail(input + ": " + report.hostProblem);
            ++failures;
            continue;
        }
        const auto writeStart = std::chrono::steady_clock::now();
        if (!saveImage(output, loaded, error)) {
            fail(error);
            ++failures;
            continue;
        }
        const double writeSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - writeStart).count();
        if (!options.quiet)
            std::fprintf(stderr,
                         "crispcalm: %s -> %s (read %.2f s, filter %.2f s, write %.2f s, %.0f MiB of buffers)\n",
                         input.c_str(), output.c_str(), readSeconds, seconds, writeSeconds,
                         double(report.peakBufferBytes) / 1048576.0);
    }
    if (interrupted) {
        std::fprintf(stderr, "crispcalm: interrupted; no output written for the unfinished file\n");
        return 130;
    }
    return failures ? 1 : 0;
}
