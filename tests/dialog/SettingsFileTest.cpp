#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "dialog/SettingsFile.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> blockBytes(const FilterParameters& p) {
    std::vector<uint8_t> bytes(kFilterParametersSize);
    writeFilterParameters(p, bytes.data(), bytes.size());
    return bytes;
}

FilterParameters defaults() {
    FilterParameters p;
    p.setDefaults();
    p.imageClass = ImageClass::RGB;
    return p;
}

// A block whose every field the file carries differs from the defaults.
FilterParameters unusualBlock() {
    FilterParameters p = defaults();
    p.operation = Operation::Soften;
    p.amount = 73;
    p.colorSpace = ColorSpace::Yuv;
    p.channelEnabled[0] = p.channelEnabled[2] = 0;
    p.overlayColor[0] = 0x1234;
    p.overlayColor[1] = 0xFF80;
    p.overlayColor[2] = 0x7F80;
    p.showResult = 0;
    p.contractExpand = -40;
    p.falloff = 35;
    p.selectionSource = SelectionSource::EdgesOnly;
    p.opacity = 170;
    std::mt19937 rng(7);
    for (Curve* c : {&p.curves.hue, &p.curves.saturation, &p.curves.intensity}) {
        for (float& v : c->points) v = (rng() % 5 == 0) ? float(rng() % 10000) / 9999.0f : NoPoint;
    }
    return p;
}

}  // namespace

TEST(SettingsFile, RoundTripKeepsFieldsAndQuantisesPoints) {
    FilterParameters saved = unusualBlock();
    std::vector<uint8_t> file = writeSettingsFile(saved);
    ASSERT_EQ(file.size(), kSettingsFileSize);
    EXPECT_EQ(std::memcmp(file.data(), "QZR4\0\2\2", 7), 0);

    FilterParameters loaded = defaults();
    loaded.sampleFlags[1] = 0;
    ASSERT_EQ(readSettingsFile(file.data(), file.size(), loaded), SettingsStatus::Ok);
    EXPECT_EQ(loaded.operation, Operation::Soften);
    EXPECT_EQ(loaded.amount, 73);
    EXPECT_EQ(loaded.colorSpace, ColorSpace::Yuv);
    EXPECT_EQ(loaded.channelEnabled[0] + 2 * loaded.channelEnabled[1] + 4 * loaded.channelEnabled[2], 2);
    EXPECT_EQ(loaded.overlayColor[0], 0x1200);
    EXPECT_EQ(loaded.overlayColor[1], 0xFF00);  // the low byte cannot carry past 0xFF
    EXPECT_EQ(loaded.overlayColor[2], 0x8000);
    EXPECT_EQ(loaded.showResult, 0);
    EXPECT_EQ(loaded.contractExpand, -40);
    EXPECT_EQ(loaded.falloff, 35);
    EXPECT_EQ(loaded.selectionSource, SelectionSource::EdgesOnly);
    EXPECT_EQ(loaded.opacity, 170);
    EXPECT_EQ(loaded.sampleFlags[1], 0);  // not carried by the file
    for (int i = 0; i < kCurveSlots; ++i) {
        float v = saved.curves.saturation.points[i];
        float expected = v == NoPoint ? NoPoint : float(std::lround(v * 127.0f)) / 127.0f;
        ASSERT_EQ(loaded.curves.saturation.points[i], expected > 0.999f ? 1.0f : expected) << i;
    }
    EXPECT_EQ(writeSettingsFile(loaded), file);

    // The tag alone carries the operation; anything but 2 is Sharpen.
    saved.operation = Operation(7);
    file = writeSettingsFile(saved);
    EXPECT_EQ(std::memcmp(file.data(), "QZR3", 4), 0);
    ASSERT_EQ(readSettingsFile(file.data(), file.size(), loaded), SettingsStatus::Ok);
    EXPECT_EQ(loaded.operation, Operation::Sharpen);
}

