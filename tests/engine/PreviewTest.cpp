// The preview against independent computations: the apply driver run through
// a stand-in host on the same 8-bit scaled image, placed in the pane.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/Preview.h"
#include "entry/PluginMain.h"
#include "host/ChannelScaling.h"
#include "host/HostCore.h"
#include "imageops/ColorModel.h"
#include "imageops/Mask.h"
#include "services/HostServices.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/TestImages.h"

namespace {

constexpr uint8_t kGrey = 230;

// The dialog as the preview sees it: its controls are a block.
struct FakeView : PreviewControls {
    FilterParameters controls;
    bool checked = true;
    std::vector<std::string> statuses;
    std::string zoom;
    int openContexts = 0;

    void readControls(FilterParameters& block) override { FilterParameters::copySettings(&controls, &block); }
    bool previewChecked() override { return checked; }
    void setStatusText(const char* text) override { statuses.emplace_back(text); }
    void setZoomText(const char* text) override { zoom = text; }
    void setProgress(int) override {}
    void* displayContext() override {
        ++openContexts;
        return this;
    }
    void releaseDisplayContext(void* context) override {
        if (context == this) --openContexts;
    }
    // What the dialog drew itself, for a host without displayPixels.
    std::vector<uint8_t> drawn;
    bool drawPixels(const PSPixelMap& map, int32_t row, int32_t column) override {
        const auto* base = static_cast<const uint8_t*>(map.baseAddr);
        drawn.assign(base, base + size_t(map.imageMode == plugInModeCMYKColor ? 4 : 3) * size_t(map.planeBytes));
        return row == map.bounds.top && column == map.bounds.left;
    }
};

// One channel (or the selection, plane -1) of an image part, scaled by the
// host's own rule to width x height, eight bits.
std::vector<uint8_t> scaledChannel(const HostImage& image, const std::vector<uint8_t>& selection, int plane,
                                   const VRect& part, int32_t width, int32_t height) {
    ChannelSource channel;
    channel.width = image.width;
    channel.height = image.height;
    if (plane < 0) {
        channel.bytes = selection.data();
    } else {
        channel.samples = image.samples.data();
        channel.stride = image.planes;
        channel.offset = plane;
        channel.depth = image.depth;
    }
    std::vector<uint8_t> out(size_t(width) * size_t(height));
    const VRect whole{0, 0, height, width};
    EXPECT_EQ(readScaledChannel(channel, PSScaling{part, whole}, whole, out.data(), width), noErr);
    return out;
}

struct Scaled {
    HostImage image;                 // 8 bits, interleaved
    std::vector<uint8_t> selection;  // empty without one
};

Scaled scaleImage(const HostImage& image, const std::vector<uint8_t>& selection, const VRect& part, int32_t width,
                  int32_t height) {
    Scaled s;
    makeHostImage(s.image, width, height, image.planes, 8);
    for (int p = 0; p < image.planes; ++p) {
        const std::vector<uint8_t> plane = scaledChannel(image, selection, p, part, width, height);
        for (size_t i = 0; i < plane.size(); ++i) s.image.samples[i * size_t(image.planes) + size_t(p)] = plane[i];
    }
    if (!selection.empty()) s.selection = scaledChannel(image, selection, -1, part, width, height);
    return s;
}

// The apply driver through a stand-in host of its own, the whole image in one tile.
HostImage applyThroughHost(const Scaled& scaled, FilterParameters p) {
    HostCore host;
    host.setImage(scaled.image);
    host.setTileSize(scaled.image.width, scaled.image.height);
    if (!scaled.selection.empty()) host.setSelection(scaled.selection);
    p.showDialog = 0;
    p.imageClass = imageClassForMode(scaled.image.mode);
    std::vector<uint8_t> bytes(kFilterParametersSize);
    writeFilterParameters(p, bytes.data(), bytes.size());
    host.setParameterBytes(bytes);
    EXPECT_EQ(host.call(PluginMain, filterSelectorPrepare), noErr);
    EXPECT_EQ(host.call(PluginMain, filterSelectorStart), noErr);
    EXPECT_EQ(host.stats().liveBuffers, 0u);
    return host.image();
}

// Pane-sized planes: grey, with the image enlarged by factor placed at (left, top).
std::vector<uint8_t> placed(const HostImage& image, int32_t paneWidth, int32_t paneHeight, int32_t left, int32_t top,
                            int factor) {
    std::vector<uint8_t> planes(size_t(image.planes) * size_t(paneWidth) * size_t(paneHeight), kGrey);
    for (int p = 0; p < image.planes; ++p)
        for (int32_t y = 0; y < image.height * factor; ++y)
            for (int32_t x = 0; x < image.width * factor; ++x)
                planes[(size_t(p) * size_t(paneHeight) + size_t(top + y)) * size_t(paneWidth) + size_t(left + x)] =
                    uint8_t(image.at(x / factor, y / factor, p));
    return planes;
}

FilterParameters flatCurves(FilterParameters p) {
    for (Curve* c : {&p.curves.hue, &p.curves.saturation, &p.curves.intensity}) {
        std::fill(c->points, c->points + kCurveSlots, NoPoint);
        c->points[0] = c->points[kCurveSlots - 1] = 1.0f;
        c->evaluate();
    }
    return p;
}

// A dialog's preview on a stand-in host, with what the host displayed.
struct Session {
    HostCore host;
    FakeView view;
    FilterParameters block;
    Preview preview;
    std::vector<uint8_t> displayed;
    int32_t displayedMode = -1;
    int displays = 0;

