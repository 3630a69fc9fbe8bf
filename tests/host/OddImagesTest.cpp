// Odd images through the built crispcalm: degenerate shapes, images smaller
// than the filter's margin, extreme selections, 16-bit CMYK with alpha,
// and runs that need more memory than the host grants.
// Each ends in a written result or a clear message, never a crash.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <vips/vips.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "host/ImageFile.h"
#include "params/FilterParameters.h"
#include "tests/support/CliFixture.h"
#include "tests/support/TestImages.h"

namespace {

namespace fs = std::filesystem;

class OddImages : public CliFixture {
protected:
    std::string writeImage(const std::string& name, const HostImage& image, ImageFileFormat format,
                           int extraChannels = 0) {
        ImageFileInfo info;
        info.format = format;
        info.depth = image.depth;
        info.cmyk = image.planes == 4;
        info.extraChannels = extraChannels;
        info.extraSamples.resize(size_t(image.width) * size_t(image.height) * size_t(extraChannels));
        for (size_t i = 0; i < info.extraSamples.size(); ++i)
            info.extraSamples[i] = uint16_t((i * 2654435761u) >> (image.depth == 16 ? 16 : 24));
        std::string path = file(name), error;
        EXPECT_TRUE(writeImageFile(path, image, info, error)) << error;
        return path;
    }

    std::string writeGrey(const std::string& name, int width, int height, uint8_t value) {
        VipsImage* black = nullptr;
        VipsImage* grey = nullptr;
        EXPECT_EQ(vips_black(&black, width, height, NULL), 0);
        EXPECT_EQ(vips_linear1(black, &grey, 1.0, double(value), "uchar", TRUE, NULL), 0);
        const std::string path = file(name);
        EXPECT_EQ(vips_image_write_to_file(grey, path.c_str(), NULL), 0);
        g_object_unref(grey);
        g_object_unref(black);
        return path;
    }

