// The widest vector instructions the image operations may use, chosen when
// the program runs (builds target plain SSE2; AVX2 is taken only where the
// processor has it). Every level gives the same bytes.
#pragma once

#include <cstdint>

enum class VectorLevel : uint8_t { Plain, Sse2, Avx2 };

// The widest level this build and processor support; the same for the whole
// process.
VectorLevel widestVectorLevel();
// level, lowered to what this build and processor support.
VectorLevel supportedVectorLevel(VectorLevel level);
