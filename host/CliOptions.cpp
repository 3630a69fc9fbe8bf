#include "host/CliOptions.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

bool parseInt(const std::string& text, long low, long high, const std::string& option, int& out, std::string& error) {
    if (text.empty() || text.size() > 12) {
        error = option + " needs a whole number from " + std::to_string(low) + " to " + std::to_string(high);
        return false;
    }
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno || !end || *end != 0) {
        error = option + " needs a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                ", not '" + text + "'";
        return false;
    }
    if (v < low || v > high) {
        error = option + " must lie between " + std::to_string(low) + " and " + std::to_string(high) + ", not " + text;
        return false;
    }
    out = int(v);
    return true;
}

bool parseTile(const std::string& text, CliOptions& o, std::string& error) {
    size_t x = text.find_first_of("xX");
    if (x == std::string::npos) {
        error = "--tile needs WIDTHxHEIGHT, for example 256x256, not '" + text + "'";
        return false;
    }
    return parseInt(text.substr(0, x), 1, 30000, "--tile width", o.tileWidth, error) &&
           parseInt(text.substr(x + 1), 1, 30000, "--tile height", o.tileHeight, error);
}

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool validChannelText(const std::string& s) {
    if (s.empty() || s.size() > 4) return false;
    for (char c : s)
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

}  // namespace

bool parseCliOptions(const std::vector<std::string>& args, CliOptions& o, std::string& error) {
    bool onlyInputs = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (onlyInputs || a.empty() || a[0] != '-' || a == "-") {
            o.inputs.push_back(a);
            continue;
        }
        if (a == "--") {
            onlyInputs = true;
            continue;
        }
        std::string name = a, value;
        bool inlineValue = false;
        size_t eq = a.find('=');
        if (a.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            inlineValue = true;
        }
        auto flag = [&](bool& target) {
            if (inlineValue) {
                error = name + " takes no value";
                return false;
            }
            target = true;
            return true;
        };
        auto takeValue = [&](std::string& target) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) {
                    error = name + " needs a value";
                    return false;
                }
                value = args[++i];
            }
            target = value;
            return true;
        };
        auto takeInt = [&](std::optional<int>& target, long low, long high) {
            std::string text;
            int v = 0;
            if (!takeValue(text) || !parseInt(text, low, high, name, v, error)) return false;
            target = v;
            return true;
        };
        bool ok = true;
        std::string text;
        if (name == "-h" || name == "--help") {
            ok = flag(o.help);
        } else if (name == "--version") {
            ok = flag(o.version);
        } else if (name == "-q" || name == "--quiet") {
            ok = flag(o.quiet);
        } else if (name == "-o" || name == "--output") {
            ok = takeValue(o.output);
        } else if (name == "--out-dir") {
            ok = takeValue(o.outDir);
        } else if (name == "--params") {
            ok = takeValue(o.paramsFile);
        } else if (name == "--settings") {
            ok = takeValue(o.settingsFile);
        } else if (name == "--curves") {
            ok = takeValue(o.curvesFile);
        } else if (name == "--selection") {
            ok = takeValue(o.selectionFile);
        } else if (name == "--selection-alpha") {
            ok = flag(o.selectionAlpha);
        } else if (name == "--selection-out") {
            ok = takeValue(o.selectionOut);
        } else if (name == "--overlay") {
            ok = flag(o.overlay);
        } else if (name == "--hue") {
            ok = takeValue(o.hueCurve);
        } else if (name == "--saturation") {
            ok = takeValue(o.saturationCurve);
        } else if (name == "--intensity") {
            ok = takeValue(o.intensityCurve);
        } else if (name == "--format") {
            if ((ok = takeValue(o.format)) && (o.format.empty() || o.format[0] == '.')) {
                error = "--format needs an extension without the dot, for example png";
                ok = false;
            }
        } else if (name == "--suffix") {
            ok = takeValue(o.suffix);
        } else if (name == "--in-place") {
            ok = flag(o.inPlace);
        } else if (name == "-n" || name == "--no-clobber") {
            ok = flag(o.noClobber);
        } else if (name == "--save-params") {
            ok = takeValue(o.savedParams);
        } else if (name == "--save-settings") {
            ok = takeValue(o.savedSettings);
        } else if (name == "--plugin") {
            ok = takeValue(o.pluginPath);
        } else if (name == "--operation") {
            if ((ok = takeValue(text))) {
                std::string v = lower(text);
                if (v == "sharpen")
                    o.operation = 1;
                else if (v == "soften")
                    o.operation = 2;
                else {
                    error = "--operation must be sharpen or soften, not '" + text + "'";
                    ok = false;
                }
            }
        } else if (name == "--color-space") {
            if ((ok = takeValue(text))) {
                std::string v = lower(text);
                if (v == "image")
                    o.colorSpace = 1;
                else if (v == "hsi")
                    o.colorSpace = 2;
                else if (v == "yuv")
                    o.colorSpace = 3;
                else {
                    error = "--color-space must be image, hsi or yuv, not '" + text + "'";
                    ok = false;
                }
            }
        } else if (name == "--amount") {
            ok = takeInt(o.amount, 1, 100);
        } else if (name == "--opacity") {
            ok = takeInt(o.opacity, 0, 200);
        } else if (name == "--contract-expand") {
            ok = takeInt(o.contractExpand, -100, 100);
        } else if (name == "--falloff") {
            ok = takeInt(o.falloff, 0, 100);
        } else if (name == "--channels") {
            if ((ok = takeValue(o.channels)) && !validChannelText(o.channels)) {
                error =
                    "--channels needs four 0/1 digits (for example 1010) or channel initials, not '" + o.channels + "'";
                ok = false;
            }
        } else if (name == "--edges-only") {
            bool set = false;
            if ((ok = flag(set))) o.selectionSource = 0;
        } else if (name == "--from-curves") {
            bool set = false;
            if ((ok = flag(set))) o.selectionSource = 1;
        } else if (name == "--threads") {
            ok = takeInt(o.threads, 1, 64);
        } else if (name == "--tile") {
            ok = takeValue(text) && parseTile(text, o, error);
            o.tileGiven = true;
        } else {
            error = "unknown option " + name + " (see --help)";
            ok = false;
        }
        if (!ok) return false;
    }
    if (o.help || o.version) return true;
    if (o.inputs.empty()) {
        error = "no input file given (see --help)";
        return false;
    }
    if (!o.output.empty() && !o.outDir.empty()) {
        error = "give either -o OUTPUT or --out-dir DIR, not both";
        return false;
    }
    if (!o.output.empty() && !o.suffix.empty()) {
        error = "--suffix names the outputs of --out-dir or of files beside their inputs, not -o";
        return false;
    }
    if (o.output.empty() && o.outDir.empty() && o.suffix.empty() && !o.inPlace) {
        error =
            "no output given: use -o OUTPUT for one file, --out-dir DIR or --suffix TEXT for several, or "
            "--in-place";
        return false;
    }
    if (!o.output.empty() && o.inputs.size() != 1) {
        error = "-o takes one input file; use --out-dir DIR for several";
        return false;
    }
    if (!o.selectionOut.empty() && o.inputs.size() != 1) {
        error = "--selection-out FILE names the selection of one input; run once per input for several";
        return false;
    }
    if (!o.selectionOut.empty() && o.selectionOut == o.output) {
        error = "--selection-out and -o name the same file";
        return false;
    }
    size_t fromStdin = 0;
    for (const std::string& input : o.inputs) fromStdin += input == "-";
    if (fromStdin && (o.inputs.size() != 1 || o.output.empty())) {
        error = "standard input (-) is one input written to -o OUTPUT";
        return false;
    }
    return true;
}