    std::string writeBlock(const std::string& name, const FilterParameters& p) {
        std::vector<char> bytes(kFilterParametersSize);
        writeFilterParameters(p, reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
        std::ofstream(file(name), std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
        return file(name);
    }

    static bool read(const std::string& path, HostImage& image, ImageFileInfo& info) {
        std::string error;
        return readImageFile(path, image, info, error);
    }
};

// Runs crispcalm and reads the result back; the result must keep the shape.
void expectFiltered(const CliOutcome& o, const std::string& out, const HostImage& in, HostImage& result) {
    ASSERT_EQ(o.status, 0) << o.output;
    ImageFileInfo info;
    std::string error;
    ASSERT_TRUE(readImageFile(out, result, info, error)) << error;
    EXPECT_EQ(result.width, in.width);
    EXPECT_EQ(result.height, in.height);
    EXPECT_EQ(result.planes, in.planes);
    EXPECT_EQ(result.depth, in.depth);
}

TEST_F(OddImages, DegenerateShapesRunInEveryModelAndDoNotDependOnTheTile) {
    struct Shape {
        int width, height;
    } shapes[] = {{1, 1}, {1, 37}, {41, 1}};
    const char* settings[] = {"", "--color-space hsi --operation soften --amount 100",
                              "--color-space yuv --edges-only --contract-expand 100 --falloff 50",
                              "--contract-expand -100"};
    for (const Shape& s : shapes) {
        const HostImage image = makeTestImage(s.width, s.height, 3, 16, 5);
        const std::string in = writeImage("in.tif", image, ImageFileFormat::Tiff);
        for (const char* options : settings) {
            SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height) + " " + options);
            HostImage whole, tiled;
            expectFiltered(crispcalm(std::string(options) + " " + in + " -o " + file("a.tif")), file("a.tif"), image,
                           whole);
            expectFiltered(crispcalm(std::string(options) + " --tile 1x1 " + in + " -o " + file("b.tif")),
                           file("b.tif"), image, tiled);
            // Edges and contract/expand look at one tile at a time by design.
            const bool perTile = std::string(options).find("contract") != std::string::npos ||
                                 std::string(options).find("edges") != std::string::npos;
            if (!perTile) {
                EXPECT_EQ(whole.samples, tiled.samples) << "the tile size changed the result";
            }
        }
    }
}

TEST_F(OddImages, ImageSmallerThanTheMarginMirrorsItsMarginsInside) {
    // Soften at amount 5000 (only a stored block can hold it) gives a margin of
    // 3 pixels around a 5 x 4 image: a padded tile is larger than the image and
    // its margins fold back and forth inside what was fetched. Every tile size
    // must still give the same bytes.
    FilterParameters p;
    p.setDefaults();
    p.imageClass = ImageClass::RGB;
    p.operation = Operation::Soften;
    p.amount = 5000;
    const std::string params = writeBlock("wide.bin", p);
    const HostImage image = makeTestImage(5, 4, 3, 8, 9);
    const std::string in = writeImage("small.png", image, ImageFileFormat::Png);
    HostImage whole, tiled;
    expectFiltered(crispcalm("--params " + params + " " + in + " -o " + file("a.png")), file("a.png"), image, whole);
    expectFiltered(crispcalm("--params " + params + " --tile 2x3 " + in + " -o " + file("b.png")), file("b.png"), image,
                   tiled);
    EXPECT_EQ(whole.samples, tiled.samples);
    EXPECT_NE(whole.samples, image.samples) << "the wide soften changed the image";
}

TEST_F(OddImages, SelectionsOfNothingAndOfEverything) {
    const HostImage image = makeTestImage(60, 40, 3, 8, 2);
    const std::string in = writeImage("in.png", image, ImageFileFormat::Png);
    const std::string none = writeGrey("none.png", 60, 40, 0);
    const std::string all = writeGrey("all.png", 60, 40, 255);

    HostImage unselected;
    expectFiltered(crispcalm("--amount 100 --selection " + none + " " + in + " -o " + file("n.png")), file("n.png"),
                   image, unselected);
    EXPECT_EQ(unselected.samples, image.samples) << "an empty selection leaves the image as it was";

    // A full selection reaches every corner and does not depend on the tile.
    HostImage everything, tiled;
    expectFiltered(crispcalm("--amount 100 --selection " + all + " " + in + " -o " + file("a.png")), file("a.png"),
                   image, everything);
    expectFiltered(crispcalm("--amount 100 --tile 7x5 --selection " + all + " " + in + " -o " + file("t.png")),
                   file("t.png"), image, tiled);
    EXPECT_EQ(everything.samples, tiled.samples);
    for (auto [x0, y0] : {std::pair{0, 0}, {50, 0}, {0, 30}, {50, 30}}) {
        size_t changed = 0;
        for (int y = y0; y < y0 + 10; ++y)
            for (int x = x0; x < x0 + 10; ++x)
                for (int c = 0; c < 3; ++c) changed += everything.at(x, y, c) != image.at(x, y, c);
        EXPECT_GT(changed, 0u) << "corner " << x0 << "," << y0;
    }
}

TEST_F(OddImages, SixteenBitCmykWithAlpha) {
    const HostImage image = makeTestImage(33, 21, 4, 16, 4);
    const std::string in = writeImage("cmyk16a.tif", image, ImageFileFormat::Tiff, 1);
    const std::string out = file("out.tif");
    HostImage result;
    expectFiltered(crispcalm("--operation soften --amount 100 --channels CMYK " + in + " -o " + out), out, image,
                   result);
    HostImage before;
    ImageFileInfo beforeInfo, afterInfo;
    ASSERT_TRUE(read(in, before, beforeInfo));
    ASSERT_TRUE(read(out, result, afterInfo));
    EXPECT_TRUE(afterInfo.cmyk);
    EXPECT_EQ(afterInfo.depth, 16);
    EXPECT_EQ(afterInfo.extraChannels, 1);
    EXPECT_EQ(afterInfo.extraSamples, beforeInfo.extraSamples) << "alpha passes through unchanged";
    EXPECT_NE(result.samples, before.samples);
}

TEST_F(OddImages, TooLargeForTheHostGivesAClearMessageAndNoOutput) {
    const std::string out = file("out.png");

    // A header beyond the host's 30000 pixels a side; the pixels never come.
    const std::string header = file("huge.ppm");
    std::ofstream(header, std::ios::binary) << "P6\n30001 30001\n255\n" << std::string(64, '\x80');
    CliOutcome o = crispcalm(header + " -o " + out);
    EXPECT_NE(o.status, 0);
    EXPECT_EQ(o.status == -1, false) << "crashed";
    EXPECT_NE(o.output.find("30000"), std::string::npos) << o.output;

    // A stored block whose soften margin (3,465 pixels, within the image's
    // 3,500) needs working buffers beyond the host's 1 GiB in one tile.
    const std::string big = file("big.png");
    {
        VipsImage* black = nullptr;
        VipsImage* grey = nullptr;
        VipsImage* rgb = nullptr;
        ASSERT_EQ(vips_black(&black, 3500, 3500, NULL), 0);
        ASSERT_EQ(vips_linear1(black, &grey, 1.0, 128.0, "uchar", TRUE, NULL), 0);
        VipsImage* bands[3] = {grey, grey, grey};
        ASSERT_EQ(vips_bandjoin(bands, &rgb, 3, NULL), 0);
        ASSERT_EQ(vips_image_write_to_file(rgb, big.c_str(), NULL), 0);
        for (VipsImage* i : {black, grey, rgb}) g_object_unref(i);
    }
    FilterParameters p;
    p.setDefaults();
    p.imageClass = ImageClass::RGB;
    p.operation = Operation::Soften;
    p.amount = 6600;
    const std::string wide = writeBlock("wide.bin", p);
    o = crispcalm("--params " + wide + " --tile 30000x30000 " + big + " -o " + out);
    EXPECT_NE(o.status, 0);
    EXPECT_NE(o.output.find("not enough memory"), std::string::npos) << o.output;
    EXPECT_FALSE(fs::exists(out));

    // A margin wider than the image: no amount in range gives one.
    p.amount = std::numeric_limits<int32_t>::max();
    const std::string huge = writeBlock("huge.bin", p);
    const std::string in = writeImage("in.png", makeTestImage(50, 30, 3, 8), ImageFileFormat::Png);
    o = crispcalm("--params " + huge + " " + in + " -o " + out);
    EXPECT_NE(o.status, 0);
    EXPECT_NE(o.output.find("parameters are invalid"), std::string::npos) << o.output;
    EXPECT_FALSE(fs::exists(out));
}

}  // namespace
