#include <gtest/gtest.h>
#include <stdlib.h>
#include <vips/vips.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "host/FileValueRuns.h"
#include "host/ImageFile.h"
#include "host/PnmFile.h"
#include "tests/support/FilePixels.h"

namespace {

namespace fs = std::filesystem;

// A 16-bit P6 file of the given maximum, samples most significant byte first.
void writePpm(const std::string& path, int width, int height, int maxValue, const std::vector<uint16_t>& values) {
    const std::string header =
        "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n" + std::to_string(maxValue) + "\n";
    std::ofstream file(path, std::ios::binary);
    file << header;
    for (uint16_t v : values) file.put(char(v >> 8)).put(char(v & 255));
}

std::vector<uint16_t> ppmValues(const std::string& path) {
    const std::vector<uint8_t> bytes = fileBytes(path);
    char kind = 0;
    int32_t width = 0, height = 0;
    int maxValue = 0;
    size_t offset = 0;
    if (!parsePnmHeader(bytes, kind, width, height, maxValue, offset)) return {};
    std::vector<uint16_t> values;
    for (size_t i = offset; i + 1 < bytes.size(); i += 2) values.push_back(uint16_t(bytes[i] << 8 | bytes[i + 1]));
    return values;
}

}  // namespace

TEST(FileValueRuns, EveryMappingTheReadersBuildGathersAtMostTwoNeighbours) {
    // The reader's own tables: full-range RGB and CMYK and a spread of PNM
    // maxima, each file value found again from its host value and its bit:
    // set, the writer's own value (the full range's, or scaled to the PNM
    // maximum); clear, the value the bit stands for.
    for (bool cmyk : {false, true}) {
        for (int maxValue : {0, 256, 257, 1000, 4095, 32767, 32768, 32769, 40000, 65534}) {
            if (cmyk && maxValue) continue;  // PNM files hold RGB only
            SCOPED_TRACE(std::to_string(maxValue) + (cmyk ? " CMYK" : " RGB"));
            std::vector<uint16_t> table = fileToHostTable(16, cmyk, maxValue);
            table.resize(maxValue ? size_t(maxValue) + 1 : table.size());
            std::vector<uint16_t> own(32769);
            for (uint32_t h = 0; h < own.size(); ++h) {
                const uint32_t full = hostToFile16(uint16_t(h));
                own[h] = uint16_t(maxValue ? (full * uint32_t(maxValue) + 32767) / 65535 : cmyk ? 65535 - full : full);
            }
            const FileValueRuns runs = fileValueRuns(table);
            ASSERT_FALSE(runs.first.empty());
            const ExactValues exact = exactValues(runs, own);
            ASSERT_EQ(exact.setFor.size(), table.size());
            for (uint32_t v = 0; v <= runs.lastValue; ++v)
                ASSERT_EQ(exact.setFor[v] ? own[table[v]] : exact.restore[table[v]], v) << v;
            // The plain RGB mapping worked out agrees with its tables.
            for (uint32_t v = 0; v < 65536 && !cmyk && !maxValue; ++v) {
                ASSERT_EQ(plainHost16(uint16_t(v)), table[v]) << v;
                ASSERT_EQ(plainBit16(uint16_t(v)), exact.setFor[v]) << v;
            }
        }
    }
    // Every maximum a 16-bit PNM file can state, over its whole range: the
    // mapping never decreases and never gives three values one host value,
    // and a host value of two file values has the writer's own value among
    // them, so one bit tells them apart. The stretch (v x 65535 + max / 2) /
    // max is followed step by step.
    size_t faults = 0;
    for (uint32_t maxValue = 256; maxValue <= 65535; ++maxValue) {
        const uint32_t dq = 65535 / maxValue, dr = 65535 % maxValue;
        uint32_t q = 0, r = maxValue / 2;
        uint32_t before = 0, twoBefore = 0x10000;
        for (uint32_t v = 0; v <= maxValue; ++v) {
            const uint32_t h = fileToHost16(uint16_t(q));
            faults += (v > 0 && h < before) || h == twoBefore;
            if (v > 0 && h == before) {
                const uint32_t own = (uint32_t(hostToFile16(uint16_t(h))) * maxValue + 32767) / 65535;
                faults += own != v && own != v - 1;
            }
            twoBefore = before;
            before = h;
            q += dq;
            r += dr;
            if (r >= maxValue) r -= maxValue, ++q;
        }
        faults += before != 32768;  // the maximum is white
    }
    EXPECT_EQ(faults, 0u);
}