TEST(SettingsFile, ByteRulesAndRangeGuards) {
    FilterParameters p = defaults();
    p.contractExpand = -100;
    EXPECT_EQ(writeSettingsFile(p)[3089], 0x9C);
    EXPECT_EQ(settingsColorByte(0xCC7F), 0xCC);
    EXPECT_EQ(settingsColorByte(0xCC80), 0xCD);
    EXPECT_EQ(settingsColorByte(0xFFFF), 0xFF);
    EXPECT_EQ(settingsPointByte(0.5f), 64);  // 63.5 rounds away from zero
    EXPECT_EQ(settingsPointValue(127), 1.0f);
    EXPECT_EQ(settingsPointValue(0x80), NoPoint);

    // Out-of-range block values are clamped so every byte reads back sensibly.
    p.amount = 500;
    p.colorSpace = ColorSpace(0);
    p.contractExpand = -300;
    p.opacity = 300;
    p.curves.hue.points[0] = 1.5f;
    p.curves.hue.points[1] = -0.5f;
    p.curves.hue.points[2] = std::nanf("");
    std::vector<uint8_t> f = writeSettingsFile(p);
    EXPECT_EQ(f[3079], 100);
    EXPECT_EQ(f[3080], 1);
    EXPECT_EQ(f[3089], 0x9C);
    EXPECT_EQ(f[3092], 200);
    EXPECT_EQ(f[7], 127);
    EXPECT_EQ(f[8], 0);
    EXPECT_EQ(f[9], 0xFF);

    // Out-of-range file bytes are brought into the fields' ranges.
    f[3079] = 0;
    f[3080] = 9;
    f[3081] = 5;
    f[3089] = 0x80;
    f[3090] = 250;
    f[3092] = 255;
    ASSERT_EQ(readSettingsFile(f.data(), f.size(), p), SettingsStatus::Ok);
    EXPECT_EQ(p.amount, 1);
    EXPECT_EQ(p.colorSpace, ColorSpace::Yuv);
    EXPECT_EQ(p.channelEnabled[0], 1);
    EXPECT_EQ(p.contractExpand, -100);
    EXPECT_EQ(p.falloff, 100);
    EXPECT_EQ(p.opacity, 200);
}

TEST(SettingsFile, OlderVersions) {
    // 1.x: 3,085 bytes are enough; the amount is halved, colour space 1 means
    // HSI, and the fields it lacks take their defaults.
    std::vector<uint8_t> f = writeSettingsFile(unusualBlock());
    f[5] = 1;
    f[6] = 5;
    f[3079] = 100;
    f[3080] = 1;
    f.resize(kSettingsFileSizeV1);
    FilterParameters p = unusualBlock();
    ASSERT_EQ(readSettingsFile(f.data(), f.size(), p), SettingsStatus::Ok);
    EXPECT_EQ(p.amount, 50);
    EXPECT_EQ(p.colorSpace, ColorSpace::Hsi);
    EXPECT_EQ(p.overlayColor[0], 0xCC00);
    EXPECT_EQ(p.overlayColor[1], 0x6600);
    EXPECT_EQ(p.overlayColor[2], 0);
    EXPECT_EQ(p.showResult, 1);
    EXPECT_EQ(p.contractExpand, 0);
    EXPECT_EQ(p.falloff, 0);
    EXPECT_EQ(p.selectionSource, SelectionSource::FromCurves);
    EXPECT_EQ(p.opacity, 100);

    // 2.0 and 2.1 renumber the colour space the same way; 2.2 keeps it.
    for (int minor = 0; minor <= 2; ++minor) {
        for (int stored = 1; stored <= 3; ++stored) {
            f = writeSettingsFile(unusualBlock());
            f[6] = uint8_t(minor);
            f[3080] = uint8_t(stored);
            p = defaults();
            ASSERT_EQ(readSettingsFile(f.data(), f.size(), p), SettingsStatus::Ok);
            const ColorSpace expected = ColorSpace(minor == 2 ? stored : stored == 1 ? 2 : 1);
            EXPECT_EQ(p.colorSpace, expected) << "2." << minor << " stored " << stored;
            EXPECT_EQ(p.opacity, 170);
        }
    }
}

