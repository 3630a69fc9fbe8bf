// TIFF files of several pages through the built crispcalm: every page
// filtered as it would be on its own, reduced-resolution copies rebuilt from
// the filtered picture, the first page's tags kept, and the output written
// as safely as a single page.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vips/vips.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "host/TiffDirectories.h"
#include "tests/support/CliFixture.h"
#include "tests/support/FilePixels.h"

namespace {

namespace fs = std::filesystem;

const std::string kRun = "--amount 80 --color-space hsi ";

class MultiPageTiff : public CliFixture {
protected:
    // Three pages of different sizes, depths and colour modes, joined by
    // tiffcp, with camera tags on the first.
    std::string makeThreePages() {
        struct Page {
            int width, height, bands, depth;
            VipsInterpretation type;
        } pages[] = {{90, 60, 3, 8, VIPS_INTERPRETATION_sRGB},
                     {70, 50, 3, 16, VIPS_INTERPRETATION_RGB16},
                     {40, 30, 4, 8, VIPS_INTERPRETATION_CMYK}};
        std::string joined;
        for (int i = 0; i < 3; ++i) {
            const Page& p = pages[i];
            // The second page has an ICC profile of its own.
            EXPECT_TRUE(saveTestImage(page(i), randomPixels(p.width, p.height, p.bands, p.depth, 11 + i), p.type,
                                      i == 1 ? builtInProfile("srgb") : std::vector<uint8_t>()));
            joined += page(i) + " ";
        }
        const std::string three = file("three.tif");
        EXPECT_EQ(std::system(("tiffcp " + joined + three).c_str()), 0);
        EXPECT_EQ(std::system(("exiftool -q -overwrite_original -Make=Testcam -Model=T1 -GPSLatitude=48.5 "
                               "-GPSLatitudeRef=N -IPTC:Keywords=alpha " +
                               three)
                                  .c_str()),
                  0);
        return three;
    }
    std::string page(int i) const { return file("page" + std::to_string(i) + ".tif"); }

    static Pixels pixels(const std::string& path) {
        VipsInterpretation type;
        return loadTestImage(path, type);
    }
    static std::string tag(const std::string& path, const std::string& name) {
        std::string value;
        FILE* pipe = popen(("exiftool -s3 -" + name + " " + path).c_str(), "r");
        char line[256];
        while (pipe && std::fgets(line, sizeof line, pipe)) value += line;
        if (pipe) pclose(pipe);
        return value;
    }
};

TEST_F(MultiPageTiff, EveryPageIsFilteredAsItWouldBeAlone) {
    const std::string three = makeThreePages(), out = file("out.tif");
    CliOutcome o = crispcalm(kRun + three + " -o " + out);
    ASSERT_EQ(o.status, 0) << o.output;
    TiffLayout layout;
    std::string error;
    ASSERT_TRUE(readTiffLayout(out, layout, error)) << error;
    ASSERT_EQ(layout.directories.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const std::string alone = file("alone" + std::to_string(i) + ".tif");
        ASSERT_EQ(crispcalm(kRun + page(i) + " -o " + alone).status, 0);
        const Pixels expected = pixels(alone), written = pixels(out + "[page=" + std::to_string(i) + "]");
        EXPECT_EQ(written.bands, expected.bands);
        EXPECT_EQ(written.depth, expected.depth);
        EXPECT_EQ(written.values, expected.values);
        EXPECT_NE(written.values, pixels(page(i)).values) << "filtered";
    }
    // A later page keeps its own ICC profile; the first page keeps its
    // camera, GPS and IPTC tags.
    VipsImage* second = vips_image_new_from_file((out + "[page=1]").c_str(), NULL);
    ASSERT_NE(second, nullptr);
    const void* icc = nullptr;
    size_t iccBytes = 0;
    ASSERT_EQ(vips_image_get_blob(second, VIPS_META_ICC_NAME, &icc, &iccBytes), 0);
    const std::vector<uint8_t> profile = builtInProfile("srgb");
    EXPECT_EQ(std::vector<uint8_t>(static_cast<const uint8_t*>(icc), static_cast<const uint8_t*>(icc) + iccBytes),
              profile);
    g_object_unref(second);
    EXPECT_EQ(tag(out, "Make"), "Testcam\n");
    EXPECT_EQ(tag(out, "Model"), "T1\n");
    EXPECT_EQ(tag(out, "GPSLatitudeRef"), "North\n");
    EXPECT_EQ(tag(out, "Keywords"), "alpha\n");

    // Other formats hold one picture: refused before anything is written;
    // standard input cannot be read again for the later pages.
    for (const std::string& args : {three + " -o " + file("out.png"), "- -o " + file("piped.tif") + " < " + three}) {
        CliOutcome refused = crispcalm(args);
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.output.find("pages"), std::string::npos) << refused.output;
    }
    EXPECT_FALSE(fs::exists(file("out.png")));
    EXPECT_FALSE(fs::exists(file("piped.tif")));
}

