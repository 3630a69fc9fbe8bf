// crispcalm: applies the plug-in to image files, driving it only through
// PluginMain as a host replaying a recorded action does.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
// psapi.h needs the types windows.h declares first.
#include <psapi.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "base/Version.h"
#include "dialog/SettingsFile.h"
#include "host/CliOptions.h"
#include "host/CliRun.h"
#include "host/CliSelection.h"
#include "host/OutputFile.h"
#include "host/PluginLibrary.h"
#include "host/RowBlocks.h"
#include "host/cli/ImageIo.h"
#if !defined(_WIN32)
#include "host/cli/HugePages.h"
#endif
#include "params/FilterParameters.h"

namespace {

namespace fs = std::filesystem;

void onStopSignal(int signal) { gStopSignal = signal; }

// Stop signals end the run between steps: a blocked open or write returns
// (no restart) so that a FIFO nobody reads cannot hold the program.
void installStopHandlers() {
#if defined(_WIN32)
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#else
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // a closed pipe shows as a write error
#endif
}

const char* signalName(int s) {
    switch (s) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
#if !defined(_WIN32)
        case SIGHUP:
            return "SIGHUP";
#endif
        default:
            return "a signal";
    }
}

// The process's peak memory in bytes (resident set on Linux, working set on
// Windows).
double peakMemoryBytes() {
#if defined(_WIN32)
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return double(counters.PeakWorkingSetSize);
    return 0;
#else
    struct rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) * 1024.0;
#endif
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

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void say(const std::string& message) { std::fprintf(stderr, "crispcalm: %s\n", message.c_str()); }

int fail(const std::string& message) {
    say(message);
    return 1;
}

// One input and where its result goes.
struct Job {
    std::string input;
    std::string output;  // a path, or "-"
    std::string saveAs;  // ".ext[options]", or "" for the input's format
};

// An output name split into the file and libvips's saver options:
// "out.jpg[Q=90]" is the file out.jpg written as ".jpg[Q=90]".
void splitOutput(const std::string& given, const std::string& format, std::string& path, std::string& saveAs) {
    path = given;
    std::string options;
    const size_t open = given.rfind('[');
    if (!given.empty() && given.back() == ']' && open != std::string::npos && open > 0) {
        path = given.substr(0, open);
        options = given.substr(open);
    }
    std::string extension = path == "-" ? (format.empty() ? "" : "." + format) : fs::path(path).extension().string();
    saveAs = extension.empty() && options.empty() ? "" : extension + options;
}

std::string batchOutput(const CliOptions& o, const std::string& input) {
    const fs::path in(input);
    const std::string name = in.stem().string() + o.suffix + in.extension().string();
    const fs::path folder = o.outDir.empty() ? in.parent_path() : fs::path(o.outDir);
    return (folder / name).string();
}

// Every job's output, checked before anything runs: a format libvips writes,
// a place it can go, not an input (unless --in-place), not shared.
bool planJobs(const CliOptions& o, std::vector<Job>& jobs, std::vector<std::string>& problems) {
    if (!o.selectionOut.empty()) {
        std::string error;
        OutputTarget target;
        if (!checkGreyFormat(o.selectionOut, error) || !resolveOutput(o.selectionOut, target, error))
            problems.push_back("--selection-out: " + error);
    }
    for (const std::string& input : o.inputs) {
        Job job;
        job.input = input;
        const std::string given = !o.output.empty()                        ? o.output
                                  : (o.outDir.empty() && o.suffix.empty()) ? input
                                                                           : batchOutput(o, input);
        splitOutput(given, o.format, job.output, job.saveAs);
        std::string error;
        OutputTarget target;
        if (!checkOutputFormat(job.saveAs, error)) {
            problems.push_back(job.output + ": " + error);
        } else if (!resolveOutput(job.output, target, error)) {
            problems.push_back(error);
        }
        jobs.push_back(job);
    }
    for (size_t i = 0; i < jobs.size(); ++i) {
        for (const Job& other : jobs) {
            if (!o.inPlace && sameFile(jobs[i].output, other.input)) {
                problems.push_back(jobs[i].output + " is " + (other.input == jobs[i].input ? "its" : "an") +
                                   " input file; use --in-place to replace it");
                break;
            }
        }
        for (size_t k = 0; k < i; ++k) {
            if (jobs[i].output != "-" && sameFile(jobs[i].output, jobs[k].output))
                problems.push_back(jobs[k].input + " and " + jobs[i].input + " would both be written to " +
                                   jobs[i].output + " (use --suffix or another --out-dir)");
        }
        if (!o.selectionOut.empty() &&
            (sameFile(o.selectionOut, jobs[i].input) || sameFile(o.selectionOut, jobs[i].output)))
            problems.push_back("--selection-out " + o.selectionOut + " is the input or the output");
    }
    return problems.empty();
}

