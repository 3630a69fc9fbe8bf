// Time of the dialog's preview on a 6000 x 4000 photograph at the fit zoom,
// in the 338 x 445 pane of a 1024 x 768 screen and the 741 x 649 pane of a
// 1920 x 1080 one: a re-render after a parameter change (the HSI form
// cached), and the fetch through the host's channel ports with the first
// render after it. Default parameters, one thread.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "engine/Preview.h"
#include "host/HostCore.h"
#include "services/HostServices.h"

namespace {

constexpr int32_t kWidth = 6000, kHeight = 4000;

struct QuietView : PreviewControls {
    FilterParameters controls;
    void readControls(FilterParameters& block) override { FilterParameters::copySettings(&controls, &block); }
    bool previewChecked() override { return true; }
    void setStatusText(const char*) override {}
    void setZoomText(const char*) override {}
    void setProgress(int) override {}
    void* displayContext() override { return nullptr; }
    void releaseDisplayContext(void*) override {}
};

// A photograph-like 8-bit image: gradients, patches and a little texture.
HostImage photograph(int planes) {
    HostImage image;
    makeHostImage(image, kWidth, kHeight, planes, 8);
    uint32_t seed = 12345;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x)
            for (int p = 0; p < planes; ++p) {
                seed = seed * 1664525u + 1013904223u;
                const int wave = int(127 + 100 * std::sin((x * (p + 1) + y * (3 - p)) * 0.003));
                const int patch = ((x / 300 + y / 200 + p) % 3) * 20;
                image.samples[image.index(x, y, p)] = uint16_t(std::clamp(wave + patch + int(seed >> 28) - 8, 0, 255));
            }
    return image;
}

struct Session {
    HostCore host;
    QuietView view;
    FilterParameters block;
    Preview preview;
    VRect whole{0, 0, kHeight, kWidth};

    Session(const HostImage& image, int32_t paneWidth, int32_t paneHeight) {
        host.setImage(image);
        host.setDisplayPixels([](const PSPixelMap&, const VRect&, int32, int32, void*) { return noErr; });
        view.controls.setDefaults();
        view.controls.imageClass = imageClassForMode(image.mode);
        block = view.controls;
        preview.record = &host.record();
        preview.block = &block;
        preview.view = &view;
        preview.pane = VRect{20, 20, 20 + paneHeight, 20 + paneWidth};
        preview.zoom = std::min(1.0, std::min(double(paneWidth) / kWidth, double(paneHeight) / kHeight));
        allocatePreviewBuffers(preview, paneWidth, paneHeight);
        allocatePreviewHsi(preview);
    }
    ~Session() { releasePreview(preview); }
};

const HostImage& rgbPhotograph() {
    static const HostImage image = photograph(3);
    return image;
}

void BM_PreviewRerender(benchmark::State& state) {
    Session s(rgbPhotograph(), int32_t(state.range(0)), int32_t(state.range(1)));
    if (!fetchPreview(s.preview, s.whole)) state.SkipWithError("fetch failed");
    for (auto _ : state) {
        s.preview.parametersChanged = true;
        benchmark::DoNotOptimize(renderPreview(s.preview));
    }
}
BENCHMARK(BM_PreviewRerender)
    ->Args({338, 445})
    ->Args({741, 649})
    ->ArgNames({"pane_w", "pane_h"})
    ->Unit(benchmark::kMillisecond);

void BM_PreviewFetchAndFirstRender(benchmark::State& state) {
    Session s(rgbPhotograph(), int32_t(state.range(0)), int32_t(state.range(1)));
    for (auto _ : state) benchmark::DoNotOptimize(fetchPreview(s.preview, s.whole));
}
BENCHMARK(BM_PreviewFetchAndFirstRender)
    ->Args({338, 445})
    ->Args({741, 649})
    ->ArgNames({"pane_w", "pane_h"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
