#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/ByteCodec.h"
#include "params/FilterParameters.h"

namespace {

// Fields at their stored offsets.
ByteReader at(const std::vector<uint8_t>& b, size_t offset) {
    ByteReader r(b.data(), b.size());
    r.seek(offset);
    return r;
}

std::vector<uint8_t> encode(const FilterParameters& p) {
    std::vector<uint8_t> bytes(kFilterParametersSize, 0xEE);
    EXPECT_TRUE(writeFilterParameters(p, bytes.data(), bytes.size()));
    return bytes;
}

TEST(FilterParametersLayout, DefaultsByteByByte) {
    FilterParameters p;
    p.showDialog = 0;
    p.imageClass = ImageClass(0);
    p.setDefaults();
    std::vector<uint8_t> b = encode(p);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data()), 4), "NSXQ") << "QXSN, first character most significant";
    EXPECT_EQ(b[4], 0);  // showDialog untouched by the defaults
    EXPECT_EQ(b[5], 1);  // showResult
    EXPECT_EQ(at(b, 6).u16(), 0xCC00);
    EXPECT_EQ(at(b, 8).u16(), 0x6600);
    EXPECT_EQ(at(b, 10).u16(), 0);
    EXPECT_EQ(at(b, 12).i32(), 1);   // operation
    EXPECT_EQ(at(b, 16).i32(), 50);  // amount
    EXPECT_EQ(at(b, 20).i32(), 1);   // colour space
    EXPECT_EQ(at(b, 24).i32(), 0);   // image class untouched
    for (int i = 0; i < 4; ++i) EXPECT_EQ(at(b, 28 + 4 * i).i32(), 1);
    EXPECT_EQ(at(b, 44).i32(), 1);    // from curves
    EXPECT_EQ(at(b, 48).i32(), 100);  // opacity
    EXPECT_EQ(at(b, 52).i32(), 0);
    EXPECT_EQ(at(b, 56).i32(), 0);
    // Curves: hue, saturation, intensity records of 8,200 bytes.
    EXPECT_EQ(at(b, 60).f32(), 1.0f);              // hue slot 0
    EXPECT_EQ(at(b, 60 + 4 * 1).f32(), -1.0f);     // hue slot 1 empty
    EXPECT_EQ(at(b, 60 + 4 * 170).f32(), 1.0f);    // 60 degrees
    EXPECT_EQ(at(b, 60 + 8192).i32(), 1);          // range
    EXPECT_EQ(at(b, 60 + 8196).i32(), 1);          // kind hue
    EXPECT_EQ(at(b, 8260 + 4 * 10).f32(), 0.01f);  // saturation slot 10
    EXPECT_EQ(at(b, 8260 + 8196).i32(), 2);
    EXPECT_EQ(at(b, 16460 + 8196).i32(), 3);
    EXPECT_EQ(at(b, 16460 + 4096 + 4 * 700).f32(), 1.0f);  // intensity sample
    for (int i = 0; i < 3; ++i) EXPECT_EQ(at(b, 24660 + 4 * i).i32(), 1);
}

TEST(FilterParametersLayout, RoundTripIsByteExact) {
    std::vector<uint8_t> bytes(kFilterParametersSize);
    uint32_t seed = 12345;
    for (uint8_t& v : bytes) {
        seed = seed * 1664525u + 1013904223u;
        v = uint8_t(seed >> 24);
    }
    FilterParameters p;
    ASSERT_TRUE(readFilterParameters(bytes.data(), bytes.size(), p));
    std::vector<uint8_t> again(kFilterParametersSize);
    ASSERT_TRUE(writeFilterParameters(p, again.data(), again.size()));
    EXPECT_EQ(bytes, again) << "every byte, NaN float patterns included, survives decode and encode";
}

TEST(FilterParametersLayout, ShortBuffersAreRefused) {
    std::vector<uint8_t> bytes(kFilterParametersSize - 1);
    FilterParameters p;
    EXPECT_FALSE(readFilterParameters(bytes.data(), bytes.size(), p));
    EXPECT_FALSE(writeFilterParameters(p, bytes.data(), bytes.size()));
    EXPECT_FALSE(hasParametersSignature(bytes.data(), 3));
}

TEST(FilterParametersValidity, SignatureOnly) {
    FilterParameters p;
    p.setDefaults();
    EXPECT_TRUE(p.isValid());
    p.amount = -7;  // other fields are not examined
    EXPECT_TRUE(p.isValid());
    p.signature = 0x5158534F;
    EXPECT_FALSE(p.isValid());
}

TEST(FilterParametersCopy, KeepsTargetIdentity) {
    FilterParameters source, target;
    source.setDefaults();
    source.amount = 77;
    source.operation = Operation::Soften;
    source.curves.hue.points[5] = 0.5f;
    source.sampleFlags[1] = 0;
    source.showDialog = 1;
    source.imageClass = ImageClass::CMYK;
    target.setDefaults();
    target.signature = 0x01020304;
    target.showDialog = 0;
    target.imageClass = ImageClass::RGB;
    FilterParameters::copySettings(&source, &target);
    EXPECT_EQ(target.amount, 77);
    EXPECT_EQ(target.operation, Operation::Soften);
    EXPECT_EQ(target.curves.hue.points[5], 0.5f);
    EXPECT_EQ(target.sampleFlags[1], 0);
    EXPECT_EQ(target.signature, 0x01020304u);
    EXPECT_EQ(target.showDialog, 0);
    EXPECT_EQ(target.imageClass, ImageClass::RGB);
    FilterParameters::copySettings(nullptr, &target);  // absent source: nothing
    FilterParameters::copySettings(&source, nullptr);
    EXPECT_EQ(target.amount, 77);
}

TEST(FilterParametersCodes, ImageClassAndColorModel) {
    EXPECT_EQ(imageClassForMode(3), ImageClass::RGB);
    EXPECT_EQ(imageClassForMode(11), ImageClass::RGB);
    EXPECT_EQ(imageClassForMode(4), ImageClass::CMYK);
    EXPECT_EQ(imageClassForMode(13), ImageClass::CMYK);
    for (int16_t m : {0, 1, 2, 5, 7, 9, 10, 12, 14, 15, -1})
        EXPECT_EQ(imageClassForMode(m), ImageClass::Unsupported) << m;
    EXPECT_EQ(planesForClass(ImageClass::RGB), 3);
    EXPECT_EQ(planesForClass(ImageClass::CMYK), 4);
    EXPECT_EQ(planesForClass(ImageClass::Unsupported), 0);
    EXPECT_EQ(colorModelFor(ColorSpace::Hsi, ImageClass::CMYK), ColorModel::HSI);
    EXPECT_EQ(colorModelFor(ColorSpace::Yuv, ImageClass::RGB), ColorModel::YUV);
    EXPECT_EQ(colorModelFor(ColorSpace::ImageModel, ImageClass::CMYK), ColorModel::CMYK);
    EXPECT_EQ(colorModelFor(ColorSpace(99), ImageClass::RGB), ColorModel::RGB);
}

}  // namespace
