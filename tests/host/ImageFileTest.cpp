#include <gtest/gtest.h>
#include <stdlib.h>
#include <vips/vips.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "host/ImageFile.h"
#include "host/OutputFile.h"
#include "tests/support/FilePixels.h"

namespace {

namespace fs = std::filesystem;

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// One entry of a hand-made TIFF directory; SHORT (3) and LONG (4) values sit
// in the entry itself.
struct TiffEntry {
    uint16_t tag, type;
    uint32_t count, value;
};

void putNumber(std::vector<uint8_t>& bytes, uint64_t value, int size, bool bigEndian) {
    for (int i = 0; i < size; ++i) {
        int shift = 8 * (bigEndian ? size - 1 - i : i);
        bytes.push_back(uint8_t(value >> shift));
    }
}

// A TIFF header and first directory as a writer lays them out, in either byte
// order, classic or BigTIFF. The directory follows the header unless placed
// elsewhere; no pixels, as only the header reader looks at these.
std::vector<uint8_t> tiffBytes(bool bigEndian, bool bigTiff, const std::vector<TiffEntry>& entries,
                               uint64_t directoryAt = 0) {
    std::vector<uint8_t> b = {uint8_t(bigEndian ? 'M' : 'I'), uint8_t(bigEndian ? 'M' : 'I')};
    putNumber(b, bigTiff ? 43 : 42, 2, bigEndian);
    if (bigTiff) {
        putNumber(b, 8, 2, bigEndian);
        putNumber(b, 0, 2, bigEndian);
    }
    const int offsetSize = bigTiff ? 8 : 4;
    putNumber(b, directoryAt ? directoryAt : b.size() + offsetSize, offsetSize, bigEndian);
    putNumber(b, entries.size(), bigTiff ? 8 : 2, bigEndian);
    for (const TiffEntry& e : entries) {
        putNumber(b, e.tag, 2, bigEndian);
        putNumber(b, e.type, 2, bigEndian);
        putNumber(b, e.count, offsetSize, bigEndian);
        const int valueSize = e.type == 3 ? 2 : 4;  // left-justified in the value field
        putNumber(b, e.value, valueSize, bigEndian);
        putNumber(b, 0, offsetSize - valueSize, bigEndian);
    }
    putNumber(b, 0, offsetSize, bigEndian);  // no further directory
    return b;
}

class ImageFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Damaged files are refused through our own messages; libvips's
        // warnings about them would only clutter the log.
        setenv("VIPS_WARNING", "0", 0);
        std::string error;
        ASSERT_TRUE(initImageFiles("cc_tests", error)) << error;
        std::string pattern = (fs::temp_directory_path() / "cc-images-XXXXXX").string();
        folder = mkdtemp(pattern.data());
    }
    void TearDown() override { fs::remove_all(folder); }
    std::string file(const std::string& name) const { return (folder / name).string(); }
    size_t entries() const { return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator())); }

    fs::path folder;
    HostImage image;
    ImageFileInfo info;
    std::string error;
};

}  // namespace

TEST(ImageFileMapping, SixteenBitValuesSurviveTheHostRange) {
    EXPECT_EQ(fileToHost16(65535), 32768);
    EXPECT_EQ(hostToFile16(32768), 65535);
    // Host -> file -> host is exact for every host value. File -> host -> file
    // cannot be (65,536 values meet 32,769), but lands within one step, on a
    // value that itself survives exactly, and the mapping keeps the order.
    for (uint32_t h = 0; h <= 32768; ++h) ASSERT_EQ(fileToHost16(hostToFile16(uint16_t(h))), h) << h;
    for (uint32_t v = 0; v <= 65535; ++v) {
        uint16_t back = hostToFile16(fileToHost16(uint16_t(v)));
        ASSERT_LE(std::abs(int(back) - int(v)), 1) << v;
        ASSERT_EQ(hostToFile16(fileToHost16(back)), back) << v;
        ASSERT_TRUE(v == 0 || fileToHost16(uint16_t(v)) >= fileToHost16(uint16_t(v - 1))) << v;
    }
}