    Session(const HostImage& image, const std::vector<uint8_t>& selection, const FilterParameters& controls,
            int32_t paneWidth, int32_t paneHeight, double zoom) {
        host.setImage(image);
        if (!selection.empty()) host.setSelection(selection);
        host.setDisplayPixels([this](const PSPixelMap& map, const VRect& source, int32 row, int32 column, void* dc) {
            ++displays;
            const int planes = map.imageMode == plugInModeCMYKColor ? 4 : 3;
            const auto* base = static_cast<const uint8_t*>(map.baseAddr);
            const bool whole = source.top == map.bounds.top && source.bottom == map.bounds.bottom &&
                               row == map.bounds.top && column == map.bounds.left && dc == &view;
            displayed.assign(base, base + size_t(planes) * size_t(map.planeBytes));
            displayedMode = map.imageMode;
            return whole && map.colBytes == 1 ? noErr : paramErr;
        });
        view.controls = controls;
        view.controls.imageClass = imageClassForMode(image.mode);
        block = view.controls;
        preview.record = &host.record();
        preview.block = &block;
        preview.view = &view;
        preview.pane = VRect{20, 20, 20 + paneHeight, 20 + paneWidth};
        preview.zoom = zoom;
        EXPECT_TRUE(allocatePreviewBuffers(preview, paneWidth, paneHeight));
        EXPECT_TRUE(allocatePreviewHsi(preview));
    }
    ~Session() {
        releasePreview(preview);
        EXPECT_EQ(host.stats().liveBuffers, 0u);
        EXPECT_EQ(view.openContexts, 0);
    }
    std::vector<uint8_t> processed() const {
        const PreviewPlanes& b = preview.processed;
        return std::vector<uint8_t>(b.data, b.data + size_t(b.planes) * b.planeBytes());
    }
};

size_t differing(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    size_t n = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) n += a[i] != b[i];
    return n + (a.size() > b.size() ? a.size() - b.size() : b.size() - a.size());
}

struct Case {
    const char* name;
    int planes, depth;
    enum Geometry { Fit, Part200, Small200 } geometry;  // fit zoom, 200 % of a part, 200 % of a small image
    int operation, colorSpace;
    bool selection;
    int contractExpand, selectionSource;
};

