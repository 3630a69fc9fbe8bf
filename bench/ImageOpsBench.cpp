// Megapixels per second of the image operations on a 4000 x 3000 16-bit RGB
// photograph, with the sizes the apply driver derives for it: baseSize 90,
// sharpen size 29.7 (r = 15), soften size 45 and 90 for amounts 50 and 100,
// contract/expand size 47.97 (r = 24) for "Contract/Expand:" 100.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "curves/Curve.h"
#include "host/HostCore.h"
#include "imageops/ImageBuffer.h"
#include "imageops/Mask.h"
#include "imageops/MaskFilters.h"
#include "imageops/PixelTransfer.h"
#include "imageops/Sharpen.h"
#include "imageops/Soften.h"
#include "services/RunContext.h"

namespace {

constexpr int32_t kWidth = 4000, kHeight = 3000;
const double kBase = baseSize(kWidth, kHeight);

Point16 pt(int32_t v, int32_t h) { return Point16{int16_t(v), int16_t(h)}; }

// The buffers every benchmark shares, built once.
struct Photo {
    HostCore host;
    RunContext run{&host.record()};
    ImageBuffer rgb, hsi, out, hsiOut;
    ImageBuffer fullMask, halfMask, curveMask, shaped, scratch, hostMask;
    CurveSet curves;

    Photo() {
        rgb.allocate(run, kWidth, kHeight, RgbChannels);
        out.allocate(run, kWidth, kHeight, RgbChannels);
        hsi.allocate(run, kWidth, kHeight, HsiChannels);
        hsiOut.allocate(run, kWidth, kHeight, HsiChannels);
        for (ImageBuffer* m : {&fullMask, &halfMask, &curveMask, &shaped, &scratch, &hostMask})
            m->allocate(run, kWidth, kHeight, MaskChannels);

        // Smooth colour gradients with soft blobs and grain, like a photograph.
        uint32_t seed = 12345;
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x) {
                uint16_t* p = rgb.data + (size_t(y) * kWidth + x) * 3;
                const double blob = std::sin(x * 0.011) * std::cos(y * 0.007);
                for (int c = 0; c < 3; ++c) {
                    seed = seed * 1664525u + 1013904223u;
                    const double grain = double(seed >> 20) - 2048.0;
                    const double v = 32768 + 18000 * std::sin(x / (300.0 + 70 * c) + y / (450.0 - 60 * c)) +
                                     9000 * blob * (c - 1) + grain;
                    p[c] = uint16_t(std::fmin(65535.0, std::fmax(0.0, v)));
                }
            }
        rgbBufferToHsi(hsi, rgb);

        // A selection of a band of hues with soft edges, as a user draws it.
        for (int i = 0; i < kCurveSlots; ++i) {
            const double hueDegrees = i * 360.0 / 1023;
            const double t = std::fabs(hueDegrees - 200) / 60;
            curves.hue.samples[i] = float(t < 1 ? 1 - t * t : 0);
            curves.saturation.samples[i] = float(std::fmin(1.0, i / 300.0));
            curves.intensity.samples[i] = 1.0f;
        }
        buildCurveMask(curveMask, hsi, curves, pt(0, 0), pt(kHeight, kWidth));
        for (size_t i = 0; i < size_t(kWidth) * kHeight; ++i) {
            fullMask.data[i] = 65535;
            hostMask.data[i] = 65535;
            // Half the image selected: the left half fully, the right half not.
            halfMask.data[i] = (i % kWidth) < kWidth / 2 ? 65535 : 0;
        }
    }
};

Photo& photo() {
    static Photo p;
    return p;
}

