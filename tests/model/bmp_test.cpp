// Decoding skin pictures: the formats skins use, and files that lie about themselves.
#include "model/bmp.h"
#include "support/files.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

using test::Bytes;

// File header and a 40-byte info header; the caller appends palette and pixels.
Bytes InfoHeader(int32_t width, int32_t height, uint16_t bpp, uint32_t compression,
                 uint32_t pixelOffset, uint32_t colours = 0) {
    Bytes b;
    b.Text("BM").I32(0).I32(0).I32(static_cast<int32_t>(pixelOffset));
    b.I32(40).I32(width).I32(height).U16(1).U16(bpp).I32(static_cast<int32_t>(compression));
    b.I32(0).I32(0).I32(0).I32(static_cast<int32_t>(colours)).I32(0);
    return b;
}

TEST(BmpDecode, TwentyFourBitRowsAreStoredBottomUpWithPadding) {
    // 3 x 2 picture: pixel (x, y) = 0x10 * x + y in red.
    const std::vector<uint8_t> file = test::MakeBmp24(3, 2, [](int32_t x, int32_t y) {
        return static_cast<uint32_t>(0x10 * x + y) << 16 | 0x0201;
    });
    const std::optional<Bitmap> bmp = DecodeBmp(file);
    ASSERT_TRUE(bmp);
    EXPECT_EQ(bmp->width, 3);
    EXPECT_EQ(bmp->height, 2);
    EXPECT_EQ(bmp->At(0, 0), 0xFF000201u);
    EXPECT_EQ(bmp->At(2, 1), 0xFF210201u);
}

TEST(BmpDecode, ANegativeHeightMeansTopDownRows) {
    Bytes b = InfoHeader(1, -2, 24, 0, 54);
    b.U8(0).U8(0).U8(0xAA).Zeros(1); // first row stored is the top
    b.U8(0).U8(0).U8(0xBB).Zeros(1);
    const std::optional<Bitmap> bmp = DecodeBmp(b.data);
    ASSERT_TRUE(bmp);
    EXPECT_EQ(bmp->At(0, 0), 0xFFAA0000u);
    EXPECT_EQ(bmp->At(0, 1), 0xFFBB0000u);
}

TEST(BmpDecode, PaletteIndicesBeyondThePaletteReadAsBlack) {
    Bytes b = InfoHeader(4, 1, 8, 0, 54 + 2 * 4, 2);
    b.U8(0x30).U8(0x20).U8(0x10).U8(0); // colour 0
    b.U8(0xFF).U8(0xFF).U8(0xFF).U8(0); // colour 1
    b.U8(1).U8(0).U8(200).U8(1);
    const std::optional<Bitmap> bmp = DecodeBmp(b.data);
    ASSERT_TRUE(bmp);
    EXPECT_EQ(bmp->At(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(bmp->At(1, 0), 0xFF102030u);
    EXPECT_EQ(bmp->At(2, 0), 0xFF000000u);
}

TEST(BmpDecode, OneBitPixelsAreReadFromTheHighBitFirst) {
    Bytes b = InfoHeader(10, 1, 1, 0, 54 + 8);
    b.I32(0).U8(0xFF).U8(0xFF).U8(0xFF).U8(0);
    b.U8(0b10100000).U8(0b01000000).Zeros(2);
    const std::optional<Bitmap> bmp = DecodeBmp(b.data);
    ASSERT_TRUE(bmp);
    EXPECT_EQ(bmp->At(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(bmp->At(1, 0), 0xFF000000u);
    EXPECT_EQ(bmp->At(2, 0), 0xFFFFFFFFu);
    EXPECT_EQ(bmp->At(9, 0), 0xFFFFFFFFu);
}

TEST(BmpDecode, BitFieldMasksGiveSixteenAndThirtyTwoBitChannels) {
    Bytes b16 = InfoHeader(1, 1, 16, 3, 54 + 12);
    b16.I32(0xF800).I32(0x07E0).I32(0x001F);
    b16.U16(0xF81F).Zeros(2); // red and blue full, green none (565)
    const std::optional<Bitmap> p16 = DecodeBmp(b16.data);
    ASSERT_TRUE(p16);
    EXPECT_EQ(p16->At(0, 0), 0xFFFF00FFu);

    Bytes b32;
    b32.Text("BM").I32(0).I32(0).I32(14 + 56);
    b32.I32(56).I32(1).I32(1).U16(1).U16(32).I32(3).I32(0).I32(0).I32(0).I32(0).I32(0);
    b32.I32(0x000000FF).I32(0x0000FF00).I32(0x00FF0000).I32(static_cast<int32_t>(0xFF000000u));
    b32.U8(0x11).U8(0x22).U8(0x33).U8(0x80);
    const std::optional<Bitmap> p32 = DecodeBmp(b32.data);
    ASSERT_TRUE(p32);
    EXPECT_EQ(p32->At(0, 0), 0x80112233u);
}

TEST(BmpDecode, DamagedOrUnsupportedFilesAreRefused) {
    const std::vector<uint8_t> good = test::MakeBmp24(4, 4, [](int32_t, int32_t) { return 0u; });
    std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
    EXPECT_FALSE(DecodeBmp(truncated));
    EXPECT_FALSE(DecodeBmp(std::vector<uint8_t>{'B', 'M'}));
    EXPECT_FALSE(DecodeBmp(InfoHeader(0, 4, 24, 0, 54).data));
    EXPECT_FALSE(DecodeBmp(InfoHeader(4, 4, 8, 1, 54).Zeros(64).data)); // RLE8
    EXPECT_FALSE(DecodeBmp(InfoHeader(4, 4, 7, 0, 54).Zeros(64).data));
    EXPECT_FALSE(DecodeBmp(InfoHeader(1 << 30, 1 << 30, 24, 0, 54).data));
    EXPECT_FALSE(DecodeBmp(InfoHeader(4, INT32_MIN, 24, 0, 54).data));
    EXPECT_FALSE(
        DecodeBmp(InfoHeader(4, 4, 24, 0, 0xFFFFFFF0u).Zeros(64).data)); // pixels past the end
    Bytes lying = InfoHeader(4, 4, 24, 0, 54);
    lying.data[14] = 0xF0; // header size beyond the file
    EXPECT_FALSE(DecodeBmp(lying.data));
}

} // namespace
} // namespace tw
