// Colours of the toolkit: three 16-bit components, 0..65535 each.
#pragma once

#include <cstdint>

struct Rgb16 {
    uint16_t red = 0;
    uint16_t green = 0;
    uint16_t blue = 0;
};

inline bool operator==(const Rgb16& a, const Rgb16& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}
inline bool operator!=(const Rgb16& a, const Rgb16& b) { return !(a == b); }

// The GDI colour (0x00BBGGRR) of an Rgb16: the high byte of each component.
inline uint32_t rgb16ToColorRef(Rgb16 c) {
    return uint32_t(c.red >> 8) | (uint32_t(c.green >> 8) << 8) | (uint32_t(c.blue >> 8) << 16);
}

// A GDI colour read back: each 8-bit component times 256.
inline Rgb16 rgb16FromColorRef(uint32_t c) {
    Rgb16 out;
    out.red = uint16_t((c & 255u) * 256u);
    out.green = uint16_t(((c >> 8) & 255u) * 256u);
    out.blue = uint16_t(((c >> 16) & 255u) * 256u);
    return out;
}