bool channelFlagsFor(const std::string& channels, ColorModel model, int flags[4], std::string& error) {
    for (int i = 0; i < 4; ++i) flags[i] = 0;
    if (channels.size() == 4 && channels.find_first_not_of("01") == std::string::npos) {
        for (int i = 0; i < 4; ++i) flags[i] = channels[size_t(i)] == '1';
        return true;
    }
    if (channels.find_first_not_of("0123456789") == std::string::npos) {
        error =
            "--channels needs exactly four 0/1 digits in the dialog's order (for example 1010), not '" + channels + "'";
        return false;
    }
    const bool cmyk = model == ColorModel::CMYK, hsi = model == ColorModel::HSI, yuv = model == ColorModel::YUV;
    const char* initials = cmyk ? "CMYK" : hsi ? "HSI" : yuv ? "LC" : "RGB";
    const char* names = cmyk ? "C, M, Y, K" : hsi ? "H, S, I" : yuv ? "L, C" : "R, G, B";
    for (char c : channels) {
        const char upper = char(std::toupper(static_cast<unsigned char>(c)));
        bool found = false;
        for (int i = 0; initials[i]; ++i)
            if (initials[i] == upper) {
                flags[i] = 1;
                found = true;
            }
        if (!found) {
            error = std::string("--channels: '") + c + "' is no channel of this colour model (use " + names +
                    " or four 0/1 digits)";
            return false;
        }
    }
    return true;
}

