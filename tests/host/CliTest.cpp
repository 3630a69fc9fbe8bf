// The command-line host end to end: the built crispcalm loading the built
// native plug-in, on real files.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vips/vips.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "host/ImageFile.h"
#include "params/FilterParameters.h"
#include "tests/support/CliFixture.h"
#include "tests/support/FilePixels.h"
#include "tests/support/TestImages.h"

namespace {

namespace fs = std::filesystem;

class Cli : public CliFixture {
protected:
    std::string makeImage(const std::string& name, ImageFileFormat format, int planes, int depth, bool alpha = false,
                          bool profile = false) {
        HostImage image = makeTestImage(90, 60, planes, depth, 3);
        ImageFileInfo info;
        info.format = format;
        info.depth = depth;
        info.cmyk = planes == 4;
        if (alpha) {
            info.extraChannels = 1;
            info.extraSamples.resize(size_t(90) * 60);
            for (size_t i = 0; i < info.extraSamples.size(); ++i)
                info.extraSamples[i] = uint16_t((i * 7) % (depth == 16 ? 65536 : 256));
        }
        if (profile) {
            VipsBlob* blob = nullptr;
            if (vips_profile_load(planes == 4 ? "cmyk" : "srgb", &blob, NULL) == 0) {
                size_t length = 0;
                auto* data = static_cast<const uint8_t*>(vips_blob_get(blob, &length));
                info.iccProfile.assign(data, data + length);
                vips_area_unref(reinterpret_cast<VipsArea*>(blob));
            }
        }
        info.xResolution = info.yResolution = 300 / 25.4;
        std::string path = file(name), error;
        EXPECT_TRUE(writeImageFile(path, image, info, error)) << error;
        return path;
    }

