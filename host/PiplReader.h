// Reads a plug-in's property list (the PIPL resource) from its bytes, checking
// every read against the end of the data. Used by the Win32 host to decide
// whether a library is a filter it can call, and by tests of the resource.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One property as stored: vendor and key are four-character codes (first
// character in the most significant byte); the value lies at valueOffset.
struct PiplProperty {
    uint32_t vendor = 0;
    uint32_t key = 0;
    int32_t id = 0;
    uint32_t length = 0;
    size_t valueOffset = 0;
};

// One filter case record of the 'fici' property.
struct PiplFilterCase {
    uint8_t inputHandling = 0;
    uint8_t outputHandling = 0;
    uint8_t flags1 = 0;
    uint8_t flags2 = 0;
};

struct PiplInfo {
    int16_t header = 0;  // the first int16, 1 by convention
    int32_t version = 0;
    std::vector<PiplProperty> properties;  // in stored order, all vendors

    // The known properties of vendor '8BIM'; the has* flags tell which were found.
    bool hasKind = false;
    uint32_t kind = 0;
    std::string name;      // 'name', without its length byte
    std::string category;  // 'catg'
    bool hasVersion = false;
    int32_t interfaceVersion = 0;  // 'vers': major in the high 16 bits
    std::string entryWin32;        // 'wx86'
    std::string entryWin64;        // '8664'
    bool hasMode = false;
    uint8_t modeBytes[4] = {0, 0, 0, 0};
    std::string enableExpression;             // 'enbl'
    std::vector<PiplFilterCase> filterCases;  // 'fici'
    bool hasTerminology = false;              // 'hstm'
    int32_t terminologyVersion = 0;
    uint32_t terminologyClass = 0;
    uint32_t terminologyEvent = 0;
    int16_t terminologyId = 0;
    std::string terminologyScope;

    // The supported-mode flags read high byte first (RGB 0x1000, CMYK 0x0800).
    uint16_t modeFlags() const { return uint16_t((modeBytes[0] << 8) | modeBytes[1]); }
    // The first property of vendor '8BIM' with this key, or null.
    const PiplProperty* find(uint32_t key) const;
};

// Parses the list. False, with a message for the user in error, when the
// bytes are not a well-formed property list: too short, an unknown list
// version, a property or string running past its end, an unterminated text.
bool readPipl(const uint8_t* data, size_t size, PiplInfo& info, std::string& error);

// Checks that a parsed list describes a filter a host of this width can call:
// kind '8BFM', interface version 4 or older, and an entry point under '8664'
// (64-bit) or 'wx86' (32-bit). Sets entry to the entry point's name.
bool checkFilterPipl(const PiplInfo& info, bool win64, std::string& entry, std::string& error);

// A four-character code as text, unprintable characters shown as '?'.
std::string fourCCText(uint32_t code);