TEST_F(MultiPageTiff, ReducedResolutionPagesAreRebuiltFromTheFilteredPicture) {
    ASSERT_TRUE(saveTestImage(page(0), randomPixels(90, 60, 3, 16, 5), VIPS_INTERPRETATION_RGB16));
    VipsImage* picture = vips_image_new_from_file(page(0).c_str(), NULL);
    ASSERT_NE(picture, nullptr);
    const std::string pyramid = file("pyramid.tif"), out = file("out.tif");
    ASSERT_EQ(vips_tiffsave(picture, pyramid.c_str(), "tile", TRUE, "tile_width", 16, "tile_height", 16, "pyramid",
                            TRUE, NULL),
              0);
    g_object_unref(picture);
    CliOutcome o = crispcalm(kRun + pyramid + " -o " + out);
    ASSERT_EQ(o.status, 0) << o.output;
    EXPECT_NE(o.output.find("reduced-resolution copies to rebuild"), std::string::npos) << o.output;

    TiffLayout before, after;
    std::string error;
    ASSERT_TRUE(readTiffLayout(pyramid, before, error)) << error;
    ASSERT_TRUE(readTiffLayout(out, after, error)) << error;
    ASSERT_EQ(after.directories.size(), before.directories.size());
    ASSERT_GE(after.directories.size(), 3u);
    ASSERT_EQ(crispcalm(kRun + page(0) + " -o " + file("alone.tif")).status, 0);
    EXPECT_EQ(pixels(out).values, pixels(file("alone.tif")).values);
    VipsImage* filtered = vips_image_new_from_file(out.c_str(), NULL);
    ASSERT_NE(filtered, nullptr);
    for (size_t d = 1; d < after.directories.size(); ++d) {
        SCOPED_TRACE(d);
        const TiffDirectory& was = before.directories[d];
        EXPECT_TRUE(after.directories[d].reduced());
        EXPECT_EQ(after.directories[d].width, was.width);
        EXPECT_EQ(after.directories[d].height, was.height);
        // The filtered picture shrunk to the page's size.
        VipsImage* shrunk = nullptr;
        ASSERT_EQ(vips_resize(filtered, &shrunk, double(was.width) / 90, "vscale", double(was.height) / 60, NULL), 0);
        const std::string expected = file("shrunk" + std::to_string(d) + ".tif");
        ASSERT_EQ(vips_image_write_to_file(shrunk, expected.c_str(), NULL), 0);
        g_object_unref(shrunk);
        EXPECT_EQ(pixels(out + "[page=" + std::to_string(d) + "]").values, pixels(expected).values);
    }
    g_object_unref(filtered);
}

