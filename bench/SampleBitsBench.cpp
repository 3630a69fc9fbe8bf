// Millions of samples per second of the host's 16-bit sample-bit passes on
// one 6000-pixel RGB row band (18,000 x 64 samples), each beside the plain
// per-sample loop it replaced: restoring clear bits on writing, storing
// output while marking changes, and reading file values into host values.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "host/FileValueRuns.h"
#include "host/SampleBits.h"

namespace {

constexpr size_t kSamples = 18000 * 64;

std::vector<uint16_t> randomValues(uint32_t seed, uint32_t below) {
    std::mt19937 rng(seed);
    std::vector<uint16_t> v(kSamples);
    for (uint16_t& x : v) x = uint16_t(rng() % below);
    return v;
}

// Bits set with probability ones / 4: 0 all clear, 2 a random half, 4 all set.
std::vector<uint64_t> randomBits(int ones) {
    std::mt19937 rng(3);
    std::vector<uint64_t> bits(sampleBitWords(kSamples));
    for (uint64_t& w : bits)
        for (int k = 0; k < 64; ++k) w |= uint64_t(int(rng() % 4) < ones) << k;
    return bits;
}

void setRate(benchmark::State& state) { state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kSamples)); }

// Arguments: ones (see randomBits), 1 = the word-by-word pass, 0 = the plain loop.
void BM_RestoreClear(benchmark::State& state) {
    const std::vector<uint16_t> host = randomValues(1, 32769), restore = randomValues(2, 65536);
    const std::vector<uint64_t> bits = randomBits(int(state.range(0)));
    std::vector<uint16_t> out(kSamples);
    for (auto _ : state) {
        if (state.range(1)) {
            restoreClearSamples(host.data(), kSamples, bits.data(), 0, restore, out.data());
        } else {
            for (size_t i = 0; i < kSamples; ++i)
                if (!((bits[i >> 6] >> (i & 63)) & 1)) out[i] = restore[host[i]];
        }
        benchmark::DoNotOptimize(out.data());
    }
    setRate(state);
}
BENCHMARK(BM_RestoreClear)->ArgsProduct({{0, 2, 4}, {0, 1}});

// Arguments: one in how many samples the output changes (1 = all), 1 = one
// pass, 0 = copy the old row, store, compare.
void BM_StoreMarking(benchmark::State& state) {
    const std::vector<uint16_t> old = randomValues(4, 32769);
    std::vector<uint16_t> next = old;
    for (size_t i = 0; i < kSamples; i += size_t(state.range(0))) next[i] ^= 1;
    std::vector<uint16_t> image(kSamples), before(kSamples);
    std::vector<uint64_t> bits(sampleBitWords(kSamples));
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(next.data());
    size_t n = kSamples;
    benchmark::DoNotOptimize(n);  // a run length not known when compiling, as in the host
    for (auto _ : state) {
        state.PauseTiming();
        image = old;
        state.ResumeTiming();
        if (state.range(1)) {
            storeMarkingDifferences(bytes, image.data(), n, bits.data(), 0);
        } else {
            before.assign(image.begin(), image.end());
            std::memcpy(image.data(), bytes, n * 2);
            setDifferenceBits(before.data(), image.data(), n, bits.data(), 0);
        }
        benchmark::DoNotOptimize(bits.data());
    }
    setRate(state);
}
BENCHMARK(BM_StoreMarking)->ArgsProduct({{1, 2, 1000000000}, {0, 1}});

// Argument: VectorLevel, or -1 for the two table lookups per sample.
void BM_TakePlain16(benchmark::State& state) {
    const std::vector<uint16_t> file = randomValues(5, 65536);
    std::vector<uint16_t> host(kSamples), table(65536);
    std::vector<uint8_t> bitOf(65536);
    for (uint32_t v = 0; v < 65536; ++v) {
        table[v] = plainHost16(uint16_t(v));
        bitOf[v] = uint8_t(plainBit16(uint16_t(v)));
    }
    std::vector<uint64_t> bits(sampleBitWords(kSamples));
    for (auto _ : state) {
        if (state.range(0) >= 0) {
            takePlain16(file.data(), kSamples, host.data(), bits.data(), 0, VectorLevel(state.range(0)));
        } else {
            for (size_t i = 0; i < kSamples; i += 64) {
                uint64_t word = 0;
                for (unsigned k = 0; k < 64; ++k) {
                    host[i + k] = table[file[i + k]];
                    word |= uint64_t(bitOf[file[i + k]]) << k;
                }
                bits[i >> 6] |= word;
            }
        }
        benchmark::DoNotOptimize(host.data());
        benchmark::DoNotOptimize(bits.data());
    }
    setRate(state);
}
BENCHMARK(BM_TakePlain16)->Arg(-1)->Arg(0)->Arg(1)->Arg(2);

}  // namespace

BENCHMARK_MAIN();
