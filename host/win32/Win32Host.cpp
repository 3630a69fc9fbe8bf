// crispcalm-host: loads a filter plug-in (.8bf) with LoadLibrary, reads and
// checks its property list, and calls it through the stand-in host core as an
// image editor would: with a main window, the plug-in's dialog, the pixel
// display, the colour picker and the host's properties.
//
//   crispcalm-host PLUGIN.8bf            describe the plug-in
//   crispcalm-host --about PLUGIN.8bf    also show its about box
//   crispcalm-host PLUGIN.8bf IMAGE -o OUTPUT [--selection MASK]
//                  [--params BLOCK] [--save-params BLOCK]
//                                        filter IMAGE with the dialog
//
// Images: binary PNM (.ppm, .pnm; selections .pgm) at 8 or 16 bits, and PNG,
// TIFF, JPEG and BMP through the Windows Imaging Component. --params starts
// from a stored parameter block, --save-params writes the block the plug-in
// leaves. --no-display and --no-channel-ports leave those services out, as
// some hosts do; --quirk NAME (repeatable) leaves out or bends another one:
// no-basic-suite, no-buffer-suite, no-buffer-procs, zero-versions,
// zero-tile-size, moving-data.
//
// Exit codes: 0 done, 1 wrong arguments, 2 the library cannot be loaded, 3 it
// is not a filter this host can call, 4 the user cancelled, 5 the filter
// failed, 6 an image or parameter file could not be read or written.
#include <windows.h>
// The colour dialog needs the Windows types first.
#include <commdlg.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/CliRun.h"
#include "host/HostCore.h"
#include "host/PiplReader.h"
#include "host/PnmFile.h"
#include "host/win32/DisplayPixels.h"
#include "host/win32/WicImage.h"
#include "params/FilterParameters.h"

namespace {

constexpr int kPiplId = 16000;

// The first PIPL resource of the module: id 16000, or any other id.
BOOL CALLBACK firstName(HMODULE, LPCSTR, LPSTR name, LONG_PTR found) {
    *reinterpret_cast<LPCSTR*>(found) = name;
    return FALSE;
}

bool loadPiplBytes(HMODULE module, std::vector<uint8_t>& bytes) {
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(kPiplId), "PIPL");
    if (!resource) {
        LPCSTR name = nullptr;
        EnumResourceNamesA(module, "PIPL", firstName, reinterpret_cast<LONG_PTR>(&name));
        if (name) resource = FindResourceA(module, name, "PIPL");
    }
    if (!resource) return false;
    const DWORD size = SizeofResource(module, resource);
    HGLOBAL loaded = LoadResource(module, resource);
    const uint8_t* data = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    if (!data) return false;
    bytes.assign(data, data + size);
    return true;
}

void describe(const PiplInfo& info, const std::string& entry) {
    std::printf("name: %s\n", info.name.c_str());
    std::printf("category: %s\n", info.category.c_str());
    std::printf("entry point: %s\n", entry.c_str());
    std::printf("interface version: %d.%d\n", info.interfaceVersion >> 16, info.interfaceVersion & 0xFFFF);
    std::printf("mode flags: 0x%04X\n", unsigned(info.modeFlags()));
    std::printf("filter cases: %zu\n", info.filterCases.size());
}

struct HostArgs {
    std::string plugin, image, output, selection, params, saveParams;
    bool about = false;
    bool display = true;
    bool channelPorts = true;
    HostQuirks quirks;
};

// Sets the named quirk; false for an unknown name.
bool setQuirk(const std::string& name, HostQuirks& quirks) {
    struct Named {
        const char* name;
        bool HostQuirks::*flag;
    };
    const Named names[] = {
        {"no-basic-suite", &HostQuirks::noBasicSuite},   {"no-buffer-suite", &HostQuirks::noBufferSuite},
        {"no-buffer-procs", &HostQuirks::noBufferProcs}, {"zero-versions", &HostQuirks::zeroVersions},
        {"zero-tile-size", &HostQuirks::zeroTileSize},   {"moving-data", &HostQuirks::movingData},
    };
    for (const Named& n : names)
        if (name == n.name) {
            quirks.*n.flag = true;
            return true;
        }
    return false;
}

