#include "imageops/VectorLevel.h"

namespace {

VectorLevel detect() {
#if (defined(__x86_64__) || defined(__i386__)) && defined(__SSE2__) && defined(__GNUC__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? VectorLevel::Avx2 : VectorLevel::Sse2;
#elif defined(__SSE2__)
    return VectorLevel::Sse2;
#else
    return VectorLevel::Plain;
#endif
}

}  // namespace

VectorLevel widestVectorLevel() {
    static const VectorLevel widest = detect();
    return widest;
}

VectorLevel supportedVectorLevel(VectorLevel level) {
    const VectorLevel widest = widestVectorLevel();
    return uint8_t(level) < uint8_t(widest) ? level : widest;
}
