#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "base/ByteCodec.h"

namespace {

TEST(ByteCodec, FieldsRoundTripInTheirByteOrder) {
    std::vector<uint8_t> bytes(19, 0xEE);
    ByteWriter w(bytes.data(), bytes.size());
    w.u8(0x81);
    w.u16(0xBEEF);
    w.i32(-2);
    w.f32(-0.5f);
    w.u32MostSignificantFirst(0x3842494D);
    w.u32(0x01020304);
    ASSERT_TRUE(w.ok());
    EXPECT_EQ(w.position(), 19u);
    EXPECT_EQ(bytes[1], 0xEF) << "little-endian";
    EXPECT_EQ(bytes[11], '8') << "most significant first";
    ByteReader r(bytes.data(), bytes.size());
    EXPECT_EQ(r.u8(), 0x81);
    EXPECT_EQ(r.u16(), 0xBEEF);
    EXPECT_EQ(r.i32(), -2);
    EXPECT_EQ(r.f32(), -0.5f);
    EXPECT_EQ(r.u32MostSignificantFirst(), 0x3842494Du);
    EXPECT_EQ(r.u32(), 0x01020304u);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.remaining(), 0u);
}

// Whatever the cursor asks for past the end: 0, nothing written, failed.
TEST(ByteCodec, NeitherSideLeavesItsBlock) {
    struct Case {
        size_t size, seekTo;
        int width;  // bytes of the field read or written there
    };
    const Case cases[] = {{0, 0, 1}, {3, 0, 4}, {4, 1, 4}, {8, 7, 2}, {8, 9, 1}, {2, 2, 1}};
    for (const Case& c : cases) {
        std::vector<uint8_t> block(c.size + 8, 0x5A);
        ByteReader r(block.data(), c.size);
        r.seek(c.seekTo);
        const uint32_t v = c.width == 1 ? r.u8() : c.width == 2 ? r.u16() : r.u32();
        EXPECT_EQ(v, 0u) << c.size << "/" << c.seekTo;
        EXPECT_FALSE(r.ok());
        EXPECT_LE(r.position(), c.size);

        ByteWriter w(block.data(), c.size);
        w.seek(c.seekTo);
        if (c.width == 1)
            w.u8(1);
        else if (c.width == 2)
            w.u16(1);
        else
            w.u32(1);
        EXPECT_FALSE(w.ok());
        for (size_t i = 0; i < block.size(); ++i) ASSERT_EQ(block[i], 0x5A) << "byte " << i << " written";
    }
    ByteReader none(nullptr, 100);
    EXPECT_EQ(none.size(), 0u);
    EXPECT_EQ(none.take(1), nullptr);
}

}  // namespace