TEST_F(ImageFileTest, LosslessFormatsRoundTrip) {
    struct Case {
        const char* extension;
        ImageFileFormat format;
        int depth;
        bool cmyk;
        int extra;
    } cases[] = {
        {".tif", ImageFileFormat::Tiff, 8, false, 0}, {".tif", ImageFileFormat::Tiff, 16, false, 0},
        {".tif", ImageFileFormat::Tiff, 8, true, 0},  {".tif", ImageFileFormat::Tiff, 16, true, 1},
        {".tif", ImageFileFormat::Tiff, 8, false, 1}, {".png", ImageFileFormat::Png, 8, false, 0},
        {".png", ImageFileFormat::Png, 16, false, 1}, {".png", ImageFileFormat::Png, 8, false, 1},
        {".ppm", ImageFileFormat::Pnm, 8, false, 0},  {".ppm", ImageFileFormat::Pnm, 16, false, 0},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.extension) + " " + std::to_string(c.depth) + (c.cmyk ? " CMYK" : " RGB") +
                     (c.extra ? " alpha" : ""));
        int planes = c.cmyk ? 4 : 3, full = c.depth == 16 ? 65535 : 255;
        Pixels source = randomPixels(23, 17, planes + c.extra, c.depth, uint32_t(n));
        VipsInterpretation type = c.cmyk          ? VIPS_INTERPRETATION_CMYK
                                  : c.depth == 16 ? VIPS_INTERPRETATION_RGB16
                                                  : VIPS_INTERPRETATION_sRGB;
        bool metadata = c.format != ImageFileFormat::Pnm;
        std::vector<uint8_t> icc = metadata ? builtInProfile(c.cmyk ? "cmyk" : "srgb") : std::vector<uint8_t>();
        std::string in = file("in" + std::to_string(n) + c.extension);
        std::string out = file("out" + std::to_string(n++) + c.extension);
        ASSERT_TRUE(saveTestImage(in, source, type, icc));

        ASSERT_TRUE(readImageFile(in, image, info, error)) << error;
        EXPECT_EQ(info.format, c.format);
        EXPECT_EQ(info.depth, c.depth);
        EXPECT_EQ(info.cmyk, c.cmyk);
        ASSERT_EQ(info.extraChannels, c.extra);
        ASSERT_EQ(image.width * image.height, 23 * 17);
        EXPECT_EQ(image.mode, hostModeFor(planes, c.depth));
        // Colour samples in the host's conventions (CMYK: full = no ink);
        // extra channels kept aside as they were.
        for (size_t i = 0, colour = 0, extra = 0; i < source.values.size(); ++i) {
            uint16_t v = source.values[i];
            if (int(i % source.bands) >= planes) {
                ASSERT_EQ(info.extraSamples[extra++], v) << i;
                continue;
            }
            if (c.cmyk) v = uint16_t(full - v);
            ASSERT_EQ(image.samples[colour++], c.depth == 16 ? fileToHost16(v) : v) << i;
        }
        EXPECT_EQ(info.iccProfile, icc);
        if (metadata) {
            EXPECT_NEAR(info.xResolution, kDpi300, 0.01);
        }

        ASSERT_TRUE(writeImageFile(out, image, info, error)) << error;
        VipsInterpretation writtenType;
        Pixels written = loadTestImage(out, writtenType);
        EXPECT_EQ(written.bands, source.bands);
        EXPECT_EQ(written.depth, c.depth);
        EXPECT_EQ(writtenType, type);
        ASSERT_EQ(written.values.size(), source.values.size());
        // Unchanged samples come back bit for bit, even where 16 bits met
        // the host's coarser range; a changed one maps from the host's value.
        EXPECT_EQ(written.values, source.values);
        HostImage changed = image;
        changed.samples[0] = uint16_t(changed.samples[0] ? changed.samples[0] - 1 : 1);
        if (!changed.changed.empty()) changed.changed[0] |= 1;  // as a run marks what it wrote
        ASSERT_TRUE(writeImageFile(out, changed, info, error)) << error;
        written = loadTestImage(out, writtenType);
        const uint16_t host = changed.samples[0];
        const uint16_t fromHost = c.depth == 16 ? hostToFile16(host) : host;
        EXPECT_EQ(written.values[0], c.cmyk ? uint16_t(full - fromHost) : fromHost);
        EXPECT_TRUE(std::equal(written.values.begin() + 1, written.values.end(), source.values.begin() + 1));
        ImageFileInfo again;
        HostImage againImage;
        ASSERT_TRUE(readImageFile(out, againImage, again, error)) << error;
        EXPECT_EQ(again.iccProfile, icc);
        if (metadata) {
            EXPECT_NEAR(again.yResolution, kDpi300, 0.01);
        }
    }
    EXPECT_EQ(entries(), 2 * std::size(cases));  // no temporary file is left behind
}