TEST(SettingsFile, RefusalsLeaveTheBlockUnchanged) {
    const std::vector<uint8_t> good = writeSettingsFile(defaults());
    auto check = [](std::vector<uint8_t> f, SettingsStatus expected) {
        FilterParameters p = unusualBlock();
        EXPECT_EQ(readSettingsFile(f.data(), f.size(), p), expected);
        EXPECT_EQ(blockBytes(p), blockBytes(unusualBlock()));
    };
    std::vector<uint8_t> f(good.begin(), good.end() - 1);
    check(f, SettingsStatus::ParseError);
    f.assign(good.begin(), good.begin() + kSettingsFileSizeV1);
    f[5] = 1;
    f.pop_back();
    check(f, SettingsStatus::ParseError);
    f = good;
    f[6] = 3;
    f[4] = 0x7E;  // the platform byte does not matter
    check(f, SettingsStatus::NewerVersion);
    f = good;
    f[3] = '5';
    check(f, SettingsStatus::WrongType);
    check({}, SettingsStatus::ParseError);
    check({'Q', 'Z', 'R', '3', 0, 2}, SettingsStatus::ParseError);

    // Damaged files never crash and never leave a field out of range.
    std::mt19937 rng(11);
    for (int round = 0; round < 2000; ++round) {
        f = writeSettingsFile(unusualBlock());
        for (int i = 0; i < 8; ++i) f[rng() % f.size()] ^= uint8_t(1u << (rng() % 8));
        if (round % 3 == 0) f.resize(rng() % (f.size() + 1));
        FilterParameters p = unusualBlock();
        if (readSettingsFile(f.data(), f.size(), p) != SettingsStatus::Ok) {
            ASSERT_EQ(blockBytes(p), blockBytes(unusualBlock()));
            continue;
        }
        ASSERT_TRUE(p.amount >= 1 && p.amount <= 100 && int(p.colorSpace) >= 1 && int(p.colorSpace) <= 3);
        ASSERT_TRUE(p.contractExpand >= -100 && p.contractExpand <= 100 && p.falloff <= 100 && p.opacity <= 200);
    }
}

TEST(SettingsFile, Messages) {
    auto is = [](SettingsStatus s, const char* text, const char* title) {
        EXPECT_STREQ(settingsMessage(s).text, text);
        EXPECT_STREQ(settingsMessage(s).title, title);
    };
    is(SettingsStatus::WrongType, "Incorrect file type", "Error");
    is(SettingsStatus::NewerVersion, "This file was created with a newer version of the plug-in than the one you have",
       "Error");
    is(SettingsStatus::ParseError, "There was a problem parsing the file", "Error");
    is(SettingsStatus::OpenError, "There was a problem opening the file", "Error");
    is(SettingsStatus::SaveError, "There was an error saving the file", "File Save Error");
}

TEST(SettingsFile, SaveAndLoadThroughPaths) {
    std::string pattern = (fs::temp_directory_path() / "cc-settings-XXXXXX").string();
    fs::path folder = mkdtemp(pattern.data());
    std::string path = (folder / "look.qzr4").string();
    ASSERT_TRUE(saveSettingsToPath(path, defaults()).ok());
    ASSERT_TRUE(saveSettingsToPath(path, unusualBlock()).ok());  // replaces the file whole
    EXPECT_EQ(fs::file_size(path), kSettingsFileSize);
    FilterParameters loaded = defaults();
    ASSERT_TRUE(loadSettingsFromPath(path, loaded).ok());
    EXPECT_EQ(writeSettingsFile(loaded), writeSettingsFile(unusualBlock()));

    SettingsOutcome missing = loadSettingsFromPath((folder / "absent.qzr3").string(), loaded);
    EXPECT_EQ(missing.status, SettingsStatus::OpenError);
    EXPECT_STREQ(missing.message, "There was a problem opening the file");
    EXPECT_EQ(loadSettingsFromPath(folder.string(), loaded).status, SettingsStatus::OpenError);
    fs::resize_file(path, kSettingsFileSize - 1);
    EXPECT_EQ(loadSettingsFromPath(path, loaded).status, SettingsStatus::ParseError);

    SettingsOutcome nowhere = saveSettingsToPath((folder / "no" / "such.qzr3").string(), loaded);
    EXPECT_EQ(nowhere.status, SettingsStatus::SaveError);
    EXPECT_STREQ(nowhere.title, "File Save Error");
    EXPECT_EQ(saveSettingsToPath(folder.string(), loaded).status, SettingsStatus::SaveError);
    // Only the one settings file: no temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    fs::remove_all(folder);
}