TEST_F(MultiPageTiff, OutputsSignalsAndBatchesAreAsSafeAsForOnePage) {
    const std::string three = makeThreePages(), out = file("out.tif");
    fs::create_directory(file("tmp"));
    const std::string tmp = "TMPDIR=" + file("tmp") + " ";
    ASSERT_EQ(crispcalm(kRun + three + " -o " + out, tmp).status, 0);
    const std::vector<uint8_t> result = fileBytes(out);

    // A FIFO and standard output get the same file.
    ASSERT_EQ(mkfifo(file("pipe").c_str(), 0600), 0);
    FILE* reader = popen(("timeout 60 cat " + file("pipe") + " > " + file("from-pipe.tif")).c_str(), "r");
    ASSERT_EQ(crispcalm(kRun + three + " -o " + file("pipe"), tmp).status, 0);
    pclose(reader);
    EXPECT_EQ(fileBytes(file("from-pipe.tif")), result);
    // (through cat: the note on the pages goes to stderr, which the test joins to stdout)
    ASSERT_EQ(crispcalm(kRun + three + " -o - --format tif | cat > " + file("stdout.tif"), tmp).status, 0);
    EXPECT_EQ(fileBytes(file("stdout.tif")), result);

    // A stop at each step leaves the whole file or none, and no scratch file.
    for (const char* phase : {"read", "filter", "write", "renamed"}) {
        SCOPED_TRACE(phase);
        fs::remove(out);
        CliOutcome o = crispcalm(kRun + three + " -o " + out,
                                 tmp + "CRISPCALM_TEST_SIGNAL=" + phase + ":" + std::to_string(SIGTERM));
        EXPECT_EQ(o.status, 128 + SIGTERM) << o.output;
        const bool complete = std::string(phase) == "renamed";
        EXPECT_EQ(fs::exists(out), complete);
        if (complete) {
            EXPECT_EQ(fileBytes(out), result);
        }
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
        EXPECT_TRUE(fs::is_empty(file("tmp"))) << "scratch pages are removed";
    }

    // A batch writes each multi-page input whole; the input itself is refused.
    fs::copy_file(three, file("again.tif"));
    ASSERT_EQ(crispcalm(kRun + "--suffix -f " + three + " " + file("again.tif"), tmp).status, 0);
    EXPECT_EQ(fileBytes(file("three-f.tif")), result);
    EXPECT_EQ(fileBytes(file("again-f.tif")), result);
    EXPECT_EQ(crispcalm(kRun + three + " -o " + three).status, 2);
    EXPECT_TRUE(fs::is_empty(file("tmp")));
}

}  // namespace

namespace {

// A damaged directory after the first ends the chain: the pages before it
// are read, and the reason is kept for the warning.
TEST(TiffLayout, ADamagedLaterDirectoryEndsTheChain) {
    const std::string path = (fs::temp_directory_path() / ("cc-layout-" + std::to_string(getpid()) + ".tif")).string();
    // Classic little-endian TIFF: one directory of one entry at offset 8;
    // its next-directory offset (4 bytes) ends the file.
    const std::vector<uint8_t> one = {'I', 'I', 42, 0, 8, 0,  0, 0, 1, 0, 0, 1, 3,
                                      0,   1,   0,  0, 0, 64, 0, 0, 0, 0, 0, 0, 0};
    const struct {
        uint32_t next;
        const char* why;
    } cases[] = {{8, "loop"}, {5000, "outside"}, {0, ""}};
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = one;
        for (int i = 0; i < 4; ++i) bytes[22 + i] = uint8_t(c.next >> (8 * i));
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        TiffLayout layout;
        std::string error;
        ASSERT_TRUE(readTiffLayout(path, layout, error)) << error;
        ASSERT_EQ(layout.directories.size(), 1u);
        EXPECT_EQ(layout.directories[0].width, 64u);
        EXPECT_NE(layout.unreadable.find(c.why), std::string::npos) << layout.unreadable;
        EXPECT_EQ(layout.unreadable.empty(), c.next == 0);
    }
    std::remove(path.c_str());
}

}  // namespace