TEST_F(ImageFileTest, JpegKeepsModeProfileResolutionAndExif) {
    for (bool cmyk : {false, true}) {
        SCOPED_TRACE(cmyk ? "CMYK" : "RGB");
        // Flat ink 200/100/30/10 in a CMYK JPEG (stored inverted, as image
        // editors write it) reaches the host as its complement.
        Pixels source = smoothPixels(32, 24, cmyk ? 4 : 3);
        const uint16_t ink[4] = {200, 100, 30, 10};
        if (cmyk) {
            for (size_t i = 0; i < source.values.size(); ++i) source.values[i] = ink[i % 4];
        }
        std::vector<uint8_t> icc = builtInProfile(cmyk ? "cmyk" : "srgb");
        std::string in = file("in.jpg"), out = file(cmyk ? "cmyk.jpg" : "rgb.jpg");
        ASSERT_TRUE(saveTestImage(in, source, cmyk ? VIPS_INTERPRETATION_CMYK : VIPS_INTERPRETATION_sRGB, icc));
        ASSERT_TRUE(readImageFile(in, image, info, error)) << error;
        EXPECT_EQ(info.format, ImageFileFormat::Jpeg);
        EXPECT_EQ(info.cmyk, cmyk);
        EXPECT_EQ(info.iccProfile, icc);
        for (size_t i = 0; i < source.values.size(); i += 5) {
            int expected = cmyk ? 255 - source.values[i] : source.values[i];
            ASSERT_NEAR(image.samples[i], expected, 4) << i;
        }

        ASSERT_TRUE(writeImageFile(out, image, info, error)) << error;
        VipsInterpretation type;
        Pixels written = loadTestImage(out, type);
        EXPECT_EQ(type, cmyk ? VIPS_INTERPRETATION_CMYK : VIPS_INTERPRETATION_sRGB);
        for (size_t i = 0; i < source.values.size(); i += 5) ASSERT_NEAR(written.values[i], source.values[i], 6) << i;
        ImageFileInfo again;
        ASSERT_TRUE(readImageFile(out, image, again, error)) << error;
        EXPECT_EQ(again.iccProfile, icc);
        EXPECT_NEAR(again.xResolution, kDpi300, 0.05);
        std::string exif(again.exif.begin(), again.exif.end());
        EXPECT_NE(exif.find("crisp calm test"), std::string::npos);
    }
}

TEST_F(ImageFileTest, WritingIsDeterministicAndReplacesInPlace) {
    for (const char* name : {"d.tif", "d.png", "d.jpg", "d.ppm"}) {
        SCOPED_TRACE(name);
        std::string path = file(name), first = file(std::string("1") + name), second = file(std::string("2") + name);
        ASSERT_TRUE(saveTestImage(path, smoothPixels(16, 16, 3), VIPS_INTERPRETATION_sRGB));
        ASSERT_TRUE(readImageFile(path, image, info, error)) << error;
        ASSERT_TRUE(writeImageFile(first, image, info, error)) << error;
        ASSERT_TRUE(writeImageFile(second, image, info, error)) << error;
        EXPECT_EQ(fileBytes(first), fileBytes(second));
        // Written straight into a file holding more bytes, or an empty one,
        // none of the old bytes stay.
        for (size_t old : {size_t(0), size_t(1) << 20}) {
            const std::string straight = file(std::string("s") + name);
            writeBytes(straight, std::vector<uint8_t>(old, 0xEE));
            if (std::string(name) == "d.tif")
                ASSERT_TRUE(writeTiffPageFile(straight, ".tif", image, info, error)) << error;
            else
                ASSERT_TRUE(writeBytesTo(straight, fileBytes(first), error)) << error;
            EXPECT_EQ(fileBytes(straight), fileBytes(first)) << old;
        }

        // Overwriting the file that was read and reading it again gives the
        // new pixels: nothing is served from a cache.
        for (uint16_t& s : image.samples) s = uint16_t(255 - s);
        ASSERT_TRUE(writeImageFile(path, image, info, error)) << error;
        HostImage reread;
        ASSERT_TRUE(readImageFile(path, reread, info, error)) << error;
        EXPECT_NEAR(reread.samples[40], image.samples[40], info.format == ImageFileFormat::Jpeg ? 4 : 0);
    }

    // A PNM whose maximum is below 255 is scaled up and written back as it was.
    std::string small = file("small.ppm"), copy = file("small-copy.ppm");
    writeBytes(small, {'P', '6', '\n', '2', ' ', '1', '\n', '1', '5', '\n', 15, 7, 0, 1, 2, 3});
    ASSERT_TRUE(readImageFile(small, image, info, error)) << error;
    EXPECT_EQ(image.samples, (SampleVector{255, 119, 0, 17, 34, 51}));
    ASSERT_TRUE(writeImageFile(copy, image, info, error)) << error;
    EXPECT_EQ(fileBytes(copy), fileBytes(small));
}

