// Writes the seed corpus of the fuzz targets: a few small, valid or nearly
// valid inputs per target, made with the project's own writers so that they
// follow the formats exactly. Usage: fuzz_make_corpus CORPUS_DIR
// (tests/fuzz/make-corpus.sh runs it and adds the plug-in's real PIPLs).
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "base/ByteCodec.h"
#include "dialog/QuickCurveFile.h"
#include "dialog/SettingsFile.h"
#include "params/FilterParameters.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

bool save(const fs::path& folder, const std::string& name, const Bytes& bytes) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

FilterParameters defaults() {
    FilterParameters p;
    p.setDefaults();
    return p;
}

Bytes blockBytes(const FilterParameters& p) {
    Bytes b(kFilterParametersSize);
    writeFilterParameters(p, b.data(), b.size());
    return b;
}

// Control bytes (see FuzzParameterBlock.cpp) and the first `keep` bytes of
// the block; the target fills the rest from the defaults.
Bytes parameterSeed(const Bytes& control, const FilterParameters& p, size_t keep) {
    Bytes seed = control;
    const Bytes block = blockBytes(p);
    seed.insert(seed.end(), block.begin(), block.begin() + std::ptrdiff_t(keep));
    return seed;
}

bool parameterSeeds(const fs::path& dir) {
    const fs::path d = dir / "fuzz_parameter_block";
    const size_t scalars = ParamOffset::curves;
    bool ok = true;

    FilterParameters p = defaults();
    p.imageClass = ImageClass::RGB;
    ok &= save(d, "sharpen-rgb8", parameterSeed({0x20, 22, 16, 7, 5, 1, 0x21, 0x33}, p, scalars));

    p = defaults();
    p.imageClass = ImageClass::CMYK;
    p.operation = Operation::Soften;
    p.amount = 100;
    p.colorSpace = ColorSpace::Hsi;
    p.contractExpand = 60;
    p.falloff = 40;
    ok &= save(d, "soften-hsi-cmyk16-selection", parameterSeed({0x2E, 20, 23, 9, 9, 7, 0x12, 0x88}, p, scalars));

    p = defaults();
    p.imageClass = ImageClass::RGB;
    p.colorSpace = ColorSpace::Yuv;
    p.selectionSource = SelectionSource::EdgesOnly;
    p.opacity = 150;
    p.contractExpand = -70;
    p.falloff = 100;
    p.channelEnabled[1] = 0;
    ok &= save(d, "edges-yuv-rgb16-contract", parameterSeed({0x34, 17, 19, 4, 31, 3, 0x21, 0x55}, p, scalars));

    p = defaults();
    p.imageClass = ImageClass::CMYK;
    p.operation = Operation(7);
    p.amount = std::numeric_limits<int32_t>::max();
    p.opacity = -5;
    p.contractExpand = std::numeric_limits<int32_t>::min();
    p.falloff = 1000;
    p.colorSpace = ColorSpace(-1);
    ok &= save(d, "out-of-range-scalars", parameterSeed({0x22, 11, 13, 3, 2, 9, 0, 0}, p, scalars));

    // Whole blocks with damaged curves: NaN, infinities and huge points.
    p = defaults();
    p.imageClass = ImageClass::RGB;
    p.curves.hue.points[100] = std::numeric_limits<float>::quiet_NaN();
    p.curves.saturation.points[0] = std::numeric_limits<float>::infinity();
    p.curves.saturation.points[700] = -std::numeric_limits<float>::infinity();
    p.curves.intensity.points[511] = 3.0e38f;
    p.curves.intensity.kind = 77;
    ok &= save(d, "damaged-curves", parameterSeed({0x20, 24, 24, 16, 16, 5, 0, 0}, p, kFilterParametersSize));

    p = defaults();
    p.imageClass = ImageClass::RGB;
    p.operation = Operation::Soften;
    p.amount = 5000;
    for (int i = 0; i < kCurveSlots; ++i) p.curves.hue.points[i] = NoPoint;
    p.curves.saturation.points[1023] = -0.5f;
    ok &= save(d, "soften-huge-amount", parameterSeed({0x21, 24, 9, 32, 32, 2, 0, 0}, p, kFilterParametersSize));
    return ok;
}

bool settingsSeeds(const fs::path& dir) {
    const fs::path d = dir / "fuzz_settings_file";
    bool ok = true;
    FilterParameters p = defaults();
    p.curves.hue.points[3] = 0.25f;
    p.contractExpand = -100;
    p.opacity = 200;
    const Bytes sharpen = writeSettingsFile(p);
    ok &= save(d, "v22-sharpen.qzr3", sharpen);
    p.operation = Operation::Soften;
    p.colorSpace = ColorSpace::Yuv;
    ok &= save(d, "v22-soften.qzr4", writeSettingsFile(p));

    Bytes v20 = sharpen;
    v20[6] = 0;
    ok &= save(d, "v20.qzr3", v20);
    Bytes v1 = sharpen;
    v1[5] = 1;
    v1[6] = 5;
    v1.resize(kSettingsFileSizeV1);
    ok &= save(d, "v15.qzr3", v1);
    Bytes newer = sharpen;
    newer[6] = 3;
    ok &= save(d, "v23.qzr3", newer);
    Bytes cut = sharpen;
    cut.pop_back();
    ok &= save(d, "v22-short.qzr3", cut);
    return ok;
}

