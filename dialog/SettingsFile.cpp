#include "dialog/SettingsFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/ByteCodec.h"
#include "imageops/ColorModel.h"

namespace {

namespace fs = std::filesystem;

// Byte offsets of the file's fields.
constexpr size_t kTagOffset = 0;
constexpr size_t kPlatformOffset = 4;  // written as 0, never read
constexpr size_t kMajorOffset = 5;
constexpr size_t kMinorOffset = 6;
constexpr size_t kCurvesOffset = 7;  // hue, saturation, intensity: 1,024 bytes each
constexpr size_t kAmountOffset = 3079;
constexpr size_t kColorSpaceOffset = 3080;
constexpr size_t kChannelOffset = 3081;  // four bytes
constexpr size_t kOverlayOffset = 3085;  // red, green, blue
constexpr size_t kShowResultOffset = 3088;
constexpr size_t kContractOffset = 3089;
constexpr size_t kFalloffOffset = 3090;
constexpr size_t kSelectionOffset = 3091;
constexpr size_t kOpacityOffset = 3092;

int32_t clampInt(int32_t v, int32_t lo, int32_t hi) { return std::min(std::max(v, lo), hi); }

Curve* curveAt(CurveSet& set, int i) { return i == 0 ? &set.hue : i == 1 ? &set.saturation : &set.intensity; }
const Curve* curveAt(const CurveSet& set, int i) {
    return i == 0 ? &set.hue : i == 1 ? &set.saturation : &set.intensity;
}

// Versions before 2.2 numbered the colour spaces differently: their 1 was
// HSI, which is list position 2 today; everything else meant the image's own
// model.
ColorSpace colorSpaceFromOldFile(uint8_t stored) { return stored == 1 ? ColorSpace::Hsi : ColorSpace::ImageModel; }

}  // namespace

SettingsMessage settingsMessage(SettingsStatus status) {
    switch (status) {
        case SettingsStatus::Ok:
            return {"", ""};
        case SettingsStatus::WrongType:
            return {"Incorrect file type", "Error"};
        case SettingsStatus::NewerVersion:
            return {"This file was created with a newer version of the plug-in than the one you have", "Error"};
        case SettingsStatus::ParseError:
            return {"There was a problem parsing the file", "Error"};
        case SettingsStatus::OpenError:
            return {"There was a problem opening the file", "Error"};
        case SettingsStatus::SaveError:
            return {"There was an error saving the file", "File Save Error"};
    }
    return {"", ""};
}

uint8_t settingsPointByte(float value) {
    // NaN and anything at or below -0.99 are empty slots; other values are
    // clamped into 0..1 so that the byte never turns negative (which would
    // read back as an empty slot).
    if (std::isnan(value) || value < -0.99f) return 0xFF;
    double v = std::min(std::max(double(value), 0.0), 1.0);
    return uint8_t(roundHalfAway(v * 127.0));
}

float settingsPointValue(uint8_t byte) {
    int8_t b = int8_t(byte);
    if (b < 0) return NoPoint;
    float v = float(b) / 127.0f;
    return v > 0.999f ? 1.0f : v;
}

uint8_t settingsColorByte(uint16_t component) {
    unsigned high = component >> 8;
    if ((component & 0xFF) >= 128 && high < 255) ++high;
    return uint8_t(high);
}

SettingsStatus readSettingsFile(const uint8_t* bytes, size_t size, FilterParameters& block) {
    if (!bytes || size < 4) return SettingsStatus::ParseError;
    ByteReader reader(bytes, size);
    auto byteAt = [&reader](size_t offset) {
        reader.seek(offset);
        return reader.u8();
    };
    bool sharpen = std::memcmp(bytes + kTagOffset, kSharpenSettingsTag, 4) == 0;
    bool soften = std::memcmp(bytes + kTagOffset, kSoftenSettingsTag, 4) == 0;
    if (!sharpen && !soften) return SettingsStatus::WrongType;
    if (size <= kMinorOffset) return SettingsStatus::ParseError;
    // The platform byte (offset 4) may hold anything; it is not read.
    int version = byteAt(kMajorOffset) * 100 + byteAt(kMinorOffset);
    if (version > kSettingsFileVersion) return SettingsStatus::NewerVersion;
    bool full = version >= 200;
    if (size < (full ? kSettingsFileSize : kSettingsFileSizeV1)) return SettingsStatus::ParseError;

    FilterParameters loaded = block;
    loaded.operation = sharpen ? Operation::Sharpen : Operation::Soften;
    for (int c = 0; c < 3; ++c) {
        Curve* curve = curveAt(loaded.curves, c);
        reader.seek(kCurvesOffset + size_t(c) * kCurveSlots);
        for (int i = 0; i < kCurveSlots; ++i) curve->points[i] = settingsPointValue(reader.u8());
    }
    int32_t amount = byteAt(kAmountOffset);
    if (version < 200) amount >>= 1;  // older files stored the amount doubled
    loaded.amount = clampInt(amount, 1, 100);
    uint8_t space = byteAt(kColorSpaceOffset);
    loaded.colorSpace = version < 202 ? colorSpaceFromOldFile(space) : ColorSpace(clampInt(space, 1, 3));
    for (int i = 0; i < 4; ++i) loaded.channelEnabled[i] = byteAt(kChannelOffset + i) != 0 ? 1 : 0;

    if (full) {
        for (int i = 0; i < 3; ++i) loaded.overlayColor[i] = uint16_t(byteAt(kOverlayOffset + i) << 8);
        loaded.showResult = byteAt(kShowResultOffset) != 0 ? 1 : 0;
        loaded.contractExpand = clampInt(int8_t(byteAt(kContractOffset)), -100, 100);
        loaded.falloff = clampInt(byteAt(kFalloffOffset), 0, 100);
        loaded.selectionSource =
            byteAt(kSelectionOffset) != 0 ? SelectionSource::FromCurves : SelectionSource::EdgesOnly;
        loaded.opacity = clampInt(byteAt(kOpacityOffset), 0, 200);
    } else {
        for (int i = 0; i < 3; ++i) loaded.overlayColor[i] = kDefaultOverlayColor[i];
        loaded.showResult = 1;
        loaded.contractExpand = 0;
        loaded.falloff = 0;
        loaded.selectionSource = SelectionSource::FromCurves;
        loaded.opacity = 100;
    }
    if (!reader.ok()) return SettingsStatus::ParseError;
    block = loaded;
    return SettingsStatus::Ok;
}