TEST_F(ImageFileTest, TiffHeaderReaderFindsCompressionInEveryLayout) {
    const std::vector<TiffEntry> entries = {
        {256, 3, 1, 64}, {257, 4, 1, 48}, {259, 3, 1, 32773}, {262, 3, 1, 2}, {317, 3, 1, 2}};
    for (bool bigEndian : {false, true}) {
        for (bool bigTiff : {false, true}) {
            SCOPED_TRACE(std::string(bigEndian ? "MM" : "II") + (bigTiff ? " BigTIFF" : " classic"));
            writeBytes(file("h.tif"), tiffBytes(bigEndian, bigTiff, entries));
            TiffStorage storage;
            ASSERT_TRUE(readTiffStorage(file("h.tif"), storage, error)) << error;
            EXPECT_EQ(storage.compression, 32773);
            EXPECT_EQ(storage.predictor, 2);
            EXPECT_EQ(storage.bigTiff, bigTiff);

            // Absent tags mean what TIFF implies: no compression, no predictor.
            // A LONG compression value is read as well.
            writeBytes(file("h.tif"), tiffBytes(bigEndian, bigTiff, {{256, 3, 1, 64}}));
            ASSERT_TRUE(readTiffStorage(file("h.tif"), storage, error)) << error;
            EXPECT_EQ(storage.compression, 1);
            EXPECT_EQ(storage.predictor, 1);
            writeBytes(file("h.tif"), tiffBytes(bigEndian, bigTiff, {{259, 4, 1, 50000}}));
            ASSERT_TRUE(readTiffStorage(file("h.tif"), storage, error)) << error;
            EXPECT_EQ(storage.compression, 50000);
        }
    }

    // The directory placed after the pixels, as libtiff places it.
    std::vector<uint8_t> late = tiffBytes(false, false, {{259, 3, 1, 5}}, 1000);
    std::vector<uint8_t> directory(late.begin() + 8, late.end());
    late.resize(1000, 0x55);
    late.insert(late.end(), directory.begin(), directory.end());
    writeBytes(file("late.tif"), late);
    TiffStorage storage;
    ASSERT_TRUE(readTiffStorage(file("late.tif"), storage, error)) << error;
    EXPECT_EQ(storage.compression, 5);
}