struct PreviewMatchesTheDriver : ::testing::TestWithParam<Case> {
    FakePlatform platform;
};

TEST_P(PreviewMatchesTheDriver, PixelForPixel) {
    const Case c = GetParam();
    // Geometry where the scaled part's shorter side times the preview scale
    // is the driver's own base size on the scaled image, in a 240 x 200 pane:
    // fit 0.5 of 480 x 320, 200 % of a 120 x 100 part of 180 x 100, or 200 %
    // of a 60 x 50 image that leaves a grey border.
    const bool zoomedIn = c.geometry != Case::Fit;
    const int32_t width = c.geometry == Case::Fit ? 480 : c.geometry == Case::Part200 ? 180 : 60;
    const int32_t height = c.geometry == Case::Fit ? 320 : c.geometry == Case::Part200 ? 100 : 50;
    const int32_t paneWidth = 240, paneHeight = 200;
    const double zoom = zoomedIn ? 2.0 : 0.5;
    const VRect part = c.geometry == Case::Part200 ? VRect{0, 30, 100, 150} : VRect{0, 0, height, width};
    const int32_t partWidth = part.right - part.left, partHeight = part.bottom - part.top;
    const HostImage image = makeTestImage(width, height, c.planes, c.depth, 11);
    std::vector<uint8_t> selection;
    if (c.selection) {
        selection.resize(size_t(width) * size_t(height));
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                selection[size_t(y) * size_t(width) + size_t(x)] = uint8_t(x < width / 2 ? 255 : (y * 7) % 256);
    }
    FilterParameters p;
    p.setDefaults();
    p.operation = Operation(c.operation);
    p.amount = c.operation == 2 ? 100 : 70;
    p.colorSpace = ColorSpace(c.colorSpace);
    p.contractExpand = c.contractExpand;
    p.selectionSource = SelectionSource(c.selectionSource);
    p.falloff = 40;

    // The 1:1 data the pipeline runs on: the scaled image, or the part itself.
    const int32_t dataWidth = zoomedIn ? partWidth : int32_t(partWidth * zoom);
    const int32_t dataHeight = zoomedIn ? partHeight : int32_t(partHeight * zoom);
    const Scaled scaled = scaleImage(image, selection, part, dataWidth, dataHeight);
    const HostImage result = applyThroughHost(scaled, p);
    const int factor = zoomedIn ? 2 : 1;
    const int32_t left = (paneWidth - dataWidth * factor) / 2, top = (paneHeight - dataHeight * factor) / 2;
    const std::vector<uint8_t> unprocessed = placed(scaled.image, paneWidth, paneHeight, left, top, factor);
    const std::vector<uint8_t> expected = placed(result, paneWidth, paneHeight, left, top, factor);
    ASSERT_GT(differing(expected, unprocessed), expected.size() / 20) << "the filter changed the preview";

    Session s(image, selection, p, paneWidth, paneHeight, zoom);
    ASSERT_TRUE(fetchPreview(s.preview, part));
    EXPECT_EQ(s.preview.placement.left, left);
    EXPECT_EQ(s.preview.placement.top, top);
    EXPECT_EQ(
        differing(std::vector<uint8_t>(s.preview.unprocessed.data, s.preview.unprocessed.data + unprocessed.size()),
                  unprocessed),
        0u);
    EXPECT_EQ(differing(s.processed(), expected), 0u);
    EXPECT_EQ(s.displayed, expected);
    EXPECT_EQ(s.displayedMode, c.planes == 3 ? plugInModeRGBColor : plugInModeCMYKColor);
    EXPECT_TRUE(platform.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(FitAndZoomedIn, PreviewMatchesTheDriver,
                         ::testing::Values(Case{"RgbSharpenFit", 3, 8, Case::Fit, 1, 1, false, 0, 1},
                                           Case{"RgbSoftenHsiFit", 3, 16, Case::Fit, 2, 2, false, 0, 1},
                                           Case{"CmykSharpenFit", 4, 8, Case::Fit, 1, 1, false, 0, 1},
                                           Case{"CmykSoftenYuvFit", 4, 16, Case::Fit, 2, 3, true, 0, 1},
                                           Case{"RgbEdgesExpandFit", 3, 8, Case::Fit, 1, 3, false, 60, 2},
                                           Case{"RgbSelectionFit", 3, 8, Case::Fit, 1, 1, true, 0, 1},
                                           Case{"RgbSharpen200", 3, 16, Case::Part200, 1, 1, false, 0, 1},
                                           Case{"CmykSoften200", 4, 8, Case::Part200, 2, 1, false, -40, 1},
                                           Case{"CmykHsiSelection200", 4, 16, Case::Part200, 1, 2, true, 0, 1},
                                           Case{"RgbSoftenSmallImage200", 3, 8, Case::Small200, 2, 1, true, 0, 1}),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

struct PreviewControlss : ::testing::Test {
    FakePlatform platform;
    const HostImage image = makeTestImage(480, 320, 3, 8, 4);
    const VRect whole{0, 0, 320, 480};

    FilterParameters defaults() const {
        FilterParameters p;
        p.setDefaults();
        return p;
    }
    std::vector<uint8_t> unprocessed(const HostImage& from, const std::vector<uint8_t>& selection = {}) const {
        return placed(scaleImage(from, selection, whole, 240, 160).image, 240, 200, 0, 20, 1);
    }
};

TEST_F(PreviewControlss, OverlayTintsTheSelectionOverTheUnprocessedPixels) {
    for (int planes : {3, 4}) {
        const HostImage source = makeTestImage(480, 320, planes, 8, 4);
        // Everything weighs 1: the host's selection alone decides, 255 on the
        // left half, 0 on the right.
        std::vector<uint8_t> selection(480 * 320, 0);
        for (size_t i = 0; i < selection.size(); ++i) selection[i] = i % 480 < 240 ? 255 : 0;
        FilterParameters p = flatCurves(defaults());
        p.showResult = 0;
        p.overlayColor[0] = 0x1280;  // to 8 bits: 19, 255, 0
        p.overlayColor[1] = 0xFFFF;
        p.overlayColor[2] = 0x007F;
        double colour[4] = {19, 255, 0, 0};
        if (planes == 4) {
            HostCore converter;
            RunContext run(&converter.record());
            uint16_t ink[4];
            ASSERT_TRUE(rgbToCmyk(run, p.overlayColor, ink));
            for (int i = 0; i < 4; ++i) colour[i] = 255 - to8Bit(ink[i]);
        }
        const std::vector<uint8_t> before =
            placed(scaleImage(source, selection, whole, 240, 160).image, 240, 200, 0, 20, 1);
        Session s(source, selection, p, 240, 200, 0.5);
        ASSERT_TRUE(fetchPreview(s.preview, whole));
        const std::vector<uint8_t> shown = s.processed();
        const double m = 65280 / 65535.0;  // 255 in the host's selection
        for (int plane = 0; plane < planes; ++plane)
            for (int32_t y = 20; y < 180; y += 7)
                for (int32_t x = 0; x < 240; x += 3) {
                    const size_t i = (size_t(plane) * 200 + size_t(y)) * 240 + size_t(x);
                    const int want =
                        x < 120 ? int(std::floor((1 - m) * before[i] + m * colour[plane] + 0.5)) : before[i];
                    ASSERT_EQ(shown[i], want) << planes << " planes, plane " << plane << " at " << x << "," << y;
                }
        EXPECT_EQ(shown[0], kGrey) << "outside the image";
    }
}

TEST_F(PreviewControlss, WithoutAHostSelectionEverySelectedPixelShowsTheColour) {
    FilterParameters p = flatCurves(defaults());
    p.showResult = 0;
    Session s(image, {}, p, 240, 200, 0.5);
    ASSERT_TRUE(fetchPreview(s.preview, whole));
    for (int plane = 0; plane < 3; ++plane)
        EXPECT_EQ(s.preview.processed.plane(plane)[100 * 240 + 50], to8Bit(p.overlayColor[plane]));
}

TEST_F(PreviewControlss, UncheckedPreviewShowsTheFetchedImageWithoutRendering) {
    Session s(image, {}, defaults(), 240, 200, 0.5);
    s.view.checked = false;
    ASSERT_TRUE(fetchPreview(s.preview, whole));
    EXPECT_EQ(s.displayed, unprocessed(image));
    EXPECT_EQ(s.processed(), std::vector<uint8_t>(3 * 240 * 200, kGrey)) << "nothing was rendered";
    EXPECT_TRUE(s.preview.parametersChanged) << "the edit waits for the box to be checked";
    // Checking it renders; a second render without an edit only redisplays.
    s.view.checked = true;
    ASSERT_TRUE(renderPreview(s.preview));
    const std::vector<uint8_t> rendered = s.processed();
    EXPECT_NE(rendered, unprocessed(image));
    std::memset(s.preview.processed.data, 0, rendered.size());
    const int displays = s.displays;
    ASSERT_TRUE(renderPreview(s.preview));
    EXPECT_EQ(s.displays, displays + 1);
    EXPECT_EQ(s.processed(), std::vector<uint8_t>(rendered.size(), 0));
}

TEST_F(PreviewControlss, NoTickedChannelCopiesTheUnprocessedPreview) {
    FilterParameters p = defaults();
    p.colorSpace = ColorSpace::Yuv;  // YUV offers two boxes; the third does not count
    p.channelEnabled[0] = p.channelEnabled[1] = 0;
    Session s(image, {}, p, 240, 200, 0.5);
    ASSERT_TRUE(fetchPreview(s.preview, whole));
    EXPECT_EQ(s.processed(), unprocessed(image));
    for (const std::string& status : s.view.statuses) EXPECT_NE(status, "Rendering...");
}

TEST_F(PreviewControlss, WithoutChannelPortsTheHostScalesThroughAdvanceStateToTheSamePixels) {
    struct Case {
        int planes, depth;
        bool selection;
        double zoom;
        VRect part;
    };
    const Case cases[] = {
        {3, 8, false, 0.5, whole},
        {4, 16, true, 0.5, whole},
        {3, 16, true, 2.0, VRect{40, 60, 140, 180}},
    };
    for (const Case& c : cases) {
        const HostImage img = makeTestImage(480, 320, c.planes, c.depth, 4);
        std::vector<uint8_t> selection;
        if (c.selection)
            for (int32_t i = 0; i < 480 * 320; ++i) selection.push_back(uint8_t(i % 480 < 300 ? i % 251 : 0));
        std::vector<uint8_t> throughPorts;
        {
            Session ports(img, selection, defaults(), 240, 200, c.zoom);  // one stand-in host at a time
            ASSERT_TRUE(fetchPreview(ports.preview, c.part));
            throughPorts = ports.processed();
        }
        Session advance(img, selection, defaults(), 240, 200, c.zoom);
        advance.host.setChannelPorts(false);
        ASSERT_TRUE(fetchPreview(advance.preview, c.part)) << c.planes << " planes at " << c.depth;
        EXPECT_EQ(advance.processed(), throughPorts) << c.planes << " planes at " << c.depth;
        EXPECT_EQ(advance.preview.hasSelection, c.selection);
        EXPECT_EQ(advance.host.record().inputRate, 0x10000) << "the rate goes back for the run";
    }
}

TEST_F(PreviewControlss, WithoutDisplayPixelsTheDialogDrawsThePreview) {
    {
        Session s(image, {}, defaults(), 240, 200, 0.5);
        s.host.setDisplayPixels(nullptr);
        EXPECT_TRUE(fetchPreview(s.preview, whole));
        EXPECT_TRUE(showPreview(s.preview)) << "the dialog draws it itself";
        EXPECT_EQ(s.displays, 0);
        EXPECT_EQ(s.view.drawn, s.processed());
    }
    {
        Session s(image, {}, defaults(), 240, 200, 0.5);
        EXPECT_FALSE(fetchPreview(s.preview, VRect{0, 0, 321, 480})) << "a part beyond the image";
    }
}

TEST_F(PreviewControlss, ZoomTextGoesToTheLabelForValidIndexes) {
    Session s(image, {}, defaults(), 240, 200, 0.5);
    const double factors[] = {0.05, 0.125, 0.25, 16};
    showZoomText(s.preview, factors, 4, 1);
    EXPECT_EQ(s.view.zoom, "12.5%");
    showZoomText(s.preview, factors, 4, 4);
    showZoomText(s.preview, factors, 4, -1);
    EXPECT_EQ(s.view.zoom, "12.5%");
    showZoomText(s.preview, factors, 4, 3);
    EXPECT_EQ(s.view.zoom, "1600%");
}

}  // namespace

TEST_F(PreviewControlss, RubberBandSamplesThePlacedImageOnly) {
    // Fit zoom: the image lies at (0, 20) of a 240 x 200 pane whose top left
    // corner is (20, 20) in the dialog.
    struct Case {
        Point16 press, cursor;  // v, h in the dialog
        bool onImage;
        VRect want;
    } cases[] = {
        {{50, 30}, {45, 25}, true, {25, 5, 31, 11}},         // dragged up and left, both corners in
        {{50, 30}, {1000, 1000}, true, {30, 10, 180, 240}},  // held to the image's last pixels
        {{50, 30}, {0, 30}, true, {20, 10, 31, 11}},         // above the image: its first row
        {{50, 30}, {50, 30}, true, {30, 10, 31, 11}},        // a click samples one pixel
        {{25, 30}, {90, 90}, false, {}},                     // pressed on the grey band
        {{50, 260}, {90, 90}, false, {}},                    // right of the image
    };
    for (int planes : {3, 4}) {
        const HostImage source = makeTestImage(480, 320, planes, 8, 4);
        Session s(source, {}, defaults(), 240, 200, 0.5);
        ASSERT_TRUE(fetchPreview(s.preview, whole));
        ASSERT_FALSE(s.preview.hsiStale);
        for (const Case& c : cases) {
            VRect rect{};
            ASSERT_EQ(sampleRectangle(s.preview, c.press, c.cursor, rect), c.onImage) << c.press.v << "," << c.press.h;
            if (!c.onImage) continue;
            EXPECT_TRUE(rect.top == c.want.top && rect.left == c.want.left && rect.bottom == c.want.bottom &&
                        rect.right == c.want.right)
                << rect.top << " " << rect.left << " " << rect.bottom << " " << rect.right;
            // The rectangle's own conversion agrees with the preview's HSI of
            // the whole placed image.
            SampleStats got{}, want{};
            ASSERT_TRUE(samplePreview(s.preview, rect, false, got));
            sampleRegionStats(s.preview.hsi,
                              Rect16{int16_t(rect.top), int16_t(rect.left), int16_t(rect.bottom), int16_t(rect.right)},
                              want);
            EXPECT_EQ(std::memcmp(got.values, want.values, sizeof got.values), 0) << planes << " planes";
        }
        // Outside the buffers or empty: nothing is sampled.
        SampleStats stats{};
        EXPECT_FALSE(samplePreview(s.preview, VRect{20, 0, 201, 240}, true, stats));
        EXPECT_FALSE(samplePreview(s.preview, VRect{20, 5, 20, 240}, false, stats));
    }
}
