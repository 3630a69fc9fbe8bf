// What crispcalm shows of a run's selection: --selection-out against the
// curves worked out here by hand, --overlay against the preview's own
// rendering of the same image at zoom 1.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "engine/PreviewOperation.h"
#include "host/HostCore.h"
#include "imageops/PixelTransfer.h"
#include "params/FilterParameters.h"
#include "tests/support/CliFixture.h"
#include "tests/support/FilePixels.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 37, kHeight = 23;
// Intensity below 40 % fully selected, above 60 % not at all; the hue curve
// is flat and the saturation curve made flat, so a grey pixel's weight is 0
// or 1 exactly.
const std::string kDarkOnly = "--saturation 0:1,100:1 --intensity 0:1,40:1,60:0,100:0 ";

// Grey pixels, each either dark (5..30 % of full) or light (70..95 %): RGB
// as three equal bands, CMYK as black ink alone. dark[i] tells which.
Pixels greyPixels(int bands, int depth, std::vector<bool>& dark) {
    const double full = depth == 16 ? 65535 : 255;
    Pixels p{kWidth, kHeight, bands, depth, {}};
    std::mt19937 rng(11);
    dark.clear();
    for (int i = 0; i < kWidth * kHeight; ++i) {
        dark.push_back(rng() % 2 == 0);
        const double level = (dark.back() ? 0.05 : 0.7) + (rng() % 1000) / 1000.0 * 0.25;
        const uint16_t v = uint16_t(level * full);
        for (int b = 0; b < bands; ++b) p.values.push_back(bands == 4 ? (b == 3 ? uint16_t(full - v) : 0) : v);
    }
    return p;
}

Pixels loadGrey(const std::string& path) {
    VipsInterpretation type;
    return loadTestImage(path, type);
}

class CliSelection : public CliFixture {
protected:
    // A random host selection (with fully and not selected pixels).
    std::string writeSelection(std::vector<uint16_t>& values) {
        Pixels mask = randomPixels(kWidth, kHeight, 1, 8, 5);
        values = mask.values;
        const std::string path = file("host-mask.png");
        EXPECT_TRUE(saveTestImage(path, mask, VIPS_INTERPRETATION_B_W));
        return path;
    }

    FilterParameters savedBlock() {
        const std::vector<uint8_t> bytes = fileBytes(file("run.params"));
        FilterParameters block;
        EXPECT_TRUE(readFilterParameters(bytes.data(), bytes.size(), block));
        block.curves.evaluateAll();
        return block;
    }
};

TEST_F(CliSelection, SelectionOutIsWhatTheCurvesAndTheHostSelectionGive) {
    std::vector<uint16_t> host;
    const std::string mask = writeSelection(host);
    const struct {
        int bands, depth;
        const char* extension;
        bool withMask;
        const char* selectionFile;
    } cases[] = {{3, 8, ".png", true, "sel.png"},
                 {3, 16, ".tif", true, "sel.pgm"},
                 {4, 8, ".tif", true, "sel.tif"},
                 {4, 16, ".tif", false, "sel.png"},
                 {3, 8, ".png", false, "sel.pgm"}};
    for (const auto& c : cases) {
        std::vector<bool> dark;
        const Pixels image = greyPixels(c.bands, c.depth, dark);
        const std::string in = file(std::string("in") + c.extension);
        ASSERT_TRUE(saveTestImage(in, image, c.bands == 4 ? VIPS_INTERPRETATION_CMYK : VIPS_INTERPRETATION_sRGB));
        const std::string options = kDarkOnly + (c.withMask ? "--selection " + mask + " " : std::string());
        const CliOutcome o = crispcalm(options + "--tile 8x5 --selection-out " + file(c.selectionFile) + " " + in +
                                       " -o " + file(std::string("out") + c.extension));
        ASSERT_EQ(o.status, 0) << o.output;
        const Pixels selection = loadGrey(file(c.selectionFile));
        ASSERT_EQ(selection.bands, 1);
        ASSERT_EQ(selection.depth, 8);
        ASSERT_EQ(selection.values.size(), dark.size());
        for (size_t i = 0; i < dark.size(); ++i) {
            const uint16_t expected = dark[i] ? (c.withMask ? host[i] : 255) : 0;
            ASSERT_EQ(selection.values[i], expected) << c.bands << " bands, " << c.depth << " bits, pixel " << i;
        }
    }
}