TEST_F(ImageFileTest, TiffHeaderReaderRefusesDamagedHeadersNamingTheFile) {
    std::vector<uint8_t> good = tiffBytes(false, false, {{256, 3, 1, 64}, {259, 3, 1, 5}});
    std::vector<uint8_t> outside = tiffBytes(false, false, {{259, 3, 1, 5}}, 5000);
    std::vector<uint8_t> cut(good.begin(), good.end() - 10);  // the last entry runs past the end
    std::vector<uint8_t> bigCut = tiffBytes(true, true, {{259, 3, 1, 5}});
    bigCut.resize(20);  // the directory's count is incomplete
    std::vector<uint8_t> manyEntries = good;
    manyEntries[8] = 0xFF;  // 255 entries claimed
    std::vector<uint8_t> badOrder = good;
    badOrder[1] = 'M';
    std::vector<uint8_t> badVersion = good;
    badVersion[2] = 41;
    std::vector<uint8_t> backwards = tiffBytes(false, false, {{259, 3, 1, 5}}, 4);  // inside the header
    const std::vector<std::vector<uint8_t>> damaged = {
        outside,
        cut,
        bigCut,
        manyEntries,
        badOrder,
        badVersion,
        backwards,
        {'I', 'I', 42, 0, 8},
        {},
        tiffBytes(false, false, {{259, 3, 2, 5}}),     // two compression values
        tiffBytes(true, false, {{259, 5, 1, 5}}),      // a RATIONAL
        tiffBytes(false, true, {{317, 4, 1, 70000}}),  // beyond any predictor
    };
    for (size_t i = 0; i < damaged.size(); ++i) {
        SCOPED_TRACE(i);
        std::string path = file("bad" + std::to_string(i) + ".tif");
        writeBytes(path, damaged[i]);
        TiffStorage storage;
        storage.compression = 77;
        EXPECT_FALSE(readTiffStorage(path, storage, error));
        EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
        EXPECT_GT(error.size(), path.size() + 4) << "a reason follows the name";
        EXPECT_EQ(storage.compression, 77) << "left as it was";
    }
    EXPECT_FALSE(readTiffStorage(file("absent.tif"), *std::make_unique<TiffStorage>(), error));
    EXPECT_EQ(error.rfind(file("absent.tif") + ": ", 0), 0u) << error;
}

TEST_F(ImageFileTest, TiffKeepsItsCompressionWhenWrittenBack) {
    struct Case {
        const char* options;  // libvips's save options for the input
        int depth;
        uint16_t compression, predictor;
        bool lossy;
    } cases[] = {
        {"[compression=none]", 16, 1, 1, false},
        {"[compression=lzw]", 16, 5, 2, false},
        {"[compression=lzw,predictor=none]", 8, 5, 1, false},
        {"[compression=deflate]", 16, 8, 2, false},
        {"[compression=packbits]", 8, 32773, 1, false},
        {"[compression=zstd]", 16, 50000, 2, false},
        {"[compression=jpeg,Q=98]", 8, 7, 1, true},
        {"[compression=webp,Q=98]", 8, 50001, 1, true},
        {"[compression=lzw,bigtiff]", 8, 5, 2, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.options) + " " + std::to_string(c.depth) + "-bit");
        // Flat grey 8 x 8 blocks: every scheme shrinks them (PackBits needs
        // runs of equal bytes) and lossy ones barely change them.
        Pixels source{64, 48, 3, 8, {}};
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x)
                for (int b = 0; b < 3; ++b) source.values.push_back(uint16_t(20 + 12 * (x / 8) + 10 * (y / 8)));
        if (c.depth == 16) {
            source.depth = 16;
            for (uint16_t& v : source.values) v = uint16_t(v * 257);
        }
        std::string in = file("in" + std::to_string(n) + ".tif");
        std::string out = file("out" + std::to_string(n++) + ".tif");
        ASSERT_TRUE(saveTestImage(in + c.options, source,
                                  c.depth == 16 ? VIPS_INTERPRETATION_RGB16 : VIPS_INTERPRETATION_sRGB));
        ASSERT_TRUE(readImageFile(in, image, info, error)) << error;
        EXPECT_EQ(info.tiff.compression, c.compression);
        EXPECT_EQ(info.tiff.predictor, c.predictor);
        const bool bigTiff = std::strstr(c.options, "bigtiff") != nullptr;
        EXPECT_EQ(info.tiff.bigTiff, bigTiff);

        ASSERT_TRUE(writeImageFile(out, image, info, error)) << error;
        TiffStorage written;
        ASSERT_TRUE(readTiffStorage(out, written, error)) << error;
        EXPECT_EQ(written.compression, c.compression);
        EXPECT_EQ(written.predictor, c.predictor);
        EXPECT_EQ(written.bigTiff, bigTiff);
        const size_t pixelBytes = source.values.size() * size_t(c.depth / 8);
        if (c.compression == 1) {
            EXPECT_GE(fs::file_size(out), pixelBytes);
        } else {
            EXPECT_LT(fs::file_size(out), pixelBytes / 2);
        }
        HostImage again;
        ImageFileInfo againInfo;
        ASSERT_TRUE(readImageFile(out, again, againInfo, error)) << error;
        EXPECT_EQ(againInfo.depth, c.depth);
        ASSERT_EQ(again.samples.size(), image.samples.size());
        if (!c.lossy) {
            EXPECT_EQ(again.samples, image.samples);
        } else {
            // One more generation of lossy compression: small changes only.
            double total = 0;
            int largest = 0;
            for (size_t i = 0; i < image.samples.size(); ++i) {
                int d = std::abs(int(again.samples[i]) - int(image.samples[i]));
                total += d;
                largest = std::max(largest, d);
            }
            EXPECT_LT(total / double(image.samples.size()), 1.0);
            EXPECT_LE(largest, 8);
        }
    }
}