std::vector<uint8_t> writeSettingsFile(const FilterParameters& block) {
    std::vector<uint8_t> out(kSettingsFileSize, 0);
    // Only 2 means Soften; the engine treats every other value as Sharpen.
    std::memcpy(out.data() + kTagOffset,
                block.operation == Operation::Soften ? kSoftenSettingsTag : kSharpenSettingsTag, 4);
    out[kPlatformOffset] = 0;
    out[kMajorOffset] = uint8_t(kSettingsFileVersion / 100);
    out[kMinorOffset] = uint8_t(kSettingsFileVersion % 100);
    for (int c = 0; c < 3; ++c) {
        const Curve* curve = curveAt(block.curves, c);
        uint8_t* p = out.data() + kCurvesOffset + size_t(c) * kCurveSlots;
        for (int i = 0; i < kCurveSlots; ++i) p[i] = settingsPointByte(curve->points[i]);
    }
    out[kAmountOffset] = uint8_t(clampInt(block.amount, 1, 100));
    out[kColorSpaceOffset] = uint8_t(clampInt(int32_t(block.colorSpace), 1, 3));
    for (int i = 0; i < 4; ++i) out[kChannelOffset + i] = block.channelEnabled[i] != 0 ? 1 : 0;
    for (int i = 0; i < 3; ++i) out[kOverlayOffset + i] = settingsColorByte(block.overlayColor[i]);
    out[kShowResultOffset] = block.showResult != 0 ? 1 : 0;
    out[kContractOffset] = uint8_t(int8_t(clampInt(block.contractExpand, -100, 100)));
    out[kFalloffOffset] = uint8_t(clampInt(block.falloff, 0, 100));
    out[kSelectionOffset] = block.selectionSource != SelectionSource::EdgesOnly ? 1 : 0;
    out[kOpacityOffset] = uint8_t(clampInt(block.opacity, 0, 200));
    return out;
}

namespace {

SettingsOutcome outcome(SettingsStatus status) {
    SettingsMessage m = settingsMessage(status);
    SettingsOutcome o;
    o.status = status;
    o.message = m.text;
    o.title = m.title;
    return o;
}

// A name beside target that no file has yet: ".<name>.<n>.tmp".
bool makeTemporaryName(const fs::path& target, fs::path& temporary) {
    fs::path folder = target.parent_path();
    for (int n = 0; n < 1000; ++n) {
        fs::path candidate = folder / fs::path("." + target.filename().string() + "." + std::to_string(n) + ".tmp");
        std::error_code ec;
        if (!fs::exists(candidate, ec) && !ec) {
            temporary = candidate;
            return true;
        }
    }
    return false;
}

}  // namespace

SettingsOutcome loadSettingsFromPath(const std::string& path, FilterParameters& block) {
    if (path.empty()) return outcome(SettingsStatus::OpenError);
    std::error_code ec;
    if (fs::is_directory(fs::path(path), ec)) return outcome(SettingsStatus::OpenError);
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in) return outcome(SettingsStatus::OpenError);
    // Bytes after the last field are ignored, so a larger file is never read
    // whole.
    std::vector<uint8_t> bytes(kSettingsFileSize);
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    if (in.bad()) return outcome(SettingsStatus::OpenError);
    bytes.resize(size_t(in.gcount()));
    return outcome(readSettingsFile(bytes.data(), bytes.size(), block));
}

SettingsOutcome saveSettingsToPath(const std::string& path, const FilterParameters& block) {
    if (path.empty()) return outcome(SettingsStatus::SaveError);
    fs::path target(path);
    std::error_code ec;
    if (fs::is_directory(target, ec)) return outcome(SettingsStatus::SaveError);
    fs::path temporary;
    if (!makeTemporaryName(target, temporary)) return outcome(SettingsStatus::SaveError);

    std::vector<uint8_t> bytes = writeSettingsFile(block);
    bool written = false;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (out) {
            out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
            out.flush();
            written = bool(out);
            out.close();
            written = written && !out.fail();
        }
    }
    if (written) {
        fs::rename(temporary, target, ec);
        written = !ec;
    }
    if (!written) {
        fs::remove(temporary, ec);
        return outcome(SettingsStatus::SaveError);
    }
    return outcome(SettingsStatus::Ok);
}
