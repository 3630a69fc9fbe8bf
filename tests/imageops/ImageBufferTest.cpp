#include "imageops/ColorModel.h"
#include "imageops/ImageBuffer.h"
#include "imageops/Mask.h"
#include "tests/imageops/ImageOpsTestSupport.h"

namespace {

using ImageBuffers = HostTest;

Point16 pt(int v, int h) { return Point16{int16_t(v), int16_t(h)}; }

TEST_F(ImageBuffers, AllocationIsZeroFilledAndGivenBack) {
    ImageBuffer b;
    ASSERT_TRUE(allocateHsi(b, 7, 3));
    EXPECT_EQ(b.width, 7);
    EXPECT_EQ(b.height, 3);
    for (int i = 0; i < 7 * 3 * 5; ++i) ASSERT_EQ(b.data[i], 0);
    EXPECT_EQ(host.stats().liveBufferBytes, size_t(7 * 3 * 5 * 2));
    // The YUV variant gives back what the descriptor held before.
    ASSERT_TRUE(allocateYuv(b, 2, 2));
    EXPECT_EQ(host.stats().liveBuffers, 1u);
    release(b);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.width, 0);
    release(b);  // twice is harmless

    EXPECT_FALSE(allocateMask(b, 0, 5));
    EXPECT_FALSE(allocateRgb(b, -3, 5));
    EXPECT_FALSE(allocateCmyk(b, 1 << 30, 1 << 30));
    host.setBufferLimit(100);
    EXPECT_FALSE(allocateRgb(b, 100, 100));
    EXPECT_EQ(b.data, nullptr);
    host.setBufferLimit(0);
}

TEST_F(ImageBuffers, WholeBufferConversions) {
    std::mt19937 rng(2);
    OwnedBuffer rgb(6, 5, 3), hsi(6, 5, 5), yuv(6, 5, 3), back(6, 5, 3), wrong(5, 6, 5);
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
    OwnedBuffer cmyk(6, 5, 4), cmykBack(6, 5, 4), hsiFromCmyk(6, 5, 5), yuvFromCmyk(6, 5, 3);
    cmyk.at(1, 1)[1] = 65280;
    ASSERT_TRUE(cmykBufferToHsi(hsiFromCmyk.buffer, cmyk.buffer));
    ASSERT_TRUE(cmykBufferToYuv(yuvFromCmyk.buffer, cmyk.buffer));
    ASSERT_TRUE(yuvBufferToCmyk(cmykBack.buffer, yuvFromCmyk.buffer));
    EXPECT_EQ(cmykBack.at(1, 1)[1], 65280);
    EXPECT_EQ(cmykBack.at(0, 0)[1], 0);
    EXPECT_EQ(reinterpret_cast<HsiPixel*>(hsiFromCmyk.at(1, 1))->hue, 54612);  // magenta
}

// The vector and threaded conversions give the pixel conversion's bytes:
// greys, black, white, the channel extremes and noise, at every level and
// thread count; so does the curve mask built from them.
TEST_F(ImageBuffers, ConversionsMatchThePixelConversionAtEveryLevelAndThreadCount) {
    std::mt19937 rng(3);
    const int32_t w = 301, h = 130;  // an odd count leaves a tail for every lane width
    OwnedBuffer rgb(w, h, 3), hsi(w, h, 5), plainHsi(w, h, 5), mask(w, h, 1), plainMask(w, h, 1);
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
        ASSERT_TRUE(buildCurveMask(plainMask.buffer, plainHsi.buffer, curves, pt(0, 0), pt(h, w)));
        for (VectorLevel level : {VectorLevel::Plain, VectorLevel::Sse2, VectorLevel::Avx2})
            for (int threads : {1, 2, 3, 7}) {
                std::fill(hsi.buffer.data, hsi.buffer.data + hsi.samples(), uint16_t(7));
                ASSERT_TRUE(withHue ? rgbBufferToHsi(hsi.buffer, rgb.buffer, threads)
                                    : rgbBufferToHsiWithoutHue(hsi.buffer, rgb.buffer, threads, level));
                ASSERT_EQ(hsi.copy(), plainHsi.copy()) << withHue << " " << int(level) << " " << threads;
                ASSERT_TRUE(buildCurveMask(mask.buffer, hsi.buffer, curves, pt(0, 0), pt(h, w), threads));
                ASSERT_EQ(mask.copy(), plainMask.copy()) << threads;
            }
    }
}

TEST_F(ImageBuffers, MirrorPadSkipsTheEdgePixel) {
    OwnedBuffer b(6, 6, 3);
    for (int32_t y = 2; y < 4; ++y)
        for (int32_t x = 2; x < 4; ++x) b.at(x, y)[0] = uint16_t(10 * y + x);
    ASSERT_TRUE(mirrorPad3(b.buffer, pt(2, 2), pt(4, 4)));
    for (int32_t y = 0; y < 6; ++y) {
        const int32_t sy = y < 2 ? 3 - y : (y >= 4 ? 7 - y : y);
        for (int32_t x = 0; x < 6; ++x) {
            const int32_t sx = x < 2 ? 3 - x : (x >= 4 ? 7 - x : x);
            ASSERT_EQ(b.at(x, y)[0], 10 * sy + sx) << x << "," << y;
        }
    }
}

TEST_F(ImageBuffers, MirrorPadOfFourAndFiveChannels) {
    std::mt19937 rng(4);
    for (int channels : {4, 5}) {
        OwnedBuffer b(9, 7, channels);
        fillRandom(b, rng);
        // Margins of 1 row, 2 columns; the bottom margin is 2 rows.
        ASSERT_TRUE(channels == 4 ? mirrorPad4(b.buffer, pt(1, 2), pt(5, 7))
                                  : mirrorPad5(b.buffer, pt(1, 2), pt(5, 7)));
        for (int c = 0; c < channels; ++c) {
            EXPECT_EQ(b.at(0, 3)[c], b.at(3, 3)[c]);
            EXPECT_EQ(b.at(8, 3)[c], b.at(5, 3)[c]);
            EXPECT_EQ(b.at(4, 0)[c], b.at(4, 1)[c]);
            EXPECT_EQ(b.at(4, 6)[c], b.at(4, 3)[c]);
            EXPECT_EQ(b.at(0, 0)[c], b.at(3, 1)[c]);  // corners both ways
        }
    }
}

TEST_F(ImageBuffers, MirrorPadRefusesWhatItCannotMirror) {
    OwnedBuffer b(6, 6, 3);
    EXPECT_FALSE(mirrorPad3(b.buffer, pt(-1, 2), pt(4, 4)));
    EXPECT_FALSE(mirrorPad3(b.buffer, pt(2, 2), pt(4, 7)));
    EXPECT_FALSE(mirrorPad3(b.buffer, pt(2, 4), pt(4, 4)));  // 4 columns mirror from beyond the buffer
    EXPECT_FALSE(mirrorPad3(b.buffer, pt(2, 2), pt(1, 4)));  // bottom margin of 5 rows
    EXPECT_TRUE(mirrorPad3(b.buffer, pt(0, 0), pt(6, 6)));
}

TEST_F(ImageBuffers, CopyHsiRectClampsToBothBuffers) {
    std::mt19937 rng(5);
    OwnedBuffer src(8, 6, 5), dst(5, 5, 5);
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
