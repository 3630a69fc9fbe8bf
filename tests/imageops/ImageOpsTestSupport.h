// Shared pieces of the image-operation tests: a stand-in host for the buffer
// service, colour services and progress, and random buffers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "host/HostCore.h"
#include "imageops/ImageBuffer.h"
#include "services/RunContext.h"

// A fresh stand-in host and a run on it for each test; checks that every
// buffer taken from it was given back.
class HostTest : public ::testing::Test {
protected:
    void TearDown() override;

    HostCore host;
    RunContext run{&host.record()};
};

// A working buffer from the run with its channel count and test helpers.
struct OwnedBuffer {
    ImageBuffer buffer;
    OwnedBuffer(const RunContext& run, int32_t width, int32_t height, int channels);

    int channels;
    size_t samples() const { return size_t(buffer.width) * size_t(buffer.height) * size_t(channels); }
    uint16_t* at(int32_t x, int32_t y) { return buffer.data + (size_t(y) * buffer.width + x) * channels; }
    std::vector<uint16_t> copy() const { return std::vector<uint16_t>(buffer.data, buffer.data + samples()); }
};

void fillRandom(OwnedBuffer& b, std::mt19937& rng, uint16_t lo = 0, uint16_t hi = 65535);
// Random values in flat patches of random size, so that windows meet both
// uniform areas and edges, with occasional 0 and 65535.
void fillPatches(OwnedBuffer& b, std::mt19937& rng, int patch);