TEST_F(ImageFileTest, TiffCompressionLibvipsCannotWriteBecomesLzw) {
    Pixels source = randomPixels(20, 10, 3, 16, 7);
    ASSERT_TRUE(saveTestImage(file("in.tif"), source, VIPS_INTERPRETATION_RGB16));
    ASSERT_TRUE(readImageFile(file("in.tif"), image, info, error)) << error;
    // JPEG and WebP hold 8 bits per channel only; 0 is an image that came
    // from no TIFF file; 34925 is LZMA, which libvips does not write.
    for (uint16_t compression : {uint16_t(7), uint16_t(50001), uint16_t(0), uint16_t(34925)}) {
        SCOPED_TRACE(compression);
        ImageFileInfo other = info;
        other.tiff.compression = compression;
        other.tiff.predictor = 1;
        ASSERT_TRUE(writeImageFile(file("out.tif"), image, other, error)) << error;
        TiffStorage written;
        ASSERT_TRUE(readTiffStorage(file("out.tif"), written, error)) << error;
        EXPECT_EQ(written.compression, 5);
        EXPECT_EQ(written.predictor, 2) << "libvips's usual predictor, not one chosen for another scheme";
        HostImage again;
        ASSERT_TRUE(readImageFile(file("out.tif"), again, other, error)) << error;
        EXPECT_EQ(other.depth, 16);
        EXPECT_EQ(again.samples, image.samples);
    }
}

TEST_F(ImageFileTest, RefusesOtherModesDamagedAndForeignFilesNamingThem) {
    for (const char* name : {"grey.png", "grey.pgm", "grey.jpg", "grey16.tif", "greyalpha.png"}) {
        std::string path = file(name);
        int bands = std::strstr(name, "alpha") ? 2 : 1, depth = std::strstr(name, "16") ? 16 : 8;
        ASSERT_TRUE(saveTestImage(path, randomPixels(8, 8, bands, depth, 5),
                                  depth == 16 ? VIPS_INTERPRETATION_GREY16 : VIPS_INTERPRETATION_B_W));
        EXPECT_FALSE(readImageFile(path, image, info, error)) << name;
        EXPECT_EQ(error, path + ": " + imageModeMessage("a greyscale image"));
    }

    writeBytes(file("notes.tif"), {'h', 'e', 'l', 'l', 'o'});
    writeBytes(file("empty.png"), {});
    std::vector<std::string> bad = {file("notes.tif"), file("empty.png"), file("missing.png"), folder.string()};
    for (const char* name : {"t.png", "t.jpg", "t.tif", "t.ppm"}) {
        ASSERT_TRUE(saveTestImage(file(name), randomPixels(64, 64, 3, 8, 3), VIPS_INTERPRETATION_sRGB));
        std::vector<uint8_t> bytes = fileBytes(file(name));
        bytes.resize(bytes.size() / 2);
        writeBytes(file(std::string("cut-") + name), bytes);
        bad.push_back(file(std::string("cut-") + name));
    }
    ASSERT_TRUE(saveTestImage(file("wide.png"), Pixels{30001, 1, 3, 8, std::vector<uint16_t>(30001 * 3, 9)},
                              VIPS_INTERPRETATION_sRGB));
    bad.push_back(file("wide.png"));
    for (const std::string& path : bad) {
        EXPECT_FALSE(readImageFile(path, image, info, error)) << path;
        EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
        EXPECT_GT(error.size(), path.size() + 4) << "a reason follows the name";
    }
    EXPECT_NE(error.find("30000"), std::string::npos) << error;

    // Flipped bytes give an image or an error, never a crash.
    std::mt19937 rng(2024);
    for (const char* name : {"t.png", "t.jpg", "t.tif", "t.ppm"}) {
        const std::vector<uint8_t> original = fileBytes(file(name));
        for (int round = 0; round < 25; ++round) {
            std::vector<uint8_t> bytes = original;
            for (int i = 0; i < 6; ++i) bytes[rng() % bytes.size()] ^= uint8_t(1u << (rng() % 8));
            writeBytes(file("flipped"), bytes);
            if (readImageFile(file("flipped"), image, info, error)) {
                EXPECT_EQ(image.samples.size(), size_t(image.width) * image.height * image.planes);
            } else {
                EXPECT_EQ(error.rfind(file("flipped"), 0), 0u);
            }
        }
    }
}

