// The widest vector instructions the image operations and the host's file
// paths may use, chosen when the program runs (builds target plain SSE2;
// AVX2 is taken only where the processor has it). Every level gives the same
// bytes.
#pragma once

#include <cstdint>

enum class VectorLevel : uint8_t { Plain, Sse2, Avx2 };

// The widest level this build and processor support; the same for the whole
// process.
inline VectorLevel widestVectorLevel() {
    static const VectorLevel widest = [] {
#if (defined(__x86_64__) || defined(__i386__)) && defined(__SSE2__) && defined(__GNUC__)
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") ? VectorLevel::Avx2 : VectorLevel::Sse2;
#elif defined(__SSE2__)
        return VectorLevel::Sse2;
#else
        return VectorLevel::Plain;
#endif
    }();
    return widest;
}

// level, lowered to what this build and processor support.
inline VectorLevel supportedVectorLevel(VectorLevel level) {
    const VectorLevel widest = widestVectorLevel();
    return uint8_t(level) < uint8_t(widest) ? level : widest;
}