// Runs attempt(tileWidth, tileHeight) once or more (a RunReport or a
// SelectionView). "Edges Only" and contract/expand look at one tile at a
// time, so without --tile the whole image is one tile; when its buffers do
// not fit the host's memory the tile is halved until they do, and the user
// is told either way. usedWidth x usedHeight: the tile of the last attempt.
template <typename Attempt>
auto withTiles(const CliOptions& o, const FilterParameters& block, const HostImage& image, const std::string& input,
               int32_t& usedWidth, int32_t& usedHeight, Attempt attempt) {
    const bool tileMatters = block.selectionSource == SelectionSource::EdgesOnly || block.contractExpand != 0;
    usedWidth = o.tileWidth;
    usedHeight = o.tileHeight;
    if (o.tileGiven || !tileMatters) return attempt(usedWidth, usedHeight);
    usedWidth = image.width;
    usedHeight = image.height;
    for (;;) {
        auto report = attempt(usedWidth, usedHeight);
        const bool whole = usedWidth == image.width && usedHeight == image.height;
        if (report.result == memFullErr && report.tilesServed == 0 && (usedWidth > 64 || usedHeight > 64)) {
            int32_t& longer = usedWidth >= usedHeight ? usedWidth : usedHeight;
            longer = std::max<int32_t>(1, longer / 2);
            continue;
        }
        if (report.result == noErr)
            say(input + ": " +
                (whole ? "the whole image as one tile (edges and contract/expand see no tile seams)"
                       : "the whole image does not fit the host's memory in one tile: " + std::to_string(usedWidth) +
                             "x" + std::to_string(usedHeight) + " tiles (seams are possible where tiles meet)"));
        return report;
    }
}

// Runs the plug-in on the loaded image.
RunReport runWithTiles(const CliOptions& o, PluginMainProc entry, const FilterParameters& block, LoadedImage& loaded,
                       std::vector<uint8_t>& selection, const std::string& input, int32_t& usedWidth,
                       int32_t& usedHeight, const std::function<bool(int32_t, int32_t)>& progress,
                       const RunOverlap* overlap) {
    return withTiles(o, block, loaded.image, input, usedWidth, usedHeight, [&](int32_t width, int32_t height) {
        // Lent, not copied: it comes back for a smaller tile's attempt.
        return runPlugin(entry, block, loaded.image, selection, width, height, progress, overlap);
    });
}

// Reading, filtering and writing one file side by side: a reader decodes
// rows while the first tiles are filtered, and a writer encodes each band of
// rows once the run has finished with it. Only for a file of one picture
// whose run is a single pass over tiles, without the selection's views, and
// with more than one thread to share the work.
struct SideBySide {
    RowMark read, finished;
    std::thread reader, writer;
    bool readOk = false, writerStarted = false, written = false;
    std::string readError, writeError;
    double readSeconds = 0, writeSeconds = 0;
    RunOverlap overlap;
    ~SideBySide() { join(); }
    void join() {
        if (reader.joinable()) reader.join();
        if (writer.joinable()) writer.join();
    }
};

bool canOverlap(const CliOptions& o, const FilterParameters& base, const LoadedImage& loaded, bool paged) {
    const bool tileMatters = base.selectionSource == SelectionSource::EdgesOnly || base.contractExpand != 0;
    return overlapsImageIo() && hostCopyThreads() > 1 && loaded.pages == 1 && !paged && !o.overlay &&
           o.selectionOut.empty() && (o.tileGiven || !tileMatters);
}

