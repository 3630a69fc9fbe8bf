// Little-endian field access on stored byte images; the caller checks bounds.
#pragma once

#include <cstdint>
#include <cstring>

inline uint16_t loadU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t loadU32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline int32_t loadI32(const uint8_t* p) { return int32_t(loadU32(p)); }
inline float loadF32(const uint8_t* p) {
    uint32_t bits = loadU32(p);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}
inline void storeU16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void storeU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void storeI32(uint8_t* p, int32_t v) { storeU32(p, uint32_t(v)); }
inline void storeF32(uint8_t* p, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    storeU32(p, bits);
}
