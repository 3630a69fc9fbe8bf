// What crispcalm shows of a run's selection: --selection-out against the
// curves worked out here by hand, --overlay against the preview's own
// rendering of the same image at zoom 1.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "engine/PreviewOperation.h"
#include "host/HostCore.h"
#include "host/ImageFile.h"
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

// At 16 bits the overlay reduced to 8 bits as the host's channel ports
// reduce (v x 255 / 32768, half up) is the overlay of the image reduced
// first; each sample is either the input's own or an 8-bit value widened.
TEST_F(CliSelection, SixteenBitOverlayReducesToTheOverlayOfTheReducedImage) {
    std::vector<uint16_t> host;
    const std::string mask = writeSelection(host);
    auto reduce = [](uint16_t v) { return uint16_t((uint32_t(v) * 510 + 32768) / 65536); };
    auto widen = [](uint16_t v) { return uint16_t((uint32_t(v) * 65536 + 255) / 510); };
    for (int planes : {3, 4}) {
        SCOPED_TRACE(planes);
        const std::string in16 = file("in16.tif"), in8 = file("in8.tif");
        ASSERT_TRUE(saveTestImage(in16, randomPixels(kWidth, kHeight, planes, 16, 9),
                                  planes == 4 ? VIPS_INTERPRETATION_CMYK : VIPS_INTERPRETATION_RGB16));
        HostImage image16, reduced, out16, out8;
        ImageFileInfo info16, info8, ignored;
        std::string error;
        ASSERT_TRUE(readImageFile(in16, image16, info16, error)) << error;
        ASSERT_TRUE(makeHostImage(reduced, kWidth, kHeight, planes, 8));
        for (size_t i = 0; i < reduced.samples.size(); ++i) reduced.samples[i] = reduce(image16.samples[i]);
        info8.depth = 8;
        info8.cmyk = planes == 4;
        ASSERT_TRUE(writeImageFile(in8, reduced, info8, error)) << error;
        const std::string run = "--hue 0:1,40:1,80:0,300:0,340:1 --selection " + mask + " --overlay ";
        ASSERT_EQ(crispcalm(run + in16 + " -o " + file("out16.tif")).status, 0);
        ASSERT_EQ(crispcalm(run + in8 + " -o " + file("out8.tif")).status, 0);
        ASSERT_TRUE(readImageFile(file("out16.tif"), out16, ignored, error)) << error;
        ASSERT_TRUE(readImageFile(file("out8.tif"), out8, ignored, error)) << error;
        ASSERT_EQ(out16.depth, 16);
        size_t kept = 0, tinted = 0;
        for (size_t i = 0; i < out16.samples.size(); ++i) {
            const uint16_t v = out16.samples[i];
            ASSERT_EQ(reduce(v), out8.samples[i]) << "sample " << i;
            ASSERT_TRUE(v == image16.samples[i] || widen(reduce(v)) == v) << "sample " << i;
            kept += v == image16.samples[i];
            tinted += reduce(v) != reduce(image16.samples[i]);
        }
        EXPECT_GT(kept, out16.samples.size() / 10);
        EXPECT_GT(tinted, out16.samples.size() / 10);
        // Unselected samples keep the file's exact 16-bit values.
        const Pixels before = loadGrey(in16), after = loadGrey(file("out16.tif"));
        size_t exact = 0;
        for (size_t i = 0; i < before.values.size(); ++i) exact += before.values[i] == after.values[i];
        EXPECT_GE(exact, kept);
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