// The preview's "Overlay Color" rendering of an 8-bit file at zoom 1: the
// whole image as the shown part, on the stand-in host.
std::vector<uint8_t> previewOverlay(const Pixels& file, FilterParameters block, const std::vector<uint16_t>* host) {
    HostCore core;
    RunContext run(&core.record());
    const int planes = file.bands;
    std::vector<uint8_t> source(file.values.size()), result(file.values.size()), mask;
    for (int p = 0; p < planes; ++p)
        for (int i = 0; i < kWidth * kHeight; ++i) {
            const uint16_t v = file.values[size_t(i) * planes + p];
            source[size_t(p) * kWidth * kHeight + i] = uint8_t(planes == 4 ? 255 - v : v);  // host CMYK: 255 = no ink
        }
    const ImageClass imageClass = planes == 4 ? ImageClass::CMYK : ImageClass::RGB;
    PreviewPlanes in{source.data(), planes, kWidth, kHeight, imageClass};
    PreviewPlanes out{result.data(), planes, kWidth, kHeight, imageClass};
    PreviewPlanes selection;
    if (host) {
        mask.assign(host->begin(), host->end());
        selection = PreviewPlanes{mask.data(), 1, kWidth, kHeight, ImageClass::Mask};
    }
    ImageBuffer hsi;
    EXPECT_TRUE(hsi.allocate(run, kWidth, kHeight, HsiChannels));
    EXPECT_TRUE(importPixels(run, BufferContent::HSI, planarPixels(in), Rect16{0, 0, kHeight, kWidth}, hsi, Point16{}));
    block.showResult = 0;
    EXPECT_EQ(previewOperation(run, block, in, out, host ? &selection : nullptr, hsi, VRect{0, 0, kHeight, kWidth}, 1.0,
                               nullptr),
              noErr);
    std::vector<uint8_t> interleaved(result.size());
    for (int p = 0; p < planes; ++p)
        for (int i = 0; i < kWidth * kHeight; ++i) {
            const uint8_t v = result[size_t(p) * kWidth * kHeight + i];
            interleaved[size_t(i) * planes + p] = uint8_t(planes == 4 ? 255 - v : v);
        }
    return interleaved;
}

TEST_F(CliSelection, OverlayIsThePreviewsOverlayAtZoomOne) {
    std::vector<uint16_t> host;
    const std::string mask = writeSelection(host);
    const struct {
        int bands;
        std::string options;
        bool withMask;
    } cases[] = {
        {3, "--hue 0:1,40:1,80:0,300:0,340:1 ", true},
        {3, "--edges-only --contract-expand 30 ", false},
        {3, kDarkOnly + "--contract-expand -40 --falloff 50 ", true},
        {4, "--hue 0:1,40:1,80:0,300:0,340:1 ", false},
    };
    for (const auto& c : cases) {
        const Pixels image = randomPixels(kWidth, kHeight, c.bands, 8, 3);
        const std::string in = file(c.bands == 4 ? "in.tif" : "in.png");
        ASSERT_TRUE(saveTestImage(in, image, c.bands == 4 ? VIPS_INTERPRETATION_CMYK : VIPS_INTERPRETATION_sRGB));
        const std::string out = file(c.bands == 4 ? "overlay.tif" : "overlay.png");
        const CliOutcome o = crispcalm(c.options + (c.withMask ? "--selection " + mask + " " : std::string()) +
                                       "--overlay --save-params " + file("run.params") + " " + in + " -o " + out);
        ASSERT_EQ(o.status, 0) << o.output;
        VipsInterpretation type;
        const Pixels written = loadTestImage(out, type);
        const std::vector<uint8_t> expected = previewOverlay(image, savedBlock(), c.withMask ? &host : nullptr);
        ASSERT_EQ(written.values.size(), expected.size()) << c.options;
        size_t tinted = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(written.values[i], expected[i]) << c.options << " sample " << i;
            tinted += written.values[i] != image.values[i];
        }
        EXPECT_GT(tinted, 0u) << c.options;
    }
}

TEST_F(CliSelection, BadCombinationsAreRefusedBeforeAnyWork) {
    const Pixels image = randomPixels(kWidth, kHeight, 3, 8, 3);
    ASSERT_TRUE(saveTestImage(file("a.png"), image, VIPS_INTERPRETATION_sRGB));
    ASSERT_TRUE(saveTestImage(file("b.png"), image, VIPS_INTERPRETATION_sRGB));
    fs::create_directory(file("o"));
    const std::string a = file("a.png"), out = file("out.png");
    const struct {
        std::string args, mentions;
    } bad[] = {
        {"--selection-out " + file("s.png") + " " + a + " " + file("b.png") + " --out-dir " + file("o"), "one input"},
        {"--selection-out " + out + " " + a + " -o " + out, "same file"},
        {"--selection-out " + a + " " + a + " -o " + out, "input or the output"},
        {"--selection-out " + file("s") + " " + a + " -o " + out, "extension"},
        {"--selection-out " + file("s.xyz") + " " + a + " -o " + out, ".xyz"},
    };
    for (const auto& b : bad) {
        const CliOutcome o = crispcalm(b.args);
        EXPECT_NE(o.status, 0) << b.args;
        EXPECT_NE(o.output.find(b.mentions), std::string::npos) << b.args << "\n" << o.output;
        EXPECT_FALSE(fs::exists(out)) << b.args;
    }
    EXPECT_EQ(loadGrey(a).values, image.values) << "the input is untouched";
    EXPECT_TRUE(fs::is_empty(file("o")));
}

}  // namespace