bool isPnmPath(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const std::string ext = dot == std::string::npos ? std::string() : path.substr(dot + 1);
    return ext == "ppm" || ext == "pnm" || ext == "pgm" || ext == "PPM" || ext == "PNM" || ext == "PGM";
}

bool loadImageFile(const std::string& path, HostImage& image, PnmOrigin& origin, std::string& error) {
    origin = PnmOrigin();
    origin.maxValue = 255;
    if (isPnmPath(path)) return readPnmImage(path, image, origin, error);
    if (isWicImagePath(path)) return readWicImage(path, image, error);
    error = "unknown image file type: " + path;
    return false;
}

bool loadSelectionFile(const std::string& path, const HostImage& image, std::vector<uint8_t>& selection,
                       std::string& error) {
    if (isPnmPath(path)) return readPnmSelection(path, image.width, image.height, selection, error);
    HostImage grey;
    if (!readWicImage(path, grey, error)) return false;
    if (grey.width != image.width || grey.height != image.height) {
        error = "the selection's size differs from the image's";
        return false;
    }
    selection.resize(size_t(grey.width) * size_t(grey.height));
    for (size_t i = 0; i < selection.size(); ++i) selection[i] = uint8_t(grey.samples[3 * i]);
    return true;
}

bool saveImageFile(const std::string& path, const HostImage& image, const PnmOrigin& origin, std::string& error) {
    if (isPnmPath(path)) return writePnmImage(path, image, origin, error);
    return writeWicImage(path, image, error);
}

// The host's colour picker: the system colour dialog over the plug-in's
// window.
bool pickColor(int16_t rgb[3]) {
    static COLORREF custom[16] = {};
    CHOOSECOLORA choose{};
    choose.lStructSize = sizeof choose;
    choose.hwndOwner = GetForegroundWindow();
    choose.rgbResult = RGB(rgb[0], rgb[1], rgb[2]);
    choose.lpCustColors = custom;
    choose.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (!ChooseColorA(&choose)) return false;
    rgb[0] = int16_t(GetRValue(choose.rgbResult));
    rgb[1] = int16_t(GetGValue(choose.rgbResult));
    rgb[2] = int16_t(GetBValue(choose.rgbResult));
    return true;
}

// The host's main window: the owner of the plug-in's dialog.
HWND createMainWindow(const std::string& imagePath) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    wc.lpszClassName = "CrispCalmHostWindow";
    RegisterClassA(&wc);
    const std::string title = "crispcalm-host - " + imagePath;
    HWND window = CreateWindowExA(0, wc.lpszClassName, title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 480, 120, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    if (window) ShowWindow(window, SW_SHOW);
    return window;
}

int filterImage(PluginMainProc entry, const HostArgs& args) {
    HostImage image;
    PnmOrigin origin;  // a PNM input's maximum and 16-bit file samples
    std::string error;
    if (!loadImageFile(args.image, image, origin, error)) {
        std::fprintf(stderr, "crispcalm-host: %s\n", error.c_str());
        return 6;
    }
    HostCore host;
    host.setImage(image);
    if (!args.selection.empty()) {
        std::vector<uint8_t> selection;
        if (!loadSelectionFile(args.selection, image, selection, error)) {
            std::fprintf(stderr, "crispcalm-host: %s\n", error.c_str());
            return 6;
        }
        host.setSelection(std::move(selection));
    }
    if (!args.params.empty()) {
        std::vector<uint8_t> block;
        if (!readWholeFile(args.params, kFilterParametersSize * 4, block, error)) {
            std::fprintf(stderr, "crispcalm-host: %s\n", error.c_str());
            return 6;
        }
        host.setParameterBytes(block);
    }
    HWND mainWindow = createMainWindow(args.image);
    host.setMainWindow(reinterpret_cast<intptr_t>(mainWindow));
    host.onChooseColor = pickColor;
    if (args.display)
        host.setDisplayPixels([](const PSPixelMap& map, const VRect& source, int32 row, int32 column, void* context) {
            return hostDisplayPixels(&map, &source, row, column, context);
        });
    host.setChannelPorts(args.channelPorts);
    host.setQuirks(args.quirks);

    int16 result = host.call(entry, filterSelectorParameters);
    if (result == noErr) result = host.call(entry, filterSelectorPrepare);
    if (result == noErr) result = host.call(entry, filterSelectorStart);
    if (mainWindow) DestroyWindow(mainWindow);

    const bool changed = host.image().samples != image.samples;
    std::printf("result: %d\nimage: %s\n", int(result), changed ? "changed" : "unchanged");
    std::fflush(stdout);
    if (!args.saveParams.empty() && !writeWholeFile(args.saveParams, host.parameterBytes(), error)) {
        std::fprintf(stderr, "crispcalm-host: %s\n", error.c_str());
        return 6;
    }
    if (result == userCanceledErr) return 4;
    if (result != noErr) return 5;
    if (!saveImageFile(args.output, host.image(), origin, error)) {
        std::fprintf(stderr, "crispcalm-host: %s\n", error.c_str());
        return 6;
    }
    return 0;
}