Bytes quickCurveFile(bool mostSignificantFirst, uint8_t key, bool separator, const char* name) {
    Bytes b(kQuickCurveFileSize, 0);
    std::memcpy(b.data(), "QZMV", 4);
    b[4] = mostSignificantFirst ? 1 : 0;
    b[7] = key;
    b[8] = separator ? 1 : 0;
    std::memcpy(b.data() + 11, name, std::strlen(name));
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < kCurveSlots; ++i) {
            int16_t v = -1;
            if (i % 97 == 0) v = int16_t((i * 37 + c * 1000) % 32768);
            if (i == 1023) v = 32767;
            uint8_t* at = b.data() + 75 + (size_t(c) * kCurveSlots + size_t(i)) * 2;
            const uint16_t u = uint16_t(v);
            at[0] = mostSignificantFirst ? uint8_t(u >> 8) : uint8_t(u);
            at[1] = mostSignificantFirst ? uint8_t(u) : uint8_t(u >> 8);
        }
    return b;
}

bool quickCurveSeeds(const fs::path& dir) {
    const fs::path d = dir / "fuzz_quick_curve_file";
    bool ok = true;
    ok &= save(d, "little-endian.qzm", quickCurveFile(false, 3, true, "Skin tones"));
    ok &= save(d, "big-endian.qzm", quickCurveFile(true, 1, false, "Greens"));
    Bytes unterminated = quickCurveFile(false, 2, false, "");
    std::memset(unterminated.data() + 11, 'A', 64);
    ok &= save(d, "unterminated-name.qzm", unterminated);
    return ok;
}

Bytes commandLine(const std::vector<std::string>& args) {
    Bytes b;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) b.push_back(0);
        b.insert(b.end(), args[i].begin(), args[i].end());
    }
    return b;
}

bool cliSeeds(const fs::path& dir) {
    const fs::path d = dir / "fuzz_cli_options";
    bool ok = true;
    ok &= save(d, "simple", commandLine({"photo.tif", "-o", "out.tif"}));
    ok &= save(d, "every-option",
               commandLine({"--operation",
                            "soften",
                            "--amount=80",
                            "--color-space",
                            "hsi",
                            "--channels",
                            "HS",
                            "--edges-only",
                            "--opacity",
                            "150",
                            "--contract-expand",
                            "-40",
                            "--falloff",
                            "20",
                            "--tile",
                            "512x256",
                            "--selection",
                            "m.png",
                            "--params",
                            "p.bin",
                            "--settings",
                            "s.qzr4",
                            "--curves",
                            "c.qzm",
                            "--save-params",
                            "a",
                            "--save-settings",
                            "b",
                            "--plugin",
                            "x.so",
                            "-q",
                            "a.png",
                            "b.png",
                            "--out-dir",
                            "out"}));
    ok &= save(d, "channels-digits", commandLine({"--channels", "1010", "--", "-odd-name.png", "--out-dir", "o"}));
    ok &= save(d, "help", commandLine({"--help"}));
    return ok;
}

// A minimal property list: header, then kind and a 64-bit entry point.
bool piplSeeds(const fs::path& dir) {
    const fs::path d = dir / "fuzz_pipl";
    Bytes b(10, 0);
    b[0] = 1;
    b[6] = 2;  // two properties
    auto property = [&](const char* key, const Bytes& value) {
        Bytes head(16, 0);
        ByteWriter w(head.data(), head.size());
        w.u32(0x3842494D);  // '8BIM'
        w.u32((uint32_t(uint8_t(key[0])) << 24) | (uint32_t(uint8_t(key[1])) << 16) | (uint32_t(uint8_t(key[2])) << 8) |
              uint32_t(uint8_t(key[3])));
        w.seek(12);
        w.u32(uint32_t(value.size()));
        b.insert(b.end(), head.begin(), head.end());
        b.insert(b.end(), value.begin(), value.end());
        while (b.size() % 4 != 2) b.push_back(0);  // values padded to four bytes after the 10-byte header
    };
    property("kind", {'M', 'F', 'B', '8'});
    property("8664", {'P', 'l', 'u', 'g', 'i', 'n', 'M', 'a', 'i', 'n', 0});
    return save(d, "minimal.pipl", b);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    const fs::path dir(argv[1]);
    const bool ok =
        parameterSeeds(dir) && settingsSeeds(dir) && quickCurveSeeds(dir) && cliSeeds(dir) && piplSeeds(dir);
    if (!ok) std::fprintf(stderr, "could not write the corpus in %s\n", argv[1]);
    return ok ? 0 : 1;
}