// Starts the reader on loaded and prepares the writer of output; false when
// no thread could be started (then nothing runs beside the filter).
bool startSideBySide(SideBySide& side, LoadedImage& loaded, const std::string& output, const std::string& saveAs) {
    try {
        side.reader = std::thread([&side, &loaded] {
            const auto start = std::chrono::steady_clock::now();
            side.readOk = decodeImageRows(loaded, &side.read, side.readError);
            side.readSeconds = secondsSince(start);
        });
    } catch (const std::system_error&) {
        return false;
    }
    side.overlap.read = &side.read;
    side.overlap.finished = &side.finished;
    side.overlap.begin = [&side, &loaded, output, saveAs](const HostImage& image) {
        try {
            side.writer = std::thread([&side, &loaded, &image, output, saveAs] {
                const auto start = std::chrono::steady_clock::now();
                // The file's metadata is complete once every row is read.
                side.written = side.read.wait(image.height) &&
                               saveImage(output, saveAs, loaded, side.writeError, &image, &side.finished);
                side.writeSeconds = secondsSince(start);
            });
            side.writerStarted = true;
        } catch (const std::system_error&) {
            side.writerStarted = false;  // written after the run instead
        }
    };
    side.overlap.end = [&side] {
        if (side.writer.joinable()) side.writer.join();
    };
    return true;
}

// What is shared by the images of a run.
struct RunState {
    const CliOptions& options;
    PluginMainProc entry;
    const FilterParameters& base;
    ProgressBar bar;
    bool savedRunFiles = false;  // --save-params and --save-settings are written for the first image
    std::string stoppedAt;       // what a stop left behind, for the last message
};

enum class Step { Done, Failed, Stopped };

// Filters one picture (a file, or one page of it) in place: the result, or
// with --overlay the selection's view. named: the input (and page) for
// messages; first: the run's first picture of this input, whose selection
// --selection-out writes.
Step filterImage(RunState& state, const std::string& named, bool first, LoadedImage& loaded,
                 const RunOverlap* overlap = nullptr) {
    const CliOptions& options = state.options;
    std::string error;
    std::vector<uint8_t> selection;
    if (!options.selectionFile.empty() && !loadSelection(options.selectionFile, loaded.image.width, loaded.image.height,
                                                         options.selectionAlpha, selection, error)) {
        fail(error);
        return Step::Failed;
    }
    FilterParameters block;
    if (!blockForImage(options, state.base, loaded.image, block, error)) {
        fail(named + ": " + error);
        return Step::Failed;
    }
    if (!state.savedRunFiles) {
        state.savedRunFiles = true;
        if (!options.savedParams.empty()) {
            std::vector<uint8_t> bytes(kFilterParametersSize);
            writeFilterParameters(block, bytes.data(), bytes.size());
            if (!writeWholeFile(options.savedParams, bytes, error)) {
                fail(error);
                return Step::Failed;
            }
        }
        if (!options.savedSettings.empty()) {
            SettingsOutcome saved = saveSettingsToPath(options.savedSettings, block);
            if (!saved.ok()) {
                fail(options.savedSettings + ": " + saved.message);
                return Step::Failed;
            }
        }
    }
    const std::string idle = whyNothingChanges(block, loaded.image, selection);
    if (!idle.empty() && !options.overlay)
        say(named + ": this run changes nothing: " + idle + "; the output keeps the input's pixels");

    state.bar.label = fs::path(named).filename().string();
    // The selection is taken from the image as read, before the run
    // changes it; --overlay writes its view in place of the result.
    const bool writesSelection = first && !options.selectionOut.empty();
    const bool wantsView = options.overlay || writesSelection;
    const HostImage original = wantsView && !options.overlay ? loaded.image : HostImage();
    int32_t tileWidth = 0, tileHeight = 0;
    if (!options.overlay) {
        bool firstReport = true;
        RunReport report = runWithTiles(
            options, state.entry, block, loaded, selection, named, tileWidth, tileHeight,
            [&](int32_t done, int32_t total) {
                if (firstReport) raiseTestSignal("filter");
                firstReport = false;
                state.bar.update(done, total);
                return gStopSignal != 0;
            },
            overlap);
        state.bar.end();
        if (gStopSignal) {
            state.stoppedAt = "while filtering " + named + ": nothing was written for it";
            return Step::Stopped;
        }
        if (report.result != noErr || report.hostChecksFailed) {
            fail(named + ": " + (report.result != noErr ? describeResult(report.result) : report.hostProblem));
            return Step::Failed;
        }
    }
    if (!wantsView) return Step::Done;
    // The selection of the image as read (the one the filter uses), and for
    // --overlay that of the image as the preview sees it: the same image at 8
    // bits, its own self at 16 bits.
    const bool sixteen = options.overlay && loaded.image.depth == 16;
    const HostImage& image = options.overlay ? loaded.image : original;
    const HostImage previewed = sixteen ? previewImage(image) : HostImage();
    auto view = [&](const HostImage& of) {
        return options.overlay ? withTiles(options, block, of, named, tileWidth, tileHeight,
                                           [&](int32_t width, int32_t height) {
                                               return viewSelection(block, of, selection, width, height);
                                           })
                               : viewSelection(block, of, selection, tileWidth, tileHeight);
    };
    const SelectionView used = !options.overlay || writesSelection || !sixteen ? view(image) : SelectionView();
    const SelectionView shown = sixteen ? view(previewed) : SelectionView();
    for (const SelectionView* v : {&used, &shown}) {
        if (v->result != noErr) {
            fail(named + ": the selection: " + describeResult(v->result));
            return Step::Failed;
        }
    }
    if (writesSelection && !saveGreyImage(options.selectionOut, used.grey, image.width, image.height, error)) {
        fail(error);
        return Step::Failed;
    }
    if (options.overlay) overlayImage(sixteen ? shown : used, loaded.image);
    return Step::Done;
}