TEST_F(ImageFileTest, WriteFailuresLeaveNothingBehind) {
    std::string path = file("ok.png");
    ASSERT_TRUE(saveTestImage(path, randomPixels(8, 8, 3, 8, 1), VIPS_INTERPRETATION_sRGB));
    ASSERT_TRUE(readImageFile(path, image, info, error)) << error;
    const std::vector<uint8_t> before = fileBytes(path);

    std::string nowhere = file("no/such/folder/out.png");
    EXPECT_FALSE(writeImageFile(nowhere, image, info, error));
    EXPECT_EQ(error.rfind(nowhere + ": ", 0), 0u) << error;
    ImageFileInfo wrong = info;
    wrong.depth = 16;  // the image holds 8-bit samples
    EXPECT_FALSE(writeImageFile(path, image, wrong, error));
    EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
    EXPECT_FALSE(writeImageFile(folder.string(), image, info, error));
    EXPECT_EQ(fileBytes(path), before);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(ImageFileTest, SelectionsComeFromGreyColourDeepOrAlphaImages) {
    // Pixel i of each file carries the value 10 i in the channel the
    // selection is taken from (16 bits: in the high byte).
    auto ramp = [](int bands, int depth, int from) {
        Pixels p{6, 4, bands, depth, {}};
        for (int i = 0; i < 24; ++i)
            for (int b = 0; b < bands; ++b)
                p.values.push_back(uint16_t(b >= from ? i * 10 * (depth == 16 ? 257 : 1) : 77));
        return p;
    };
    struct Case {
        const char* name;
        Pixels pixels;
        VipsInterpretation type;
        bool alpha;
    } cases[] = {
        {"grey.png", ramp(1, 8, 0), VIPS_INTERPRETATION_B_W, false},
        {"grey16.png", ramp(1, 16, 0), VIPS_INTERPRETATION_GREY16, false},
        {"colour.png", ramp(3, 8, 0), VIPS_INTERPRETATION_sRGB, false},  // grey colours: luminance = value
        {"alpha.png", ramp(4, 8, 3), VIPS_INTERPRETATION_sRGB, true},
    };
    std::vector<uint8_t> expected;
    for (int i = 0; i < 24; ++i) expected.push_back(uint8_t(i * 10));
    std::vector<uint8_t> selection;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(saveTestImage(file(c.name), c.pixels, c.type));
        ASSERT_TRUE(readSelectionFile(file(c.name), 6, 4, c.alpha, selection, error)) << error;
        EXPECT_EQ(selection, expected);
    }
    EXPECT_FALSE(readSelectionFile(file("grey.png"), 4, 6, false, selection, error));
    EXPECT_EQ(error, file("grey.png") + ": the selection is 6 x 4 pixels but the image is 4 x 6");
    EXPECT_FALSE(readSelectionFile(file("grey.png"), 6, 4, true, selection, error));
    EXPECT_NE(error.find("no alpha channel"), std::string::npos) << error;
    EXPECT_FALSE(readSelectionFile(file("absent.png"), 6, 4, false, selection, error));
    EXPECT_EQ(error.rfind(file("absent.png") + ": ", 0), 0u) << error;
}
