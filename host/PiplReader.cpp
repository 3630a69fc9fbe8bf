#include "host/PiplReader.h"

#include <cstdio>

#include "base/ByteCodec.h"
#include "hostapi/PluginHost.h"

namespace {

constexpr size_t kHeaderSize = 10;
constexpr size_t kPropertyHeaderSize = 16;

std::string describe(const char* what, uint32_t key) {
    return std::string(what) + " in property '" + fourCCText(key) + "'";
}

// A zero-terminated text that must end inside the value.
bool readCString(const uint8_t* value, size_t length, uint32_t key, std::string& out, std::string& error) {
    for (size_t i = 0; i < length; ++i) {
        if (value[i] == 0) {
            out.assign(reinterpret_cast<const char*>(value), i);
            return true;
        }
    }
    error = describe("text without terminating zero", key);
    return false;
}

// A length byte followed by that many characters, all inside the value.
bool readPascalString(const uint8_t* value, size_t length, uint32_t key, std::string& out, std::string& error) {
    if (length < 1 || size_t(value[0]) + 1 > length) {
        error = describe("text longer than its value", key);
        return false;
    }
    out.assign(reinterpret_cast<const char*>(value + 1), value[0]);
    return true;
}

bool needLength(size_t length, size_t needed, uint32_t key, std::string& error) {
    if (length >= needed) return true;
    char text[96];
    std::snprintf(text, sizeof text, "property '%s' has %zu bytes, needs %zu", fourCCText(key).c_str(), length, needed);
    error = text;
    return false;
}

bool readKnownProperty(const uint8_t* value, size_t length, uint32_t key, PiplInfo& info, std::string& error) {
    switch (key) {
        case fourCC("kind"):
            if (!needLength(length, 4, key, error)) return false;
            info.hasKind = true;
            info.kind = ByteReader(value, length).u32();
            return true;
        case fourCC("name"):
            return readPascalString(value, length, key, info.name, error);
        case fourCC("catg"):
            return readPascalString(value, length, key, info.category, error);
        case fourCC("vers"):
            if (!needLength(length, 4, key, error)) return false;
            info.hasVersion = true;
            info.interfaceVersion = ByteReader(value, length).i32();
            return true;
        case fourCC("wx86"):
            return readCString(value, length, key, info.entryWin32, error);
        case fourCC("8664"):
            return readCString(value, length, key, info.entryWin64, error);
        case fourCC("mode"):
            if (!needLength(length, 2, key, error)) return false;
            info.hasMode = true;
            for (size_t i = 0; i < 4; ++i) info.modeBytes[i] = i < length ? value[i] : 0;
            return true;
        case fourCC("enbl"):
            return readCString(value, length, key, info.enableExpression, error);
        case fourCC("fici"):
            info.filterCases.clear();
            for (size_t i = 0; i + 4 <= length; i += 4)
                info.filterCases.push_back(PiplFilterCase{value[i], value[i + 1], value[i + 2], value[i + 3]});
            return true;
        case fourCC("hstm"):
            // version, class, event, resource id, then the scope text.
            if (!needLength(length, 15, key, error)) return false;
            info.hasTerminology = true;
            {
                ByteReader r(value, length);
                info.terminologyVersion = r.i32();
                info.terminologyClass = r.u32();
                info.terminologyEvent = r.u32();
                info.terminologyId = r.i16();
            }
            return readCString(value + 14, length - 14, key, info.terminologyScope, error);
        default:
            return true;
    }
}

}  // namespace

std::string fourCCText(uint32_t c) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char ch = char((c >> shift) & 0xFF);
        out += (ch >= 32 && ch < 127) ? ch : '?';
    }
    return out;
}

const PiplProperty* PiplInfo::find(uint32_t key) const {
    for (const PiplProperty& p : properties)
        if (p.vendor == fourCC("8BIM") && p.key == key) return &p;
    return nullptr;
}

bool readPipl(const uint8_t* data, size_t size, PiplInfo& info, std::string& error) {
    info = PiplInfo{};
    error.clear();
    if (!data || size < kHeaderSize) {
        error = "the property list is shorter than its 10-byte header";
        return false;
    }
    ByteReader r(data, size);
    info.header = r.i16();
    info.version = r.i32();
    const int32_t count = r.i32();
    if (info.version != 0) {
        error = "unknown property list version " + std::to_string(info.version);
        return false;
    }
    if (count < 0 || size_t(count) > (size - kHeaderSize) / kPropertyHeaderSize) {
        error = "property count " + std::to_string(count) + " does not fit in " + std::to_string(size) + " bytes";
        return false;
    }
    size_t offset = kHeaderSize;
    for (int32_t i = 0; i < count; ++i) {
        if (size - offset < kPropertyHeaderSize) {
            error = "property " + std::to_string(i + 1) + " starts past the end of the list";
            return false;
        }
        PiplProperty p;
        r.seek(offset);
        p.vendor = r.u32();
        p.key = r.u32();
        p.id = r.i32();
        p.length = r.u32();
        p.valueOffset = offset + kPropertyHeaderSize;
        const size_t room = size - p.valueOffset;
        if (p.length > room) {
            error = "property '" + fourCCText(p.key) + "' runs past the end of the list";
            return false;
        }
        // Values are padded to a multiple of 4; the last one may lack its padding.
        const size_t padded = (size_t(p.length) + 3) & ~size_t(3);
        const bool last = i + 1 == count;
        if (padded > room && !last) {
            error = "property '" + fourCCText(p.key) + "' lacks its padding";
            return false;
        }
        if (p.vendor == fourCC("8BIM") && !readKnownProperty(data + p.valueOffset, p.length, p.key, info, error))
            return false;
        info.properties.push_back(p);
        offset = p.valueOffset + (padded > room ? room : padded);
    }
    return true;
}

bool checkFilterPipl(const PiplInfo& info, bool win64, std::string& entry, std::string& error) {
    entry.clear();
    if (!info.hasKind || info.kind != fourCC("8BFM")) {
        error = info.hasKind ? "the library is not a filter (kind '" + fourCCText(info.kind) + "')"
                             : "the property list does not say what kind of plug-in this is";
        return false;
    }
    if (info.hasVersion && (info.interfaceVersion >> 16) > 4) {
        error = "the filter needs interface version " + std::to_string(info.interfaceVersion >> 16) +
                ", this host offers 4.0";
        return false;
    }
    entry = win64 ? info.entryWin64 : info.entryWin32;
    if (entry.empty()) {
        error =
            win64 ? "the filter has no 64-bit entry point ('8664')" : "the filter has no 32-bit entry point ('wx86')";
        return false;
    }
    return true;
}