// The step of a file read and written side by side, once both threads are
// done: the reader's failure first, then what a stop or the writer left.
Step sideBySideOutcome(const SideBySide& side, Step step, RunState& state, const std::string& shownOutput,
                       const std::string& input) {
    if (!side.readOk) {
        if (step == Step::Stopped) return step;
        fail(side.readError);
        return Step::Failed;
    }
    if (step == Step::Stopped && side.written) state.stoppedAt = "after " + shownOutput + " was written completely";
    if (step != Step::Done || !side.writerStarted || side.written) return step;
    if (gStopSignal) {
        state.stoppedAt = "while writing " + shownOutput + ": nothing was written for " + input;
        return Step::Stopped;
    }
    fail(side.writeError);
    return Step::Failed;
}

}  // namespace

int main(int argc, char** argv) {
#if !defined(_WIN32)
    // Blocks of 128 KB and more are mapped and go back to the system when
    // freed. Otherwise the allocator raises that threshold after the first
    // large free, and the decoders' and tiles' temporary blocks stay in the
    // heap beside the image for the whole run.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    CliOptions options;
    std::string error;
    if (!parseCliOptions(args, options, error)) {
        say(error);
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
#if !defined(_WIN32)
    restartWithHugePages(argv, options.inputs);
#endif
    if (options.threads) setPluginThreads(*options.threads);
    if (!startImageIo(argv[0], error)) return fail(error);

    FilterParameters base;
    if (!buildParameters(options, base, error)) return fail(error);
    std::vector<Job> jobs;
    std::vector<std::string> problems;
    if (!planJobs(options, jobs, problems)) {
        for (const std::string& p : problems) say(p);
        say("nothing was run");
        return 2;
    }

    const std::string pluginPath = options.pluginPath.empty() ? defaultPluginPath(argv[0]) : options.pluginPath;
    PluginLibrary plugin;
    if (!plugin.open(pluginPath, error)) return fail(error);

    installStopHandlers();
    RunState state{options, plugin.entry(), base, ProgressBar(), false, std::string()};
    state.bar.enabled = !options.quiet && isatty(fileno(stderr));
    int failures = 0;

    for (const Job& job : jobs) {
        if (gStopSignal) break;
        const std::string shownOutput = job.output == "-" ? "standard output" : job.output;
        if (options.noClobber && job.output != "-" && fs::exists(fs::path(job.output))) {
            say(job.input + ": skipped, " + job.output + " exists (--no-clobber)");
            continue;
        }
        const auto readStart = std::chrono::steady_clock::now();
        LoadedImage first;
        bool read = openImageRows(job.input, first, error);
        if (read && first.pages > 1 && !whyPagesCannotGo(job.saveAs).empty()) {
            error = job.input + ": has " + std::to_string(first.pages) + " pages; " + whyPagesCannotGo(job.saveAs);
            read = false;
        }
        // Several pages go into the output one by one as each is filtered.
        std::string pagesNote;
        std::shared_ptr<void> paged;
        if (read) {
            error.clear();
            paged = startPages(first, job.saveAs, pagesNote, error);
            if (!paged && !error.empty()) {
                error = job.output + ": " + error;
                read = false;
            }
        }
        SideBySide side;
        const bool overlapped = read && canOverlap(options, base, first, paged != nullptr) &&
                                startSideBySide(side, first, job.output, job.saveAs);
        if (read && !overlapped) read = decodeImageRows(first, nullptr, error);
        raiseTestSignal("read");
        if (gStopSignal) {
            state.stoppedAt = "while reading " + job.input + ": nothing was written for it";
            break;
        }
        if (!read) {
            fail(error);
            ++failures;
            continue;
        }
        for (const std::string& note : {first.note, pagesNote})
            if (!note.empty()) say(job.input + ": " + note);
        double readSeconds = secondsSince(readStart), seconds = 0, writeSeconds = 0;
        Step step = Step::Done;
        std::vector<std::string> notes;
        for (int page = 0; page < first.pages && step == Step::Done; ++page) {
            const std::string name = page == 0 ? job.input : job.input + " page " + std::to_string(page + 1);
            LoadedImage later;
            if (page > 0) {
                const auto loadStart = std::chrono::steady_clock::now();
                if (!loadPage(first, job.input, page, later, error)) {
                    fail(error);
                    step = Step::Failed;
                    break;
                }
                readSeconds += secondsSince(loadStart);
            }
            LoadedImage& loaded = page == 0 ? first : later;
            const auto start = std::chrono::steady_clock::now();
            step = filterImage(state, name, page == 0, loaded, overlapped ? &side.overlap : nullptr);
            seconds += secondsSince(start);
            if (step != Step::Done || !paged) break;
            const auto writeStart = std::chrono::steady_clock::now();
            if (!addPage(paged, loaded, notes, error)) {
                if (gStopSignal) {
                    state.stoppedAt = "while writing " + shownOutput + ": nothing was written for " + job.input;
                    step = Step::Stopped;
                } else {
                    fail(job.output + ": cannot be written as TIFF (" + error + ")");
                    step = Step::Failed;
                }
            }
            writeSeconds += secondsSince(writeStart);
            if (page == 0) first.image = HostImage();  // in the output now; the next page takes its place
        }
        for (const std::string& note : notes) say(job.input + ": " + note);
        side.join();
        if (overlapped) {
            readSeconds += side.readSeconds;
            writeSeconds += side.writeSeconds;
            step = sideBySideOutcome(side, step, state, shownOutput, job.input);
        }
        if (step == Step::Stopped) break;
        if (step == Step::Failed) {
            ++failures;
            continue;
        }
        bool written = overlapped && side.writerStarted;
        if (!written) {
            const auto writeStart = std::chrono::steady_clock::now();
            written = paged ? finishPages(paged, job.output, error) : saveImage(job.output, job.saveAs, first, error);
            writeSeconds += secondsSince(writeStart);
        }
        if (gStopSignal) {
            state.stoppedAt = written ? "after " + shownOutput + " was written completely"
                                      : "while writing " + shownOutput + ": nothing was written for " + job.input;
            break;
        }
        if (!written) {
            fail(error);
            ++failures;
            continue;
        }
        if (!options.quiet)
            std::fprintf(stderr,
                         "crispcalm: %s -> %s (read %.2f s, filter %.2f s, write %.2f s%s, peak memory %.0f MiB)\n",
                         job.input.c_str(), shownOutput.c_str(), readSeconds, seconds, writeSeconds,
                         overlapped ? ", side by side" : "", peakMemoryBytes() / 1048576.0);
    }
    if (gStopSignal) {
        const int s = gStopSignal;
        say(std::string("stopped by ") + signalName(s) + " " +
            (state.stoppedAt.empty() ? "between files: every output written so far is complete" : state.stoppedAt));
        return 128 + s;
    }
    return failures ? 1 : 0;
}