// Every file value, at every vector level, for runs starting anywhere in a
// word and of lengths not a multiple of 64: host values and bits as one
// sample at a time through plainHost16 and plainBit16, bits outside the run
// and those already set left alone.
TEST(FileValueRuns, PlainSixteenBitReadingAgreesAtEveryLevel) {
    std::mt19937 rng(5);
    std::vector<uint16_t> s(65536 + 200);
    for (size_t i = 0; i < s.size(); ++i) s[i] = uint16_t(i * 40503u);  // odd step: every value once in 65536
    const size_t runs[][2] = {{0, 65536}, {1, 65600}, {63, 130}, {64, 64}, {100, 1}, {37, 0}, {5, 65599}};
    for (VectorLevel level : {VectorLevel::Plain, VectorLevel::Sse2, VectorLevel::Avx2}) {
        for (const auto& run : runs) {
            SCOPED_TRACE(std::to_string(int(level)) + ": " + std::to_string(run[0]) + "+" + std::to_string(run[1]));
            std::vector<uint64_t> bits(sampleBitWords(run[0] + run[1] + 64)), expectedBits(bits.size());
            for (size_t k = 0; k < bits.size(); ++k) bits[k] = expectedBits[k] = uint64_t(rng()) & 0x0101010101;
            std::vector<uint16_t> colour(run[1] + 1, 9), expected(run[1] + 1, 9);
            for (size_t i = 0; i < run[1]; ++i) {
                expected[i] = plainHost16(s[i]);
                expectedBits[(run[0] + i) >> 6] |= plainBit16(s[i]) << ((run[0] + i) & 63);
            }
            takePlain16(s.data(), run[1], colour.data(), bits.data(), run[0], level);
            ASSERT_EQ(colour, expected);
            ASSERT_EQ(bits, expectedBits);
        }
    }
}

class FileValues : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("VIPS_WARNING", "0", 0);
        ASSERT_TRUE(initImageFiles("cc_tests", error)) << error;
        std::string pattern = (fs::temp_directory_path() / "cc-values-XXXXXX").string();
        folder = mkdtemp(pattern.data());
    }
    void TearDown() override { fs::remove_all(folder); }
    std::string file(const std::string& name) const { return (folder / name).string(); }

    fs::path folder;
    std::string error;
};

// Every file value goes through read -> unchanged -> write exactly; samples
// the run changed (every fifth) map from their host value as they always
// did; the command line's PNM writer and the Windows hosts' agree byte for
// byte.
TEST_F(FileValues, EveryValueOfEveryFormatComesBackUnlessChanged) {
    struct Case {
        const char* extension;
        bool cmyk;
        int maxValue;  // PNM only; 65535 = the full range
    } cases[] = {{".tif", false, 65535}, {".tif", true, 65535},  {".png", false, 65535}, {".ppm", false, 65535},
                 {".ppm", false, 65534}, {".ppm", false, 40000}, {".ppm", false, 1000},  {".ppm", false, 256}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.extension) + (c.cmyk ? " CMYK " : " RGB ") + std::to_string(c.maxValue));
        const int planes = c.cmyk ? 4 : 3, width = 256, height = c.cmyk ? 64 : 86;
        Pixels source{width, height, planes, 16, std::vector<uint16_t>(size_t(width * height * planes))};
        for (size_t i = 0; i < source.values.size(); ++i) source.values[i] = uint16_t(i % (size_t(c.maxValue) + 1));
        const std::string in = file(std::string("in") + c.extension), out = file(std::string("out") + c.extension);
        const bool ppm = c.extension == std::string(".ppm");
        if (ppm)
            writePpm(in, width, height, c.maxValue, source.values);
        else
            ASSERT_TRUE(saveTestImage(in, source, c.cmyk ? VIPS_INTERPRETATION_CMYK : VIPS_INTERPRETATION_RGB16));
        auto written = [&](const std::string& path) {
            VipsInterpretation type;
            return ppm ? ppmValues(path) : loadTestImage(path, type).values;
        };

        HostImage image;
        ImageFileInfo info;
        ASSERT_TRUE(readImageFile(in, image, info, error)) << error;
        ASSERT_TRUE(writeImageFile(out, image, info, error)) << error;
        ASSERT_EQ(written(out), source.values);

        std::vector<uint16_t> expected = source.values;
        for (size_t i = 0; i < image.samples.size(); i += 5) {
            const uint16_t h = image.samples[i] == 32768 ? 32767 : uint16_t(image.samples[i] + 1);
            image.samples[i] = h;
            setSampleBit(image.changed, i);
            const uint32_t full = hostToFile16(h);
            expected[i] = uint16_t(c.cmyk ? 65535 - full : (full * uint32_t(c.maxValue) + 32767) / 65535);
        }
        ASSERT_TRUE(writeImageFile(out, image, info, error)) << error;
        EXPECT_EQ(written(out), expected);
        if (!ppm) continue;

        HostImage pnmImage;
        PnmOrigin origin;
        const std::string other = file("other.ppm");
        ASSERT_TRUE(readPnmImage(in, pnmImage, origin, error)) << error;
        pnmImage.samples = image.samples;
        pnmImage.changed = image.changed;
        ASSERT_TRUE(writePnmImage(other, pnmImage, origin, error)) << error;
        EXPECT_EQ(fileBytes(other), fileBytes(out));

        // Another format holds the full range: a smaller maximum's values as
        // read would be wrong there, so every sample maps from its host value.
        ImageFileInfo asTiff = info;
        asTiff.saveAs = ".tif";
        const std::string tiff = file("full.tif");
        ASSERT_TRUE(writeImageFile(tiff, image, asTiff, error)) << error;
        VipsInterpretation type;
        const std::vector<uint16_t> full = loadTestImage(tiff, type).values;
        ASSERT_EQ(full.size(), image.samples.size());
        size_t wrong = 0;
        for (size_t i = 0; i < full.size(); ++i)
            wrong += full[i] != (c.maxValue == 65535 ? expected[i] : hostToFile16(image.samples[i]));
        EXPECT_EQ(wrong, 0u);
    }
}
