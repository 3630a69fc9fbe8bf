#include "tests/support/TestImages.h"

#include <cmath>
#include <random>

HostImage makeTestImage(int32_t width, int32_t height, int planes, int depth, uint32_t seed) {
    HostImage image;
    makeHostImage(image, width, height, planes, depth);
    std::mt19937 rng(seed);
    const int maxValue = depth == 16 ? 32768 : 255;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            for (int p = 0; p < planes; ++p) {
                double wave = 0.5 + 0.35 * std::sin((x * (p + 1) + y * (3 - p)) * 0.11);
                if (((x / 7) + (y / 5) + p) % 3 == 0) wave = 0.9 - wave * 0.5;
                double noise = (int(rng() % 41) - 20) / 400.0;
                double v = std::fmin(1.0, std::fmax(0.0, wave + noise));
                image.samples[image.index(x, y, p)] = uint16_t(std::lround(v * maxValue));
            }
    return image;
}