int run(const HostArgs& args) {
    const char* path = args.plugin.c_str();
    HMODULE module = LoadLibraryA(path);
    if (!module) {
        std::fprintf(stderr, "crispcalm-host: cannot load %s (error %lu)\n", path, GetLastError());
        return 2;
    }
    std::vector<uint8_t> bytes;
    PiplInfo info;
    std::string error, entryName;
    if (!loadPiplBytes(module, bytes)) {
        error = "the library has no PIPL resource";
    } else if (readPipl(bytes.data(), bytes.size(), info, error)) {
        checkFilterPipl(info, sizeof(void*) == 8, entryName, error);
    }
    PluginMainProc entry = nullptr;
    if (error.empty()) {
        entry = reinterpret_cast<PluginMainProc>(reinterpret_cast<void*>(GetProcAddress(module, entryName.c_str())));
        if (!entry) error = "the library does not export its entry point " + entryName;
    }
    if (!error.empty()) {
        std::fprintf(stderr, "crispcalm-host: %s is not a filter this host can use: %s\n", path, error.c_str());
        FreeLibrary(module);
        return 3;
    }
    int status = 0;
    if (!args.image.empty()) {
        status = filterImage(entry, args);
    } else {
        describe(info, entryName);
        std::fflush(stdout);
        if (args.about) {
            HostCore host;
            host.call(entry, filterSelectorAbout);
            for (const std::string& url : host.stats().browsedUrls) std::printf("browse: %s\n", url.c_str());
        }
    }
    FreeLibrary(module);
    return status;
}

const char* const kUsage =
    "usage: crispcalm-host [--about] PLUGIN.8bf\n"
    "       crispcalm-host PLUGIN.8bf IMAGE -o OUTPUT [--selection MASK] [--params BLOCK]\n"
    "                      [--save-params BLOCK] [--no-display] [--no-channel-ports] [--quirk NAME]...\n";

bool parseArgs(int argc, char** argv, HostArgs& args) {
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        if (a == "--about") {
            args.about = true;
        } else if (a == "--no-display") {
            args.display = false;
        } else if (a == "--no-channel-ports") {
            args.channelPorts = false;
        } else if (a == "--quirk") {
            std::string name;
            if (!value(name) || !setQuirk(name, args.quirks)) return false;
        } else if (a == "-o" || a == "--output") {
            if (!value(args.output)) return false;
        } else if (a == "--selection") {
            if (!value(args.selection)) return false;
        } else if (a == "--params") {
            if (!value(args.params)) return false;
        } else if (a == "--save-params") {
            if (!value(args.saveParams)) return false;
        } else if (!a.empty() && a[0] == '-') {
            return false;
        } else {
            paths.push_back(a);
        }
    }
    if (paths.empty() || paths.size() > 2) return false;
    args.plugin = paths[0];
    if (paths.size() == 2) args.image = paths[1];
    // An image needs an output, and the about box needs no image.
    if (args.image.empty() != args.output.empty()) return false;
    return !(args.about && !args.image.empty());
}

}  // namespace

int main(int argc, char** argv) {
    HostArgs args;
    if (!parseArgs(argc, argv, args)) {
        std::fprintf(stderr, "%s", kUsage);
        return 1;
    }
    return run(args);
}