namespace {

// The options, the same in both command lines.
constexpr char kUsage[] = R"(Usage: crispcalm [options] INPUT -o OUTPUT
       crispcalm [options] INPUT... --out-dir DIR

Sharpens or softens an RGB or CMYK image (8 or 16 bits per channel) where a
colour selection says so, with the Crisp+Calm plug-in.

Parameters, applied in this order on top of the defaults:
  --params FILE           a whole stored parameter block (24,672 bytes)
  --settings FILE         a settings file (.qzr3 / .qzr4) of any version
  --curves FILE           the three curves of a quick-curve file (.qzm)
  --operation sharpen|soften
  --amount N              1..100 (default 50)
  --color-space image|hsi|yuv
  --channels XXXX         four 0/1 digits in the dialog's order (e.g. 1010),
                          or initials: RGB / CMYK / HSI / L (luminance) C (chrominance)
  --edges-only | --from-curves
  --opacity N             0..200 percent (default 100)
  --contract-expand N     -100..100 (default 0)
  --falloff N             0..100 (default 0)

  --hue POINTS            the hue curve from control points DEGREES:WEIGHT,...
                          (0..360, weight 0..1), e.g. 0:1,40:1,80:0,300:0,340:1
  --saturation POINTS     the saturation curve, PERCENT:WEIGHT,... (0..100)
  --intensity POINTS      the intensity curve, PERCENT:WEIGHT,... (0..100)

Host:
  --selection FILE        an image of the input's size, 0 = not selected: grey,
                          or a colour image's luminance
  --selection-alpha       take the selection from the file's alpha channel
  --selection-out FILE    also write the final selection the filter used
                          (8-bit grey, the whole image; one input only)
  --overlay               write the "Overlay Color" view instead of the result:
                          the overlay colour blended in by the selection, as
                          the dialog's preview shows it; at 16 bits the 8-bit
                          view widened (unselected pixels keep their values)
  --tile WxH              the host's tile size (default 512x512); with
                          --edges-only or --contract-expand the result depends
                          on it, and without --tile the whole image is one tile
                          when it fits the memory limit
  --threads N             threads sharing the work, 1..64 (default: the
                          CRISPCALM_THREADS variable, else every core; 1 runs
                          on the calling thread alone, one step after the
                          other; more read, filter and write side by side);
                          the result is the same
  --plugin FILE           the plug-in library to load
  --save-params FILE      write the parameter block the run used
  --save-settings FILE    write the settings file of the run
  --suffix TEXT           outputs named NAME-TEXT.EXT (beside the inputs
                          unless --out-dir is given)
  --in-place              let an output replace its input
  -n, --no-clobber        skip outputs that exist
  --format EXT            the output format when -o is - (standard output)
  -q, --quiet             no progress bar
  -h, --help              this text
  --version               the version

)";

// What the files may be, and examples of them: the Windows build reads and
// writes binary PNM only.
#if defined(_WIN32)
constexpr char kFiles[] = R"(Files: this Windows build reads and writes binary PNM only: P6 colour images
of 8 or 16 bits (.ppm), selections as P5 grey (.pgm); - is standard input or
output. Convert other formats to PNM first; the Linux crispcalm reads and
writes the formats libvips knows and gives the same pixels.

Examples:
  crispcalm.exe photo.ppm -o photo-sharp.ppm
  crispcalm.exe --operation soften --amount 80 --color-space hsi portrait.ppm -o soft.ppm
  crispcalm.exe --settings skin.qzr4 --selection face-mask.pgm portrait.ppm -o out.ppm
  crispcalm.exe --hue 0:1,40:1,80:0,300:0,340:1 --overlay photo.ppm -o where.ppm --selection-out mask.pgm
)";
#else
constexpr char kFiles[] = R"(Files: any RGB or CMYK image of 8 or 16 bits that libvips loads; - is standard
input or output. The output's extension picks its format (none: the input's),
with libvips's saver options in brackets, e.g. out.jpg[Q=90] or
out.tif[compression=lzw]; depth, colour mode, alpha channel, ICC profile,
resolution and metadata pass through where the format holds them. Every page
of a multi-page TIFF is filtered with the same settings and written to a TIFF
output; its reduced-resolution copies are rebuilt from the filtered pages.

Examples:
  crispcalm photo.tif -o photo-sharp.tif
  crispcalm --operation soften --amount 80 --color-space hsi portrait.png -o soft.png
  crispcalm --settings skin.qzr4 --selection face-mask.png portrait.tif -o out.tif
  crispcalm --channels 1000 --tile 512x512 *.jpg --out-dir processed/
  crispcalm --hue 0:1,40:1,80:0,300:0,340:1 photo.jpg -o out.jpg
  crispcalm --hue 0:1,40:1,80:0,300:0,340:1 --overlay photo.jpg -o where.png --selection-out mask.png
  cat photo.png | crispcalm - -o - --format webp > photo.webp
)";
#endif

}  // namespace

const char* cliUsage() {
    static const std::string text = std::string(kUsage) + kFiles;
    return text.c_str();
}
