#include <cmath>

#include "imageops/ColorModel.h"
#include "imageops/ImageBuffer.h"
#include "imageops/Mask.h"
#include "imageops/MirrorPad.h"
#include "imageops/SaturationMaskAvx2.h"
#include "tests/imageops/ImageOpsTestSupport.h"

namespace {

using ImageBuffers = HostTest;

// The mask written out plainly: each field's slot trunc(v x 1023 / 65535),
// the samples multiplied in doubles, rounded half away and clamped; over
// [topLeft, bottomRight) of hsi, the rest of mask left alone.
void plainCurveMask(OwnedBuffer& mask, const OwnedBuffer& hsi, const CurveSet& c, Point16 topLeft,
                    Point16 bottomRight) {
    const auto slot = [](uint16_t v) { return std::min(int32_t(v * (1023.0 / 65535)), 1023); };
    for (int32_t y = topLeft.v; y < bottomRight.v; ++y)
        for (int32_t x = topLeft.h; x < bottomRight.h; ++x) {
            const HsiPixel& p =
                *reinterpret_cast<const HsiPixel*>(hsi.buffer.data + (size_t(y) * hsi.buffer.width + x) * 5);
            const double w = double(c.intensity.samples[slot(p.intensity)]) *
                             double(c.saturation.samples[slot(p.saturation)]) * double(c.hue.samples[slot(p.hue)]) *
                             65535;
            *mask.at(x, y) = !(w > 0) ? 0 : w >= 65535 ? 65535 : uint16_t(roundHalfAway(w));
        }
}

TEST_F(ImageBuffers, OwnsItsBlockAndGivesItBackOnEveryPath) {
    ImageBuffer b;
    ASSERT_TRUE(b.allocate(run, 7, 3, HsiChannels));
    EXPECT_EQ(b.width, 7);
    EXPECT_EQ(b.height, 3);
    for (int i = 0; i < 7 * 3 * 5; ++i) ASSERT_EQ(b.data[i], 0);
    EXPECT_EQ(host.stats().liveBufferBytes, size_t(7 * 3 * 5 * 2));
    // Allocating again gives back what the buffer held first.
    ASSERT_TRUE(b.allocate(run, 2, 2, YuvChannels));
    EXPECT_EQ(host.stats().liveBuffers, 1u);
    // Moving hands the block over; the moved-from buffer is empty.
    ImageBuffer moved(std::move(b));
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(moved.width, 2);
    {
        ImageBuffer other;
        ASSERT_TRUE(other.allocate(run, 3, 3, MaskChannels));
        other = std::move(moved);  // gives back its own block, takes the moved one
        EXPECT_EQ(host.stats().liveBuffers, 1u);
    }
    EXPECT_EQ(host.stats().liveBuffers, 0u);
    b.release();  // an empty buffer releases nothing

    struct Refusal {
        int32_t width, height;
        size_t limit;
    };
    for (const Refusal& r :
         {Refusal{0, 5, 0}, Refusal{-3, 5, 0}, Refusal{1 << 30, 1 << 30, 0}, Refusal{100, 100, 100}}) {
        host.setBufferLimit(r.limit);
        EXPECT_FALSE(b.allocate(run, r.width, r.height, RgbChannels)) << r.width << "x" << r.height;
        EXPECT_EQ(b.data, nullptr);
        EXPECT_EQ(b.width, 0);
    }
    host.setBufferLimit(0);
}

TEST_F(ImageBuffers, WholeBufferConversions) {
    std::mt19937 rng(2);
    OwnedBuffer rgb(run, 6, 5, 3), hsi(run, 6, 5, 5), yuv(run, 6, 5, 3), back(run, 6, 5, 3), wrong(run, 5, 6, 5);
    fillRandom(rgb, rng);
    ASSERT_TRUE(rgbBufferToHsi(hsi.buffer, rgb.buffer));
    HsiPixel p;
    rgbToHsi(rgb.at(4, 3), p);
    EXPECT_EQ(reinterpret_cast<HsiPixel*>(hsi.at(4, 3))->hue, p.hue);
    EXPECT_EQ(reinterpret_cast<HsiPixel*>(hsi.at(4, 3))->intensity, p.intensity);

    ASSERT_TRUE(rgbBufferToYuv(yuv.buffer, rgb.buffer));
    ASSERT_TRUE(yuvBufferToRgb(back.buffer, yuv.buffer));
    for (size_t i = 0; i < rgb.samples(); ++i) ASSERT_LE(std::abs(back.buffer.data[i] - rgb.buffer.data[i]), 1);

    const auto before = wrong.copy();
    EXPECT_FALSE(rgbBufferToHsi(wrong.buffer, rgb.buffer));
    EXPECT_EQ(wrong.copy(), before);
    EXPECT_FALSE(yuvBufferToRgb(back.buffer, wrong.buffer));

    // CMYK paths through the host's eight-bit conversion.
    OwnedBuffer cmyk(run, 6, 5, 4), cmykBack(run, 6, 5, 4), hsiFromCmyk(run, 6, 5, 5), yuvFromCmyk(run, 6, 5, 3);
    cmyk.at(1, 1)[1] = 65280;
    ASSERT_TRUE(cmykBufferToHsi(run, hsiFromCmyk.buffer, cmyk.buffer));
    ASSERT_TRUE(cmykBufferToYuv(run, yuvFromCmyk.buffer, cmyk.buffer));
    ASSERT_TRUE(yuvBufferToCmyk(run, cmykBack.buffer, yuvFromCmyk.buffer));
    EXPECT_EQ(cmykBack.at(1, 1)[1], 65280);
    EXPECT_EQ(cmykBack.at(0, 0)[1], 0);
    EXPECT_EQ(reinterpret_cast<HsiPixel*>(hsiFromCmyk.at(1, 1))->hue, 54612);  // magenta
}

// The vector and threaded conversions give the pixel conversion's bytes:
// greys, black, white, the channel extremes and noise, at every level and
// thread count; so does the curve mask built from them, or straight from
// the RGB buffer, against the plain mask above.
TEST_F(ImageBuffers, ConversionsMatchThePixelConversionAtEveryLevelAndThreadCount) {
    std::mt19937 rng(3);
    const int32_t w = 301, h = 130;  // an odd count leaves a tail for every lane width
    OwnedBuffer rgb(run, w, h, 3), hsi(run, w, h, 5), plainHsi(run, w, h, 5), mask(run, w, h, 1),
        plainMask(run, w, h, 1);
    fillRandom(rgb, rng);
    const uint16_t corners[] = {0, 1, 32767, 32768, 65534, 65535};
    for (int32_t x = 0; x < w; ++x) {
        uint16_t* p = rgb.at(x, 0);
        p[0] = corners[x % 6], p[1] = corners[(x / 6) % 6], p[2] = corners[(x / 36) % 6];
        std::fill(rgb.at(x, 1), rgb.at(x, 1) + 3, uint16_t(x * 217));  // greys
    }
    CurveSet curves;
    for (int i = 0; i < 1024; ++i) {
        curves.hue.samples[i] = float((i * 37) % 101) / 100;
        curves.saturation.samples[i] = float(i) / 1023;
        curves.intensity.samples[i] = float((i * 11) % 1024) / 1023;
    }
    for (bool withHue : {false, true}) {
        HsiPixel* expected = reinterpret_cast<HsiPixel*>(plainHsi.buffer.data);
        for (int32_t i = 0; i < w * h; ++i)
            (withHue ? rgbToHsi : rgbToHsiWithoutHue)(rgb.buffer.data + 3 * i, expected[i]);
        plainCurveMask(plainMask, plainHsi, curves, Point16{0, 0}, Point16{int16_t(h), int16_t(w)});
        for (VectorLevel level : {VectorLevel::Plain, VectorLevel::Sse2, VectorLevel::Avx2})
            for (int threads : {1, 2, 3, 7}) {
                std::fill(hsi.buffer.data, hsi.buffer.data + hsi.samples(), uint16_t(7));
                ASSERT_TRUE(withHue ? rgbBufferToHsi(hsi.buffer, rgb.buffer, threads)
                                    : rgbBufferToHsiWithoutHue(hsi.buffer, rgb.buffer, threads, level));
                ASSERT_EQ(hsi.copy(), plainHsi.copy()) << withHue << " " << int(level) << " " << threads;
                ASSERT_TRUE(buildCurveMask(mask.buffer, hsi.buffer, curves, Point16{0, 0},
                                           Point16{int16_t(h), int16_t(w)}, threads));
                ASSERT_EQ(mask.copy(), plainMask.copy()) << threads;
                std::fill(mask.buffer.data, mask.buffer.data + mask.samples(), uint16_t(7));
                ASSERT_TRUE(buildCurveMaskFromRgb(mask.buffer, rgb.buffer, curves, Point16{0, 0},
                                                  Point16{int16_t(h), int16_t(w)}, withHue, threads, nullptr, level));
                ASSERT_EQ(mask.copy(), plainMask.copy()) << "from RGB, " << threads;
            }
    }
}

// The integer slot is the truncated double product for every value.
TEST_F(ImageBuffers, CurveIndexIsTheTruncatedDoubleProduct) {
    for (int32_t v = 0; v < 65536; ++v)
        ASSERT_EQ(maskCurveIndex(uint16_t(v)), std::min(int32_t(v * 0.01560997940032044), 1023)) << v;
}

// With flat intensity and hue curves the mask from RGB takes its weight from
// the saturation's slot alone. The pixels: every spread hi - lo from 0 to
// 65535, each with lows and middles that move the doubles' rounding; 32 more
// of each spread with an odd t = 3 (hi - lo) whose k = t / 2 and k + 1 lie
// in different slots (the full conversion decides, both ways); greys; and
// every mix of the channel extremes; in all six channel orders. At every
// level and thread count, over the whole odd-width buffer and over a
// rectangle with an odd left edge and width, the weights are those of the
// full conversion and nothing outside the rectangle is written.
TEST_F(ImageBuffers, SaturationOnlyMaskMatchesTheFullConversion) {
    std::mt19937 rng(5);
    std::vector<uint16_t> pixels;
    const auto add = [&](uint32_t lo, uint32_t mid, uint32_t hi) {
        static const int orders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
        const uint16_t v[3] = {uint16_t(lo), uint16_t(mid), uint16_t(hi)};
        const int* o = orders[rng() % 6];
        pixels.insert(pixels.end(), {v[o[0]], v[o[1]], v[o[2]]});
    };
    for (uint32_t variant = 0; variant < 6; ++variant)
        for (uint32_t spread = 0; spread < 65536; ++spread) {
            const uint32_t lo = variant % 2 ? rng() % (65536 - spread) : (variant == 2 ? 65535 - spread : 0);
            add(lo, lo + (variant < 3 ? spread / 2 : rng() % (spread + 1)), lo + spread);
        }
    int roundedDown = 0, roundedUp = 0;  // ambiguous pixels whose conversion gave k, k + 1
    for (uint32_t spread = 1; spread < 43690; spread += 2) {
        const uint32_t k = 3 * spread / 2;
        if (maskCurveIndex(uint16_t(k)) == maskCurveIndex(uint16_t(k + 1))) continue;
        for (int n = 0; n < 32; ++n) {
            const uint32_t lo = rng() % (65536 - spread);
            add(lo, lo + rng() % (spread + 1), lo + spread);
            HsiPixel exact;
            rgbToHsiWithoutHue(&pixels[pixels.size() - 3], exact);
            roundedDown += exact.saturation == k;
            roundedUp += exact.saturation == k + 1;
        }
    }
    EXPECT_GT(roundedDown, 1000);
    EXPECT_GT(roundedUp, 1000);
    for (int n = 0; n < 4096; ++n) add(n * 16, n * 16, n * 16);
    const uint16_t extremes[] = {0, 1, 32767, 32768, 65534, 65535};
    for (uint16_t a : extremes)
        for (uint16_t b : extremes)
            for (uint16_t c : extremes) pixels.insert(pixels.end(), {a, b, c});

    const int32_t w = 1021, h = int32_t((pixels.size() / 3 + w - 1) / w);
    OwnedBuffer rgb(run, w, h, 3), hsi(run, w, h, 5), plainMask(run, w, h, 1), mask(run, w, h, 1);
    fillRandom(rgb, rng);
    std::copy(pixels.begin(), pixels.end(), rgb.buffer.data);
    for (int32_t i = 0; i < w * h; ++i)
        rgbToHsiWithoutHue(rgb.buffer.data + 3 * i, reinterpret_cast<HsiPixel*>(hsi.buffer.data)[i]);
    struct Area {
        Point16 topLeft, bottomRight;
    };
    const Area areas[] = {{{0, 0}, {int16_t(h), int16_t(w)}}, {{3, 5}, {int16_t(h - 2), int16_t(w - 7)}}};
    // Curves: 0 hue varying, 1 flat hue, 2 flat hue with damaged saturation
    // samples (NaN, infinite, negative, above 1) that the clamp must catch.
    const float damaged[] = {std::nanf(""), INFINITY, -INFINITY, -0.5f, 3.0f};
    for (int variant : {0, 1, 2}) {
        const bool flatHue = variant > 0;
        CurveSet curves;
        for (int i = 0; i < 1024; ++i) {
            curves.hue.samples[i] = flatHue ? 0.75f : float(i % 7) / 6;
            curves.saturation.samples[i] = float((i * 389) % 1024) / 1023;  // a new weight in every slot
            if (variant == 2 && i % 3 == 0) curves.saturation.samples[i] = damaged[i / 3 % 5];
            curves.intensity.samples[i] = 0.9f;
        }
        for (const Area& a : areas) {
            std::fill(plainMask.buffer.data, plainMask.buffer.data + plainMask.samples(), uint16_t(7));
            plainCurveMask(plainMask, hsi, curves, a.topLeft, a.bottomRight);
            for (VectorLevel level : {VectorLevel::Plain, VectorLevel::Sse2, VectorLevel::Avx2})
                for (int threads : {1, 2, 3, 7}) {
                    std::fill(mask.buffer.data, mask.buffer.data + mask.samples(), uint16_t(7));
                    ASSERT_TRUE(buildCurveMaskFromRgb(mask.buffer, rgb.buffer, curves, a.topLeft, a.bottomRight,
                                                      flatHue, threads, nullptr, level));
                    ASSERT_EQ(mask.copy(), plainMask.copy())
                        << variant << " " << a.topLeft.h << " " << int(level) << " " << threads;
                }
        }
    }
}

// The fields the vector mask makes for itself: for every channel sum (split
// at random), the intensity of the full conversion, hue 0 and a saturation
// in the full conversion's slot.
TEST_F(ImageBuffers, MaskFieldsMatchTheConversionInTheirSlots) {
    std::mt19937 rng(13);
    std::vector<uint16_t> rgb;
    // One channel of the sum, leaving what the channels still to come can hold.
    const auto share = [&](int32_t sum, int32_t others) {
        const int32_t lo = std::max(0, sum - 65535 * others), hi = std::min(sum, 65535);
        return lo + int32_t(rng() % uint32_t(hi - lo + 1));
    };
    for (int32_t sum = 0; sum <= 3 * 65535; ++sum) {
        const int32_t r = share(sum, 2), g = share(sum - r, 1);
        rgb.insert(rgb.end(), {uint16_t(r), uint16_t(g), uint16_t(sum - r - g)});
    }
    const size_t n = rgb.size() / 3;
    std::vector<HsiPixel> fields(n), exact(n);
    const size_t done = maskFieldsAvx2(rgb.data(), fields.data(), n);
    EXPECT_EQ(done, widestVectorLevel() == VectorLevel::Avx2 ? n / 16 * 16 : 0);
    for (size_t i = 0; i < done; ++i) {
        rgbToHsiWithoutHue(&rgb[3 * i], exact[i]);
        ASSERT_EQ(fields[i].intensity, exact[i].intensity) << i;
        ASSERT_EQ(fields[i].hue, 0) << i;
        ASSERT_EQ(maskCurveIndex(fields[i].saturation), maskCurveIndex(exact[i].saturation)) << i;
    }
}

// The mask from RGB with a hue curve gives each hue slot its own weight;
// pixels whose hue, before rounding, lies within 0.02 units of a rounding
// edge between two slots (found by sweeping red for fixed green and blue)
// get the weight of the full conversion at every level and thread count.
TEST_F(ImageBuffers, HuesAtSlotEdgesMatchTheFullConversion) {
    std::mt19937 rng(11);
    std::vector<uint16_t> pixels;
    while (pixels.size() < 3 * 2048) {
        const int32_t g = int32_t(rng() % 65536), b = int32_t(rng() % 65536);
        if (std::abs(g - b) < 20000) continue;  // wide steps of x would skip edges
        for (int32_t r = 0; r < 65536; ++r) {
            // rgbToHsi's hue, before rounding, in sixteen-bit units.
            const double rd = r / 65535.0, gd = g / 65535.0, bd = b / 65535.0;
            const double x = ((2 * rd - gd - bd) / (gd - bd)) / std::sqrt(3.0);
            double hue = (90 - (x == 0 ? 0.0 : std::atan(x) * 57.295779512896175)) + (gd < bd ? 180.0 : 0.0);
            hue = hue > 360 ? hue - 360 : hue < 0 ? hue + 360 : hue;
            const double units = hue * 182.04166666666669;
            const double edge = std::floor(units);  // rounding flips edge to edge + 1 at edge + 0.5
            if (std::fabs(units - edge - 0.5) < 0.02 &&
                maskCurveIndex(uint16_t(edge)) != maskCurveIndex(uint16_t(edge + 1)))
                pixels.insert(pixels.end(), {uint16_t(r), uint16_t(g), uint16_t(b)});
        }
    }
    const int32_t w = 251, h = int32_t(pixels.size() / 3 / w);
    OwnedBuffer rgb(run, w, h, 3), hsi(run, w, h, 5), plainMask(run, w, h, 1), mask(run, w, h, 1);
    std::copy(pixels.begin(), pixels.begin() + 3 * w * h, rgb.buffer.data);
    for (int32_t i = 0; i < w * h; ++i)
        rgbToHsi(rgb.buffer.data + 3 * i, reinterpret_cast<HsiPixel*>(hsi.buffer.data)[i]);
    CurveSet curves;
    for (int i = 0; i < 1024; ++i) {
        curves.hue.samples[i] = float((i * 389) % 1024) / 1023;
        curves.saturation.samples[i] = curves.intensity.samples[i] = 1.0f;
    }
    const Point16 end{int16_t(h), int16_t(w)};
    plainCurveMask(plainMask, hsi, curves, Point16{0, 0}, end);
    for (VectorLevel level : {VectorLevel::Plain, VectorLevel::Sse2, VectorLevel::Avx2})
        for (int threads : {1, 3}) {
            ASSERT_TRUE(buildCurveMaskFromRgb(mask.buffer, rgb.buffer, curves, Point16{0, 0}, end, true, threads,
                                              nullptr, level));
            ASSERT_EQ(mask.copy(), plainMask.copy()) << int(level) << " " << threads;
        }
}

// Every margin pixel equals the fetched pixel that mirroring its position
// reaches, for margins narrower and wider than the block and every channel
// count the engine pads.
TEST_F(ImageBuffers, MirrorPadFillsEveryMarginFromTheMirroredPosition) {
    struct Case {
        int channels;
        int32_t fetchedWidth, fetchedHeight;
        MissingMargins m;
    };
    const Case cases[] = {
        {3, 2, 2, {2, 2, 2, 2}},  // margins as wide as the block
        {4, 5, 3, {2, 0, 1, 2}},  // some sides fetched
        {5, 3, 2, {0, 7, 5, 0}},  // wider than the block: folds back and forth
        {1, 1, 1, {3, 3, 3, 3}},  // a single pixel fills everything
    };
    std::mt19937 rng(4);
    for (const Case& c : cases) {
        const MissingMargins& m = c.m;
        OwnedBuffer b(run, m.left + c.fetchedWidth + m.right, m.top + c.fetchedHeight + m.bottom, c.channels);
        fillRandom(b, rng);
        const auto before = b.copy();
        ASSERT_TRUE(mirrorPad(b.buffer, c.channels, c.fetchedWidth, c.fetchedHeight, m));
        for (int32_t y = 0; y < b.buffer.height; ++y)
            for (int32_t x = 0; x < b.buffer.width; ++x) {
                const int32_t sx = m.left + mirrorIndex(x - m.left, c.fetchedWidth);
                const int32_t sy = m.top + mirrorIndex(y - m.top, c.fetchedHeight);
                for (int k = 0; k < c.channels; ++k)
                    ASSERT_EQ(b.at(x, y)[k], before[(size_t(sy) * b.buffer.width + sx) * c.channels + k])
                        << c.channels << " channels at " << x << "," << y;
            }
    }
    OwnedBuffer small(run, 4, 4, 3);
    EXPECT_FALSE(mirrorPad(small.buffer, 3, 3, 3, MissingMargins{2, 0, 0, 0}));  // does not fit
    EXPECT_FALSE(mirrorPad(small.buffer, 3, 2, 2, MissingMargins{-1, 0, 0, 0}));
    EXPECT_FALSE(mirrorPad(small.buffer, 3, 0, 2, MissingMargins{}));
}

TEST_F(ImageBuffers, CopyHsiRectClampsToBothBuffers) {
    std::mt19937 rng(5);
    OwnedBuffer src(run, 8, 6, 5), dst(run, 5, 5, 5);
    fillRandom(src, rng);
    EXPECT_FALSE(copyHsiRect(dst.buffer, src.buffer, 0, 0, 0, 3, 0, 0));
    // A negative srcX starts at column 0 with the full width.
    ASSERT_TRUE(copyHsiRect(dst.buffer, src.buffer, -3, 1, 4, 2, 1, 0));
    for (int32_t j = 0; j < 2; ++j)
        for (int32_t i = 0; i < 4; ++i)
            for (int c = 0; c < 5; ++c) ASSERT_EQ(dst.at(1 + i, j)[c], src.at(i, 1 + j)[c]);
    EXPECT_EQ(dst.at(0, 0)[0], 0);
    // Cut at the destination's and the source's edges.
    ASSERT_TRUE(copyHsiRect(dst.buffer, src.buffer, 6, 4, 10, 10, 3, 3));
    EXPECT_EQ(dst.at(4, 4)[2], src.at(7, 5)[2]);
    EXPECT_TRUE(copyHsiRect(dst.buffer, src.buffer, 20, 20, 3, 3, 0, 0));  // nothing left to copy
}

}  // namespace
