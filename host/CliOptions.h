// The command line of the stand-alone host, parsed without touching files.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/Modes.h"

struct CliOptions {
    std::vector<std::string> inputs;
    std::string output;        // -o: one input, one output
    std::string outDir;        // --out-dir: batch work, same file names
    std::string paramsFile;    // a whole stored parameter block
    std::string settingsFile;  // a settings file of any version
    std::string curvesFile;    // a quick-curve file's three curves
    std::string selectionFile;
    bool selectionAlpha = false;                            // the selection is the file's alpha channel
    std::string selectionOut;                               // the final selection as a grey image
    bool overlay = false;                                   // write the "Overlay Color" view, not the result
    std::string hueCurve, saturationCurve, intensityCurve;  // "position:weight,..." control points
    std::string format;                                     // output format for "-" (an extension without the dot)
    std::string suffix;                                     // batch outputs: name-SUFFIX.ext
    bool inPlace = false;                                   // an input may be its own output
    bool noClobber = false;                                 // skip outputs that exist
    std::string savedParams;
    std::string savedSettings;
    std::string pluginPath;

    std::optional<int> operation;        // 1 sharpen, 2 soften
    std::optional<int> amount;           // 1..100
    std::optional<int> colorSpace;       // 1 image, 2 hsi, 3 yuv
    std::string channels;                // four 0/1 digits, or channel initials
    std::optional<int> selectionSource;  // 1 from curves, 0 edges only
    std::optional<int> opacity;          // 0..200
    std::optional<int> contractExpand;   // -100..100
    std::optional<int> falloff;          // 0..100
    std::optional<int> threads;          // 1..64; unset: CRISPCALM_THREADS, else every core
    // 512 a side: the same work as larger tiles within 1 %, a fraction of
    // their working memory, and finished rows reach the writer sooner.
    int tileWidth = 512;
    int tileHeight = 512;
    bool tileGiven = false;

    bool quiet = false;
    bool help = false;
    bool version = false;
};

// False with a message for an unknown option, a missing or out-of-range
// value, or inputs and outputs that do not fit together.
bool parseCliOptions(const std::vector<std::string>& args, CliOptions& options, std::string& error);

// The four channel flags for a colour model. Accepts four 0/1 digits, or the model's channel initials (R G B;
// C M Y K; H S I; L C for luminance and chrominance), any case. False with a
// message when a letter does not belong to the model.
bool channelFlagsFor(const std::string& channels, ColorModel model, int flags[4], std::string& error);

const char* cliUsage();