void reportRate(benchmark::State& state, int64_t pixels) {
    state.counters["MP/s"] = benchmark::Counter(double(pixels) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

const uint8_t kAll[4] = {1, 1, 1, 0};

void BM_Sharpen(benchmark::State& state) {
    Photo& p = photo();
    const double size = kBase * 0.33;
    const int32_t r = radiusForSize(size);
    const ImageBuffer& mask = state.range(0) == 0 ? p.fullMask : state.range(0) == 1 ? p.halfMask : p.curveMask;
    for (auto _ : state)
        sharpenRegion(p.run, p.rgb, p.out, mask, ColorModel::RGB, kAll, pt(r, r), pt(kHeight - r, kWidth - r), size,
                      0.5);
    reportRate(state, int64_t(kWidth - 2 * r) * (kHeight - 2 * r));
}
BENCHMARK(BM_Sharpen)->Arg(0)->Arg(1)->Arg(2)->ArgName("mask_full_half_curves")->Unit(benchmark::kMillisecond);

// Arguments: amount (50 or 100), mask (0 full, 1 half, 2 from curves), model (2 RGB, 1 HSI).
void BM_Soften(benchmark::State& state) {
    Photo& p = photo();
    const double size = kBase * state.range(0) * 0.01;
    const int32_t r = radiusForSize(size);
    const ImageBuffer& mask = state.range(1) == 0 ? p.fullMask : state.range(1) == 1 ? p.halfMask : p.curveMask;
    const bool hsi = state.range(2) == 1;
    SoftenTables tables;
    prepareSoftenTables(p.run, tables, size);
    for (auto _ : state)
        softenRegion(p.run, tables, hsi ? p.hsi : p.rgb, hsi ? p.hsiOut : p.out, mask,
                     hsi ? ColorModel::HSI : ColorModel::RGB, kAll, pt(r, r), pt(kHeight - r, kWidth - r), size);
    reportRate(state, int64_t(kWidth - 2 * r) * (kHeight - 2 * r));
}
BENCHMARK(BM_Soften)
    ->Args({50, 0, 2})
    ->Args({50, 1, 2})
    ->Args({50, 2, 2})
    ->Args({100, 0, 2})
    ->Args({100, 1, 2})
    ->Args({100, 2, 2})
    ->Args({100, 0, 1})
    ->Args({100, 2, 1})
    ->ArgNames({"amount", "mask", "model"})
    ->Unit(benchmark::kMillisecond);

// The whole photograph in 512 x 512 tiles, as the command line asks for
// them, on two threads: a tile's bands should end together, or one thread
// waits for the other (CPU time of both threads against real time).
// Arguments: operation (0 sharpen, 1 soften amount 100),
// mask (0 full, 2 from curves).
void BM_TilesOnTwoThreads(benchmark::State& state) {
    Photo& p = photo();
    const bool soften = state.range(0) == 1;
    const double size = soften ? kBase : kBase * 0.33;
    const int32_t r = radiusForSize(size);
    const ImageBuffer& mask = state.range(1) == 0 ? p.fullMask : p.curveMask;
    SoftenTables tables;
    if (soften) prepareSoftenTables(p.run, tables, size);
    p.run.setThreads(2);
    for (auto _ : state)
        for (int32_t y = r; y < kHeight - r; y += 512)
            for (int32_t x = r; x < kWidth - r; x += 512) {
                const Point16 end = pt(std::min(y + 512, kHeight - r), std::min(x + 512, kWidth - r));
                if (soften)
                    softenRegion(p.run, tables, p.rgb, p.out, mask, ColorModel::RGB, kAll, pt(y, x), end, size);
                else
                    sharpenRegion(p.run, p.rgb, p.out, mask, ColorModel::RGB, kAll, pt(y, x), end, size, 0.5);
            }
    p.run.setThreads(1);
    reportRate(state, int64_t(kWidth - 2 * r) * (kHeight - 2 * r));
}
BENCHMARK(BM_TilesOnTwoThreads)
    ->ArgsProduct({{0, 1}, {0, 2}})
    ->ArgNames({"soften", "mask"})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The mask pipeline of one run with "Edges Only" and "Contract/Expand:" 100:
// curve mask, edge map, expansion, host mask. Argument: falloff in percent.
void BM_MaskPipeline(benchmark::State& state) {
    Photo& p = photo();
    const double size = 100 * kBase * 0.00533;
    const double falloff = state.range(0) * 0.01;
    for (auto _ : state) {
        buildCurveMask(p.scratch, p.hsi, p.curves, pt(0, 0), pt(kHeight, kWidth));
        edgeMask(p.run, p.scratch, p.shaped, pt(0, 0), pt(kHeight, kWidth));
        expandMask(p.run, p.shaped, p.scratch, pt(0, 0), pt(kHeight, kWidth), size, falloff);
        multiplyMask(p.scratch, p.hostMask);
    }
    reportRate(state, int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_MaskPipeline)->Arg(0)->Arg(50)->ArgName("falloff")->Unit(benchmark::kMillisecond);

// The selection straight from the RGB photograph, in 512 x 512 tiles as the
// apply driver asks for it, on one thread. Arguments: curves (0 saturation
// only, as the default sharpen selects; 1 hue band and saturation; 2 a
// varying intensity curve with a flat hue one), vector level (0 plain, 1 SSE2,
// 2 AVX2, lowered to what the processor has).
void BM_CurveMaskFromRgb(benchmark::State& state) {
    Photo& p = photo();
    CurveSet curves = p.curves;
    const bool withHue = state.range(0) == 1;
    for (int i = 0; i < kCurveSlots; ++i) {
        if (state.range(0) != 1) curves.hue.samples[i] = 1.0f;
        if (state.range(0) == 2) curves.intensity.samples[i] = float(0.5 + 0.5 * std::sin(i * 0.01));
    }
    const VectorLevel level = VectorLevel(state.range(1));
    for (auto _ : state)
        for (int32_t y = 0; y < kHeight; y += 512)
            for (int32_t x = 0; x < kWidth; x += 512)
                buildCurveMaskFromRgb(p.scratch, p.rgb, curves, pt(y, x), pt(y + 512, x + 512), withHue, 1, nullptr,
                                      level);
    reportRate(state, int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_CurveMaskFromRgb)
    ->ArgsProduct({{0, 1, 2}, {0, 1, 2}})
    ->ArgNames({"curves", "level"})
    ->Unit(benchmark::kMillisecond);

// The neighbourhood filters one at a time, on the curve mask.
// Argument: 0 edge map, 1 expand, 2 expand with falloff 0.5, 3 contract,
// 4 contract with falloff 0.5.
void BM_MaskFilter(benchmark::State& state) {
    Photo& p = photo();
    const double size = 100 * kBase * 0.00533;
    for (auto _ : state) {
        switch (state.range(0)) {
            case 0:
                edgeMask(p.run, p.curveMask, p.shaped, pt(0, 0), pt(kHeight, kWidth));
                break;
            case 1:
                expandMask(p.run, p.curveMask, p.shaped, pt(0, 0), pt(kHeight, kWidth), size, 0);
                break;
            case 2:
                expandMask(p.run, p.curveMask, p.shaped, pt(0, 0), pt(kHeight, kWidth), size, 0.5);
                break;
            case 3:
                contractMask(p.run, p.curveMask, p.shaped, pt(0, 0), pt(kHeight, kWidth), size, 0);
                break;
            default:
                contractMask(p.run, p.curveMask, p.shaped, pt(0, 0), pt(kHeight, kWidth), size, 0.5);
                break;
        }
    }
    reportRate(state, int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_MaskFilter)->DenseRange(0, 4)->ArgName("filter")->Unit(benchmark::kMillisecond);

// The photograph into the working buffer from a 16-bit host buffer and back
// out (argument 0 in, 1 out), on one thread.
void BM_Transfer16(benchmark::State& state) {
    Photo& p = photo();
    static std::vector<uint16_t> host(size_t(kWidth) * kHeight * 3, 16384);
    HostPixels pixels;
    pixels.base = host.data();
    pixels.rowBytes = kWidth * 3 * 2;
    pixels.width = kWidth;
    pixels.rows = kHeight;
    pixels.depth = 16;
    const Rect16 all{0, 0, int16_t(kHeight), int16_t(kWidth)};
    for (auto _ : state) {
        if (state.range(0) == 0)
            importPixels(p.run, BufferContent::RGB, pixels, all, p.out, pt(0, 0));
        else
            exportPixels(p.run, BufferContent::RGB, p.rgb, all, pixels, pt(0, 0));
    }
    reportRate(state, int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_Transfer16)->Arg(0)->Arg(1)->ArgName("out")->Unit(benchmark::kMillisecond);

void BM_RgbToHsi(benchmark::State& state) {
    Photo& p = photo();
    for (auto _ : state) rgbBufferToHsi(p.hsiOut, p.rgb);
    reportRate(state, int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_RgbToHsi)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
