// Deterministic test images for the stand-in host.
#pragma once

#include <cstdint>

#include "host/HostImage.h"

// A photograph-like image: smooth gradients, colour patches and noise from a
// fixed seed, in the host's conventions for its mode.
HostImage makeTestImage(int32_t width, int32_t height, int planes, int depth, uint32_t seed = 1);
