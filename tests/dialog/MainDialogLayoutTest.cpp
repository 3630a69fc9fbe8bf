#include <gtest/gtest.h>

#include "dialog/MainControlValues.h"
#include "dialog/MainDialogLayout.h"
#include "dialog/PreviewPlacement.h"

namespace {

TEST(MainDialogLayout, ClientAreaFollowsTheDesktop) {
    struct Case {
        int32_t screenW, screenH, w, h, pw, ph, x0, x1, cw, ch;
    };
    const Case cases[] = {
        {1024, 768, 921, 670, 338, 445, 382, 560, 341, 159},  // 622 raised to 670
        {1280, 1024, 1152, 829, 453, 604, 497, 675, 457, 212},
        {1920, 1080, 1728, 874, 741, 649, 785, 963, 745, 227},
        {800, 600, 790, 670, 272, 445, 316, 494, 276, 159},  // both minima
    };
    for (const Case& c : cases) {
        const MainDialogGeometry g = mainDialogGeometry(c.screenW, c.screenH);
        SCOPED_TRACE(c.screenW);
        EXPECT_EQ(g.width, c.w);
        EXPECT_EQ(g.height, c.h);
        EXPECT_EQ(g.previewWidth, c.pw);
        EXPECT_EQ(g.previewHeight, c.ph);
        EXPECT_EQ(g.rightColumn, c.x0);
        EXPECT_EQ(g.curveColumn, c.x1);
        EXPECT_EQ(g.curveWidth, c.cw);
        EXPECT_EQ(g.curveHeight, c.ch);
    }
}

TEST(MainDialogLayout, ControlsOnA1024By768Desktop) {
    struct Case {
        int32_t id, x, y, w, h;
    };
    const Case cases[] = {
        {IdPreviewPane, 20, 20, 338, 445},
        {IdPreviewScrollV, 358, 20, 11, 445},
        {IdPreviewScrollH, 20, 465, 338, 11},
        {IdReadout4, 149, 2, 42, 16},
        {IdTopSwatch, 192, 1, 18, 18},
        {IdHueReadout, 224, 2, 48, 16},
        {IdIntensityReadout, 316, 2, 42, 16},
        {IdZoomCaption, 89, 490, 43, 16},
        {IdZoomValue, 133, 490, 45, 16},
        {IdZoomArrows, 180, 486, 13, 24},
        {IdZoom100, 220, 488, 50, 17},
        {IdZoomFit, 280, 488, 50, 17},
        {IdPreviewGroup, 104, 515, 180, 85},
        {IdOperationResult, 114, 538, 110, 16},
        {IdOverlayColor, 114, 558, 110, 16},
        {IdOverlaySwatch, 164, 558, 45, 35},
        {IdStatusText, 137, 605, 120, 16},
        {IdProgressBar, 137, 623, 110, 12},
        {IdOperationGroup, 382, 15, 140, 222},
        {IdOperationList, 392, 37, 120, 100},
        {IdAmountSlider, 392, 77, 120, 16},
        {IdAmountMore, 484, 95, 35, 16},
        {IdChannel4, 412, 215, 100, 16},
        {IdSelectionGroup, 382, 242, 140, 215},
        {IdEdgesOnly, 392, 280, 120, 16},
        {IdOpacityCaption, 392, 302, 110, 16},
        {IdOpacityPlus, 502, 336, 12, 16},
        {IdContractSlider, 392, 368, 120, 16},
        {IdFalloffMax, 487, 436, 30, 16},
        {IdSettingsGroup, 382, 462, 140, 130},
        {IdSnapshot1 + 4, 492, 496, 20, 20},
        {IdQuickCurvesList, 392, 540, 120, 100},
        {IdSave, 457, 566, 55, 17},
        {IdOk, 402, 602, 100, 20},
        {IdCancel, 402, 630, 100, 20},
        {curveRowId(0, CurveCaption), 560, 20, 75, 16},
        {curveRowId(0, CurveYReadout), 715, 20, 55, 16},
        {curveRowId(0, CurveReset), 851, 17, 50, 17},
        {curveRowId(0, CurveSample), 776, 17, 65, 16},
        {curveRowId(0, CurvePane), 560, 42, 341, 159},
        {curveRowId(1, CurveReset), 851, 238, 50, 17},
        {curveRowId(1, CurvePane), 560, 266, 341, 159},
        {curveRowId(2, CurveCaption), 560, 465, 75, 16},
        {curveRowId(2, CurvePane), 560, 490, 341, 159},
    };
    const std::vector<LayoutEntry> layout = mainDialogLayout(mainDialogGeometry(1024, 768));
    for (const Case& c : cases) {
        LayoutEntry e{};
        ASSERT_TRUE(findLayoutEntry(layout, c.id, e)) << c.id;
        EXPECT_EQ(e.x, c.x) << c.id;
        EXPECT_EQ(e.y, c.y) << c.id;
        EXPECT_EQ(e.width, c.w) << c.id;
        EXPECT_EQ(e.height, c.h) << c.id;
    }
}

TEST(MainDialogLayout, EveryControlOnceAndInsideTheClientArea) {
    for (auto screen : {std::pair{1024, 768}, {1280, 1024}, {1920, 1080}, {800, 600}}) {
        const MainDialogGeometry g = mainDialogGeometry(screen.first, screen.second);
        const std::vector<LayoutEntry> layout = mainDialogLayout(g);
        EXPECT_EQ(layout.size(), 87u);
        for (size_t i = 0; i < layout.size(); ++i) {
            const LayoutEntry& e = layout[i];
            const WindowBox w = expectedWindowBox(e);
            EXPECT_GE(e.x, 0) << e.id;
            EXPECT_GE(e.y, 0) << e.id;
            EXPECT_LE(w.x + std::max(w.width, e.width), g.width) << e.id;
            EXPECT_LE(w.y + (w.height < 0 || e.kind == LayoutKind::List ? 24 : w.height), g.height) << e.id;
            for (size_t j = 0; j < i; ++j) EXPECT_NE(layout[j].id, e.id);
        }
    }
}

TEST(PreviewPlacement, ZoomTables) {
    struct Case {
        double fit;
        int32_t last;
        double second;
        int32_t indexOfOne;
    };
    const Case cases[] = {
        {1.0, 4, 2, 0},     // an image smaller than the pane: 1, 2, 4, 8, 16
        {0.2, 7, 0.25, 3},  // 0.2, 0.25, 0.5, 1, ...
        {0.25, 6, 0.5, 2},  // a fit of exactly 1/4 is not repeated
        {0.01, 9, 1.0 / 16, 5},
    };
    for (const Case& c : cases) {
        const ZoomTable t = makeZoomTable(c.fit);
        EXPECT_EQ(t.factors[0], c.fit);
        EXPECT_EQ(t.lastIndex, c.last) << c.fit;
        EXPECT_EQ(t.factors[1], c.second) << c.fit;
        EXPECT_EQ(t.factors[t.lastIndex], 16);
        EXPECT_EQ(zoomIndexOfOne(t), c.indexOfOne) << c.fit;
        for (int32_t i = 1; i <= t.lastIndex; ++i) EXPECT_GT(t.factors[i], t.factors[i - 1]);
    }
    EXPECT_DOUBLE_EQ(fitFactor(338, 445, 6000, 4000), 338.0 / 6000);
    EXPECT_DOUBLE_EQ(fitFactor(338, 445, 200, 100), 1.0);
    EXPECT_DOUBLE_EQ(fitFactor(338, 445, 300, 890), 0.5);
}

TEST(PreviewPlacement, Views) {
    // A large image at the fit factor: the whole width, centred vertically.
    const double fit = fitFactor(338, 445, 6000, 4000);
    PreviewView v = initialView(338, 445, 6000, 4000, fit);
    EXPECT_EQ(v.part.left, 0);
    EXPECT_EQ(v.part.right, 6000);
    EXPECT_EQ(v.part.top, 0);
    EXPECT_EQ(v.part.bottom, 4000);
    EXPECT_EQ(v.horizontal.page, 6000);
    EXPECT_EQ(v.horizontal.maximum, 0);
    EXPECT_EQ(v.vertical.page, 7899);  // 445 / fit, rounded
    EXPECT_EQ(v.vertical.maximum, 0);  // negative end raised to 0

    // A small image: the part is the whole image.
    v = initialView(338, 445, 200, 100, 1.0);
    EXPECT_EQ(v.part.left, 0);
    EXPECT_EQ(v.part.right, 200);
    EXPECT_EQ(v.part.bottom, 100);

    // Zooming to 1 around the centre of the whole image, and at the edges.
    v = zoomedView({0, 0, 4000, 6000}, 338, 445, 6000, 4000, 1.0);
    EXPECT_EQ(v.part.left, 2831);  // 3000 - 169
    EXPECT_EQ(v.part.right, 3169);
    EXPECT_EQ(v.part.top, 1778);  // round(2000 - 222.5)
    EXPECT_EQ(v.part.bottom, 2223);
    EXPECT_EQ(v.horizontal.maximum, 6000 - 338);
    EXPECT_EQ(v.horizontal.position, 2831);
    v = zoomedView({3900, 5900, 4000, 6000}, 338, 445, 6000, 4000, 2.0);
    EXPECT_EQ(v.part.right, 6000);
    EXPECT_EQ(v.part.left, 6000 - 169);
    EXPECT_EQ(v.part.bottom, 4000);
    EXPECT_EQ(v.part.top, 4000 - 223);  // round(222.5)
    v = zoomedView({0, 0, 10, 10}, 338, 445, 6000, 4000, 2.0);
    EXPECT_EQ(v.part.left, 0);
    EXPECT_EQ(v.part.top, 0);
}

TEST(PreviewPlacement, PanningFollowsTheCursorInsideTheImage) {
    // 200 % of a 6000 x 4000 image in a 338 x 445 pane: 169 x 223 shown.
    PreviewView start;
    start.part = {1000, 2000, 1223, 2169};
    struct Case {
        int32_t dx, dy;
        ImagePart want;
    } cases[] = {
        {0, 0, {1000, 2000, 1223, 2169}},
        {21, -9, {996, 2010, 1219, 2179}},           // trunc(10.5) right, trunc(-4.5) up
        {-5000, 0, {1000, 0, 1223, 169}},            // held at the left edge
        {100000, 100000, {3777, 5831, 4000, 6000}},  // and at the bottom right
        {-1, -1, {1000, 2000, 1223, 2169}},          // less than one image pixel
    };
    for (const Case& c : cases) {
        const PreviewView v = pannedView(start, c.dx, c.dy, 2.0, 6000, 4000);
        EXPECT_TRUE(v.part.top == c.want.top && v.part.left == c.want.left && v.part.bottom == c.want.bottom &&
                    v.part.right == c.want.right)
            << c.dx << "," << c.dy << ": " << v.part.top << " " << v.part.left;
        EXPECT_EQ(v.horizontal.position, v.part.left);
        EXPECT_EQ(v.vertical.position, v.part.top);
    }
    // A part wider than the image does not move.
    start.part = {0, 0, 121, 173};
    EXPECT_EQ(pannedView(start, 50, 50, 1.0, 173, 121).part.left, 0);
}

TEST(MainControlValues, BlockRoundTrips) {
    struct Case {
        int32_t opacity, contract, opacityPos, contractPos, opacityBack, contractBack;
    };
    const Case cases[] = {
        {100, 0, 10, 10, 100, 0}, {0, -100, 0, 0, 0, -100},    {200, 100, 20, 20, 200, 100},
        {55, 15, 5, 11, 50, 10},  {199, -15, 19, 8, 190, -20}, {10, 5, 1, 10, 10, 0},
    };
    for (const Case& c : cases) {
        FilterParameters p;
        p.setDefaults();
        p.opacity = c.opacity;
        p.contractExpand = c.contract;
        const MainControlValues v = controlValuesFor(p);
        EXPECT_EQ(v.opacity, c.opacityPos) << c.opacity;
        EXPECT_EQ(v.contractExpand, c.contractPos) << c.contract;
        FilterParameters back;
        back.setDefaults();
        back.sampleFlags[1] = 7;
        storeControlValues(v, back);
        EXPECT_EQ(back.opacity, c.opacityBack);
        EXPECT_EQ(back.contractExpand, c.contractBack);
        EXPECT_EQ(back.sampleFlags[1], 7);  // sample flags are not read back
        EXPECT_EQ(falloffEnabled(v.contractExpand), c.contractBack != 0);
    }
    FilterParameters p;
    p.setDefaults();
    p.showResult = 0;
    p.overlayColor[1] = 0x1234;
    p.operation = Operation::Soften;
    p.amount = 77;
    p.colorSpace = ColorSpace::Yuv;
    p.channelEnabled[1] = 0;
    p.selectionSource = SelectionSource::EdgesOnly;
    p.falloff = 42;
    FilterParameters q;
    q.setDefaults();
    storeControlValues(controlValuesFor(p), q);
    std::vector<uint8_t> a(kFilterParametersSize), b(kFilterParametersSize);
    writeFilterParameters(p, a.data(), a.size());
    writeFilterParameters(q, b.data(), b.size());
    EXPECT_EQ(a, b);
}

TEST(MainControlValues, ChannelBoxesPerModel) {
    struct Case {
        int32_t item;
        ImageClass imageClass;
        int32_t shown;
        const char* first;
        bool firstChecked;
        const char* fourth;
    };
    const Case cases[] = {
        {1, ImageClass::RGB, 3, "Red", true, nullptr},
        {1, ImageClass::CMYK, 4, "Cyan", true, "Black"},
        {2, ImageClass::RGB, 3, "Hue", false, nullptr},
        {3, ImageClass::CMYK, 2, "Luminance", true, nullptr},
    };
    for (const Case& c : cases) {
        ChannelBox boxes[4];
        channelBoxesFor(colorModelForItem(c.item, c.imageClass), boxes);
        EXPECT_EQ(channelsInUse(c.item, c.imageClass), c.shown);
        EXPECT_STREQ(boxes[0].label, c.first);
        EXPECT_EQ(boxes[0].checked, c.firstChecked);
        if (c.fourth)
            EXPECT_STREQ(boxes[3].label, c.fourth);
        else
            EXPECT_EQ(boxes[3].label, nullptr);
    }
}

}  // namespace