    static bool read(const std::string& path, HostImage& image, ImageFileInfo& info) {
        std::string error;
        return readImageFile(path, image, info, error);
    }
};

TEST_F(Cli, FiltersEveryFormatAndKeepsWhatTheFileCarries) {
    struct Case {
        const char* name;
        ImageFileFormat format;
        int planes, depth;
        bool alpha, profile;
    } cases[] = {
        {"rgb8.png", ImageFileFormat::Png, 3, 8, true, true},
        {"rgb16.png", ImageFileFormat::Png, 3, 16, false, false},
        {"rgb8.tif", ImageFileFormat::Tiff, 3, 8, false, true},
        {"rgb16.tif", ImageFileFormat::Tiff, 3, 16, true, true},
        {"cmyk8.tif", ImageFileFormat::Tiff, 4, 8, false, true},
        {"cmyk16.tif", ImageFileFormat::Tiff, 4, 16, true, false},
        {"rgb.jpg", ImageFileFormat::Jpeg, 3, 8, false, true},
        {"cmyk.jpg", ImageFileFormat::Jpeg, 4, 8, false, false},
        {"rgb8.ppm", ImageFileFormat::Pnm, 3, 8, false, false},
        {"rgb16.ppm", ImageFileFormat::Pnm, 3, 16, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = makeImage(c.name, c.format, c.planes, c.depth, c.alpha, c.profile);
        const std::string out = file(std::string("out-") + c.name);
        CliOutcome o = crispcalm("--amount 90 --color-space hsi " + in + " -o " + out);
        ASSERT_EQ(o.status, 0) << o.output;
        HostImage before, after;
        ImageFileInfo beforeInfo, afterInfo;
        ASSERT_TRUE(read(in, before, beforeInfo));
        ASSERT_TRUE(read(out, after, afterInfo));
        EXPECT_EQ(after.width, before.width);
        EXPECT_EQ(after.planes, before.planes);
        EXPECT_EQ(after.depth, before.depth);
        EXPECT_EQ(afterInfo.format, beforeInfo.format);
        EXPECT_EQ(afterInfo.extraSamples, beforeInfo.extraSamples) << "alpha passes through unchanged";
        EXPECT_EQ(afterInfo.iccProfile, beforeInfo.iccProfile);
        EXPECT_NEAR(afterInfo.xResolution, beforeInfo.xResolution, 1e-3);
        size_t changed = 0;
        for (size_t i = 0; i < before.samples.size(); ++i) changed += before.samples[i] != after.samples[i];
        EXPECT_GT(changed, before.samples.size() / 20);
    }
}

TEST_F(Cli, RunsThatChangeNothingWriteTheInputsSamplesExactly) {
    struct Case {
        const char* name;
        int planes, depth;
    } cases[] = {{"rgb16.tif", 3, 16}, {"cmyk16.tif", 4, 16}, {"rgb8.png", 3, 8},
                 {"cmyk8.tif", 4, 8},  {"rgb16.png", 3, 16},  {"rgb16.ppm", 3, 16}};
    Pixels black{90, 60, 1, 8, std::vector<uint16_t>(90 * 60, 0)};
    ASSERT_TRUE(saveTestImage(file("none.png"), black, VIPS_INTERPRETATION_B_W));
    const std::string ways[] = {"--opacity 0", "--channels 0000 --amount 100",
                                "--selection " + file("none.png") + " --color-space hsi"};
    for (const Case& c : cases) {
        const Pixels source = randomPixels(90, 60, c.planes, c.depth, 7);
        VipsInterpretation type = c.planes == 4   ? VIPS_INTERPRETATION_CMYK
                                  : c.depth == 16 ? VIPS_INTERPRETATION_RGB16
                                                  : VIPS_INTERPRETATION_sRGB;
        ASSERT_TRUE(saveTestImage(file(c.name), source, type));
        for (const std::string& way : ways) {
            SCOPED_TRACE(std::string(c.name) + " " + way);
            const std::string out = file(std::string("out-") + c.name);
            CliOutcome o = crispcalm(way + " " + file(c.name) + " -o " + out);
            ASSERT_EQ(o.status, 0) << o.output;
            EXPECT_EQ(loadTestImage(out, type).values, source.values);
        }
    }
}

// The tags that describe the picture, as exiftool lists them ("[Group] Name
// : value"): the Exif and GPS directories, IPTC, and the first directory's
// camera, date and description, but not how the pixels are stored.
std::vector<std::string> pictureTags(const std::string& path) {
    std::vector<std::string> tags;
    FILE* pipe = popen(("exiftool -s -G1 -EXIF:all -IPTC:all " + path).c_str(), "r");
    if (!pipe) return tags;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) {
        const std::string tag(line);
        const bool firstDirectory = tag.rfind("[IFD0]", 0) == 0;
        bool kept = !firstDirectory && tag.find("ExifImage") == std::string::npos;
        for (const char* name : {"Make ", "Model ", "ModifyDate ", "ImageDescription ", "Artist ", "Copyright "})
            kept = kept || (firstDirectory && tag.find(name) != std::string::npos);
        if (kept) tags.push_back(tag);
    }
    pclose(pipe);
    return tags;
}

TEST_F(Cli, EveryFormatLibvipsSavesIsWrittenOrRefusedBeforeAnyWork) {
    const std::string in = makeImage("in.png", ImageFileFormat::Png, 3, 8, true);
    std::set<std::string> suffixes, written;
    gchar** list = vips_foreign_get_suffixes();
    for (gchar** s = list; s && *s; ++s) suffixes.insert(*s);
    g_strfreev(list);
    for (const std::string& suffix : suffixes) {
        SCOPED_TRACE(suffix);
        const std::string out = file("out" + suffix);
        CliOutcome o = crispcalm("--amount 60 " + in + " -o " + out);
        if (o.status == 0) {
            HostImage image;
            ImageFileInfo info;
            ASSERT_TRUE(read(out, image, info)) << "written, so it reads back";
            EXPECT_EQ(image.width, 90);
            EXPECT_EQ(image.height, 60);
            written.insert(suffix);
        } else {
            EXPECT_EQ(o.status, 2) << o.output;
            EXPECT_NE(o.output.find("nothing was run"), std::string::npos) << o.output;
            EXPECT_FALSE(fs::exists(out));
        }
    }
    for (const char* common : {".png", ".tif", ".jpg", ".ppm", ".webp", ".v"})
        EXPECT_EQ(written.count(common), 1u) << common;
}

TEST_F(Cli, TiffOutputKeepsExifGpsAndIptc) {
    const std::string tags =
        "-Make=Testcam '-Model=T 1' '-ImageDescription=a test' '-DateTimeOriginal=2024:05:06 "
        "07:08:09' '-ModifyDate=2024:05:06 07:08:09' -ExposureTime=0.01 -FNumber=2.8 "
        "-GPSLatitude=48.5 -GPSLatitudeRef=N -GPSAltitude=120 -IPTC:Keywords=alpha "
        "-IPTC:Keywords=beta -IPTC:City=Town '-IPTC:Caption-Abstract=a longer caption'";
    for (const char* name : {"rgb.jpg", "rgb16.tif", "cmyk8.tif"}) {
        SCOPED_TRACE(name);
        const std::string in = std::string(name) == "rgb.jpg"     ? makeImage(name, ImageFileFormat::Jpeg, 3, 8)
                               : std::string(name) == "rgb16.tif" ? makeImage(name, ImageFileFormat::Tiff, 3, 16)
                                                                  : makeImage(name, ImageFileFormat::Tiff, 4, 8);
        ASSERT_EQ(std::system(("exiftool -q -overwrite_original " + tags + " " + in).c_str()), 0);
        const std::vector<std::string> before = pictureTags(in);
        ASSERT_GE(before.size(), 12u) << "exiftool wrote the tags";
        const std::string out = file(std::string("out-") + name + ".tif");
        CliOutcome o = crispcalm("--amount 80 " + in + " -o " + out);
        ASSERT_EQ(o.status, 0) << o.output;
        EXPECT_EQ(pictureTags(out), before);
        HostImage image;
        ImageFileInfo info;
        EXPECT_TRUE(read(out, image, info)) << "the pixels are still readable";
        // Standard output gets the same file.
        const std::string streamed = file(std::string("stdout-") + name + ".tif");
        ASSERT_EQ(crispcalm("--amount 80 " + in + " -o - --format tif > " + streamed).status, 0);
        EXPECT_EQ(fileBytes(streamed), fileBytes(out));
    }
}

TEST_F(Cli, FromCurvesDoesNotDependOnTheTileSizeOrThreadCount) {
    const std::string in = makeImage("in.tif", ImageFileFormat::Tiff, 3, 16);
    ASSERT_EQ(crispcalm("--operation soften --amount 100 --threads 1 " + in + " -o " + file("a.tif")).status, 0);
    HostImage a;
    ImageFileInfo ia;
    ASSERT_TRUE(read(file("a.tif"), a, ia));
    for (const char* options : {"--tile 7x5", "--threads 3", "--threads 7 --tile 40x30", "--threads 2 --tile 9x4"}) {
        ASSERT_EQ(
            crispcalm("--operation soften --amount 100 " + std::string(options) + " " + in + " -o " + file("b.tif"))
                .status,
            0);
        HostImage b;
        ImageFileInfo ib;
        ASSERT_TRUE(read(file("b.tif"), b, ib));
        EXPECT_EQ(a.samples, b.samples) << options;
    }
}

// Reading, filtering and writing side by side (more than one thread) gives
// the bytes of one step after the other, whatever the format, depth, mode and
// extra channels, and wherever the output goes.
TEST_F(Cli, SideBySideWritesTheBytesOfOneStepAfterTheOther) {
    struct Case {
        const char* name;
        ImageFileFormat format;
        int planes, depth;
        bool alpha;
        const char* output;
    } cases[] = {
        {"a.tif", ImageFileFormat::Tiff, 3, 16, false, "a-out.tif"},
        {"b.png", ImageFileFormat::Png, 3, 8, true, "b-out.png"},
        {"c.png", ImageFileFormat::Png, 3, 16, false, "c-out.ppm"},
        {"d.jpg", ImageFileFormat::Jpeg, 4, 8, false, "d-out.jpg"},
        {"e.tif", ImageFileFormat::Tiff, 4, 16, true, "e-out.tif"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = makeImage(c.name, c.format, c.planes, c.depth, c.alpha);
        // TIFF and JPEG files are written from their headers' metadata while
        // their pixels are still being read: give them some to carry.
        const std::string tags =
            "exiftool -q -overwrite_original -Make=Testcam -XMP:Title=t -IPTC:City=Town -XResolution=300 ";
        if (c.format != ImageFileFormat::Png) {
            ASSERT_EQ(std::system((tags + in).c_str()), 0);
        }
        const std::string args = "--operation soften --amount 90 ";
        ASSERT_EQ(crispcalm(args + "--threads 1 " + in + " -o " + file(std::string("one-") + c.output)).status, 0);
        CliOutcome side = crispcalm(args + "--threads 3 --tile 16x8 " + in + " -o " + file(c.output), "", false);
        ASSERT_EQ(side.status, 0) << side.output;
        EXPECT_NE(side.output.find("side by side"), std::string::npos) << side.output;
        EXPECT_EQ(fileBytes(file(c.output)), fileBytes(file(std::string("one-") + c.output)));
    }
}

// Inputs of a megabyte and more start the program once more, with glibc's
// allocator asking for huge pages (where the kernel gives them on request):
// the arguments, standard input and the bytes written stay the same.
TEST_F(Cli, ALargeInputGivesTheSameBytesWithOrWithoutTheRestart) {
    const std::string in = file("large.ppm");
    {
        std::ofstream out(in, std::ios::binary);
        out << "P6\n640 600\n255\n";
        for (uint32_t i = 0; i < 640u * 600u * 3u; ++i) out.put(char((i * 2654435761u) >> 24));
    }
    const std::string args = "--operation soften --amount 70 --threads 2 ";
    for (const std::string& from : {in, std::string("- --format ppm < ") + in}) {
        SCOPED_TRACE(from);
        ASSERT_EQ(crispcalm(args + from + " -o " + file("kept.ppm"), "GLIBC_TUNABLES=").status, 0);
        ASSERT_EQ(crispcalm(args + from + " -o " + file("restarted.ppm")).status, 0);
        EXPECT_EQ(fileBytes(file("restarted.ppm")), fileBytes(file("kept.ppm")));
    }
}

TEST_F(Cli, SavedParametersAndSettingsRepeatARun) {
    const std::string in = makeImage("in.png", ImageFileFormat::Png, 3, 8);
    CliOutcome first = crispcalm(
        "--operation soften --amount 70 --channels 1010 --opacity 150 --hue 0:1,40:1,80:0,300:0,340:1 "
        "--intensity 0:0,50:1,100:1 --save-params " +
        file("run.bin") + " --save-settings " + file("run.qzr4") + " " + in + " -o " + file("first.png"));
    ASSERT_EQ(first.status, 0) << first.output;
    ASSERT_EQ(fs::file_size(file("run.bin")), kFilterParametersSize);
    // Control points land on the nearest of the 1,024 slots, in degrees or
    // percent, and nowhere else; a hue curve closes at red.
    const std::vector<uint8_t> stored = fileBytes(file("run.bin"));
    FilterParameters block;
    ASSERT_TRUE(readFilterParameters(stored.data(), stored.size(), block));
    const struct {
        const Curve& curve;
        std::vector<std::pair<int, float>> points;
    } expected[] = {{block.curves.hue, {{0, 1}, {114, 1}, {227, 0}, {853, 0}, {966, 1}, {1023, 1}}},
                    {block.curves.intensity, {{0, 0}, {512, 1}, {1023, 1}}}};
    for (const auto& e : expected) {
        int count = 0;
        for (int slot = 0; slot < kCurveSlots; ++slot) count += e.curve.points[slot] != NoPoint;
        EXPECT_EQ(count, int(e.points.size()));
        for (const auto& [slot, weight] : e.points) EXPECT_EQ(e.curve.points[slot], weight) << slot;
    }
    ASSERT_EQ(fs::file_size(file("run.qzr4")), 3093u);
    ASSERT_EQ(crispcalm("--params " + file("run.bin") + " " + in + " -o " + file("second.png")).status, 0);
    ASSERT_EQ(crispcalm("--settings " + file("run.qzr4") + " " + in + " -o " + file("third.png")).status, 0);
    HostImage a, b, c;
    ImageFileInfo ia, ib, ic;
    ASSERT_TRUE(read(file("first.png"), a, ia));
    ASSERT_TRUE(read(file("second.png"), b, ib));
    ASSERT_TRUE(read(file("third.png"), c, ic));
    EXPECT_EQ(a.samples, b.samples);
    EXPECT_EQ(a.samples, c.samples) << "the curves survive the settings file's point bytes";
    ASSERT_EQ(
        crispcalm("--operation soften --amount 70 --channels 1010 --opacity 150 " + in + " -o " + file("standard.png"))
            .status,
        0);
    ASSERT_TRUE(read(file("standard.png"), b, ib));
    EXPECT_NE(a.samples, b.samples) << "the curves given select differently from the standard ones";
}

TEST_F(Cli, SelectionConfinesTheResult) {
    const std::string in = makeImage("in.png", ImageFileFormat::Png, 3, 8);
    VipsImage* mask = nullptr;
    ASSERT_EQ(vips_black(&mask, 90, 60, NULL), 0);
    VipsImage* square = nullptr;
    ASSERT_EQ(vips_draw_rect1(mask, 255, 30, 20, 20, 15, "fill", TRUE, NULL), 0);
    ASSERT_EQ(vips_cast_uchar(mask, &square, NULL), 0);
    ASSERT_EQ(vips_image_write_to_file(square, file("mask.png").c_str(), NULL), 0);
    g_object_unref(square);
    g_object_unref(mask);
    ASSERT_EQ(crispcalm("--amount 100 --selection " + file("mask.png") + " " + in + " -o " + file("out.png")).status,
              0);
    HostImage before, after;
    ImageFileInfo i1, i2;
    ASSERT_TRUE(read(in, before, i1));
    ASSERT_TRUE(read(file("out.png"), after, i2));
    size_t inside = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 90; ++x)
            for (int p = 0; p < 3; ++p) {
                const bool selected = x >= 30 && x < 50 && y >= 20 && y < 35;
                if (!selected)
                    ASSERT_EQ(after.at(x, y, p), before.at(x, y, p)) << x << "," << y;
                else
                    inside += after.at(x, y, p) != before.at(x, y, p);
            }
    EXPECT_GT(inside, 50u);
}

TEST_F(Cli, BatchReportsFailuresAndGoesOn) {
    const std::string good = makeImage("good.png", ImageFileFormat::Png, 3, 8);
    std::ofstream(file("bad.png")) << "not an image";
    fs::create_directory(file("out"));
    CliOutcome o = crispcalm(good + " " + file("bad.png") + " " + file("missing.png") + " --out-dir " + file("out"));
    EXPECT_NE(o.status, 0);
    EXPECT_TRUE(fs::exists(file("out/good.png")));
    EXPECT_FALSE(fs::exists(file("out/bad.png")));
    EXPECT_NE(o.output.find("bad.png"), std::string::npos) << o.output;
    EXPECT_NE(o.output.find("missing.png"), std::string::npos) << o.output;
}

TEST_F(Cli, BadInputGivesAMessageAndNoOutput) {
    const std::string in = makeImage("in.png", ImageFileFormat::Png, 3, 8);
    std::ofstream(file("short.bin"), std::ios::binary) << std::string(100, 'x');
    std::string wrongSignature(kFilterParametersSize, '\0');
    std::ofstream(file("unsigned.bin"), std::ios::binary) << wrongSignature;
    std::ofstream(file("text.qzr3"), std::ios::binary) << "QZR9 nonsense";
    {
        VipsImage* grey = nullptr;
        ASSERT_EQ(vips_black(&grey, 90, 60, NULL), 0);
        VipsImage* grey8 = nullptr;
        ASSERT_EQ(vips_cast_uchar(grey, &grey8, NULL), 0);
        ASSERT_EQ(vips_image_write_to_file(grey8, file("grey.png").c_str(), NULL), 0);
        VipsImage* small = nullptr;
        ASSERT_EQ(vips_black(&small, 10, 10, NULL), 0);
        VipsImage* small8 = nullptr;
        ASSERT_EQ(vips_cast_uchar(small, &small8, NULL), 0);
        ASSERT_EQ(vips_image_write_to_file(small8, file("small-mask.png").c_str(), NULL), 0);
        for (VipsImage* i : {grey, grey8, small, small8}) g_object_unref(i);
    }
    std::vector<uint8_t> png;
    {
        std::ifstream f(in, std::ios::binary);
        png.assign(std::istreambuf_iterator<char>(f), {});
    }
    std::ofstream(file("truncated.png"), std::ios::binary).write(reinterpret_cast<char*>(png.data()), 300);
    fs::create_directory(file("sub"));
    fs::create_directory(file("o"));
    fs::copy_file(in, file("sub/in.png"));

    const std::string out = file("out.png");
    struct Bad {
        std::string args, mentions;
    } bad[] = {
        {file("nowhere.png") + " -o " + out, "nowhere.png"},
        {"--threads 1 " + file("truncated.png") + " -o " + out, "truncated.png"},
        {"--threads 2 --tile 8x8 " + file("truncated.png") + " -o " + out, "truncated.png"},
        {file("short.bin") + " -o " + out, "short.bin"},
        {file("grey.png") + " -o " + out, "convert it to RGB"},
        {in + " -o " + in, "--in-place"},
        {in + " -o " + file("out.xyz"), "unknown extension"},
        {in + " -o '" + out + "[frobnicate=1]'", "frobnicate"},
        {in + " " + file("sub/in.png") + " --out-dir " + file("o"), "would both be written"},
        {"--suffix -x " + in + " -o " + out, "--suffix"},
        {"--hue 0:1,400:0 " + in + " -o " + out, "--hue"},
        {"--saturation 10:2 " + in + " -o " + out, "--saturation"},
        {"--selection " + file("small-mask.png") + " " + in + " -o " + out, "small-mask.png"},
        {"--params " + file("short.bin") + " " + in + " -o " + out, "24672 bytes"},
        {"--params " + file("unsigned.bin") + " " + in + " -o " + out, "signature"},
        {"--settings " + file("text.qzr3") + " " + in + " -o " + out, "Incorrect file type"},
        {"--amount 0 " + in + " -o " + out, "--amount"},
        {"--opacity 201 " + in + " -o " + out, "--opacity"},
        {"--contract-expand -101 " + in + " -o " + out, "--contract-expand"},
        {"--color-space lab " + in + " -o " + out, "--color-space"},
        {"--channels RGBX " + in + " -o " + out, "'X'"},
        {"--tile 0x5 " + in + " -o " + out, "--tile"},
        {"--threads 0 " + in + " -o " + out, "--threads"},
        {"--threads 65 " + in + " -o " + out, "--threads"},
        {"--frobnicate " + in + " -o " + out, "unknown option --frobnicate"},
        {in, "no output"},
    };
    for (const Bad& b : bad) {
        CliOutcome o = crispcalm(b.args);
        EXPECT_NE(o.status, 0) << b.args;
        EXPECT_NE(o.output.find(b.mentions), std::string::npos) << b.args << "\n" << o.output;
        EXPECT_FALSE(fs::exists(out)) << b.args;
    }
    size_t leftovers = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        leftovers += entry.path().filename().string().find("out") != std::string::npos ||
                     entry.path().filename().string().find(".part") != std::string::npos;
    EXPECT_EQ(leftovers, 0u) << "no temporary files remain";
    EXPECT_TRUE(fs::is_empty(file("o")));
    EXPECT_EQ(fileBytes(in), png) << "the input is untouched";
}

TEST_F(Cli, InterruptStopsTheRunAndLeavesNoFile) {
    // Large enough that softening takes seconds; the interrupt comes first.
    HostImage image = makeTestImage(2400, 1800, 3, 16, 5);
    ImageFileInfo info;
    info.format = ImageFileFormat::Tiff;
    info.depth = 16;
    std::string error;
    ASSERT_TRUE(writeImageFile(file("big.tif"), image, info, error)) << error;
    const std::string program = std::string(CC_BINARY_DIR) + "/crispcalm";
    const std::string in = file("big.tif"), out = file("out.tif");
    const char* argv[] = {program.c_str(), "--quiet", "--operation", "soften", "--amount",  "100",
                          "--color-space", "hsi",     in.c_str(),    "-o",     out.c_str(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    usleep(700 * 1000);
    kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_FALSE(fs::exists(out));
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find("out"), std::string::npos) << entry.path();
}

TEST_F(Cli, EveryKindOfOutputGetsTheResultSafely) {
    const std::string in = makeImage("in.png", ImageFileFormat::Png, 3, 8);
    ASSERT_EQ(crispcalm(in + " -o " + file("plain.png")).status, 0);
    const std::vector<uint8_t> result = fileBytes(file("plain.png"));
    ASSERT_FALSE(result.empty());

    // A link is followed: its target is replaced, the link stays a link.
    std::ofstream(file("target.png")) << "old";
    fs::create_symlink(file("target.png"), file("link.png"));
    ASSERT_EQ(crispcalm(in + " -o " + file("link.png")).status, 0);
    EXPECT_TRUE(fs::is_symlink(file("link.png")));
    EXPECT_EQ(fileBytes(file("target.png")), result);

    // A FIFO is written into, for whoever reads it; so is a device.
    ASSERT_EQ(mkfifo(file("pipe").c_str(), 0600), 0);
    FILE* reader = popen(("timeout 60 cat " + file("pipe") + " > " + file("from-pipe.png")).c_str(), "r");
    ASSERT_EQ(crispcalm(in + " -o " + file("pipe") + "[compression=6]").status, 0);
    pclose(reader);
    EXPECT_TRUE(fs::is_fifo(file("pipe")));
    EXPECT_EQ(fileBytes(file("from-pipe.png")), result);
    ASSERT_EQ(crispcalm(in + " -o /dev/null").status, 0);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    // Standard input to standard output, the format named by --format.
    CliOutcome piped = crispcalm("- -o - --format png < " + in + " > " + file("stdout.png"));
    ASSERT_EQ(piped.status, 0) << piped.output;
    EXPECT_EQ(fileBytes(file("stdout.png")), result);

    // --in-place replaces the input; --suffix names outputs beside their
    // inputs; --no-clobber leaves existing ones alone.
    fs::copy_file(in, file("again.png"));
    ASSERT_EQ(crispcalm("--in-place " + file("again.png")).status, 0);
    EXPECT_EQ(fileBytes(file("again.png")), result);
    ASSERT_EQ(crispcalm("--suffix -crisp " + in).status, 0);
    EXPECT_EQ(fileBytes(file("in-crisp.png")), result);
    std::ofstream(file("in-crisp.png")) << "mine";
    CliOutcome kept = crispcalm("-n --suffix -crisp " + in);
    EXPECT_EQ(kept.status, 0);
    EXPECT_NE(kept.output.find("skipped"), std::string::npos) << kept.output;
    EXPECT_EQ(fileBytes(file("in-crisp.png")), std::vector<uint8_t>({'m', 'i', 'n', 'e'}));
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
}

TEST_F(Cli, EachStopSignalAtEachStepLeavesAWholeFileOrNone) {
    const std::string in = makeImage("in.tif", ImageFileFormat::Tiff, 3, 16);
    const std::string out = file("out.tif");
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        for (const char* phase : {"read", "filter", "write", "renamed"}) {
            SCOPED_TRACE(std::string(phase) + " " + std::to_string(signal));
            fs::remove(out);
            CliOutcome o = crispcalm("--amount 100 " + in + " -o " + out,
                                     "CRISPCALM_TEST_SIGNAL=" + std::string(phase) + ":" + std::to_string(signal));
            EXPECT_EQ(o.status, 128 + signal) << o.output;
            const bool complete = std::string(phase) == "renamed";
            EXPECT_EQ(fs::exists(out), complete);
            EXPECT_NE(o.output.find(complete ? "written completely" : "nothing was written"), std::string::npos)
                << o.output;
            if (complete) {
                HostImage image;
                ImageFileInfo info;
                EXPECT_TRUE(read(out, image, info));
            }
            for (const auto& entry : fs::directory_iterator(folder))
                EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
        }
}

TEST_F(Cli, HelpAndVersion) {
    CliOutcome help = crispcalm("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("Examples:"), std::string::npos);
    EXPECT_NE(help.output.find("--threads N"), std::string::npos);
    CliOutcome version = crispcalm("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.output.find("2.2"), std::string::npos);
}

}  // namespace
