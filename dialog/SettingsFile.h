// Settings files: the dialog's "Load" and "Save" commands and the command
// line exchange the filter's settings through them. A file is a stream of
// single bytes (no byte order): a tag that carries the operation ("QZR3"
// Sharpen, "QZR4" Soften), a platform byte, the version, the point bytes of
// the three selection curves and one byte per scalar setting. This system
// writes version 2.2 (3,093 bytes) and reads every version up to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "params/FilterParameters.h"

constexpr size_t kSettingsFileSize = 3093;    // version 2.2 and 2.0/2.1
constexpr size_t kSettingsFileSizeV1 = 3085;  // below 2.0: ends after the fourth channel byte
constexpr int kSettingsFileVersion = 202;     // major x 100 + minor
constexpr const char* kSharpenSettingsTag = "QZR3";
constexpr const char* kSoftenSettingsTag = "QZR4";

enum class SettingsStatus {
    Ok,
    WrongType,     // the tag is neither "QZR3" nor "QZR4"
    NewerVersion,  // version above 2.2
    ParseError,    // the file ends before a field its version requires
    OpenError,     // the file cannot be opened or read for loading
    SaveError,     // the file cannot be created or written completely
};

struct SettingsMessage {
    const char* text;   // empty for Ok
    const char* title;  // "Error", or "File Save Error" for SaveError
};

// The message box text and title of a status, as the user sees them.
SettingsMessage settingsMessage(SettingsStatus status);

// Applies a settings file onto block: the operation (from the tag), amount,
// colour space, channel toggles, overlay colour, display mode, selection
// shaping and the points of the three curves. The block's sampleFlags, its
// curves' samples, range and kind, and the fields the file does not carry stay
// as they were; on any failure the block is left unchanged. Out-of-range bytes
// are brought into the fields' ranges.
SettingsStatus readSettingsFile(const uint8_t* bytes, size_t size, FilterParameters& block);

// The version 2.2 file of a block: exactly kSettingsFileSize bytes. The caller
// has already stored slider-derived values in the block; values outside their
// fields' ranges are clamped so that every byte reads back meaningfully.
std::vector<uint8_t> writeSettingsFile(const FilterParameters& block);

// Point byte of one control slot and back (NoPoint <-> 0xFF, 0..1 <-> 0..127).
uint8_t settingsPointByte(float value);
float settingsPointValue(uint8_t byte);
// Eight-bit overlay colour component: the high byte, rounded up by the low
// byte's top bit unless that would overflow.
uint8_t settingsColorByte(uint16_t component);

struct SettingsOutcome {
    SettingsStatus status = SettingsStatus::Ok;
    const char* message = "";
    const char* title = "";
    bool ok() const { return status == SettingsStatus::Ok; }
};

// Reads the file at path (at most the bytes a version 2.2 file has) and
// applies it onto block as readSettingsFile does.
SettingsOutcome loadSettingsFromPath(const std::string& path, FilterParameters& block);
// Writes the version 2.2 file of block to path: the bytes go to a temporary
// file in the same folder, which replaces path only once it is complete, so a
// failed save leaves any earlier file at path as it was and no partial file.
SettingsOutcome saveSettingsToPath(const std::string& path, const FilterParameters& block);
