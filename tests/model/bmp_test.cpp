// Decoding skin pictures: the formats skins use, and files that lie about themselves.
#include "model/bmp.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <vector>

namespace tw {
namespace {

using test::Bytes;

// File header and a 40-byte info header; the caller appends palette and pixels.
Bytes Info(int32_t width, int32_t height, uint16_t bpp, int32_t compression, uint32_t offset,
           int32_t colours = 0) {
    Bytes b;
    b.Text("BM").I32s({0, 0, static_cast<int32_t>(offset), 40, width, height}).U16(1).U16(bpp);
    return std::move(b.I32s({compression, 0, 0, 0, colours, 0}));
}

TEST(BmpDecode, EachSupportedFormatGivesItsPixelsAsArgb) {
    // 32-bit with bit fields has a 56-byte header holding the alpha mask.
    Bytes b32;
    b32.Text("BM").I32s({0, 0, 14 + 56, 56, 1, 1}).U16(1).U16(32).I32s({3, 0, 0, 0, 0, 0});
    b32.I32s({0xFF, 0xFF00, 0xFF0000, static_cast<int32_t>(0xFF000000u)})
        .I32(static_cast<int32_t>(0x80332211u));
    const struct {
        const char* what;
        std::vector<uint8_t> file;
        std::vector<std::tuple<int32_t, int32_t, uint32_t>> pixels;
    } rows[] = {
        {"24-bit, bottom-up rows padded to 4 bytes",
         test::MakeBmp24(3, 2,
                         [](int32_t x, int32_t y) { return 0x100000u * x + 0x10000u * y + 0x201; }),
         {{0, 0, 0xFF000201u}, {2, 1, 0xFF210201u}}},
        {"a negative height: top-down rows",
         Info(1, -2, 24, 0, 54).U8(0).U8(0).U8(0xAA).Zeros(1).U8(0).U8(0).U8(0xBB).Zeros(1).data,
         {{0, 0, 0xFFAA0000u}, {0, 1, 0xFFBB0000u}}},
        {"8-bit: indices beyond the palette are black",
         Info(3, 1, 8, 0, 54 + 8, 2).I32s({0x102030, 0xFFFFFF}).U8(1).U8(0).U8(200).Zeros(1).data,
         {{0, 0, 0xFFFFFFFFu}, {1, 0, 0xFF102030u}, {2, 0, 0xFF000000u}}},
        {"1-bit: the high bit first",
         Info(10, 1, 1, 0, 54 + 8).I32s({0, 0xFFFFFF}).U8(0b10100000).U8(0b01000000).Zeros(2).data,
         {{0, 0, 0xFFFFFFFFu}, {1, 0, 0xFF000000u}, {9, 0, 0xFFFFFFFFu}}},
        {"16-bit 565 bit fields",
         Info(1, 1, 16, 3, 54 + 12).I32s({0xF800, 0x07E0, 0x001F}).U16(0xF81F).Zeros(2).data,
         {{0, 0, 0xFFFF00FFu}}},
        {"32-bit bit fields with alpha", b32.data, {{0, 0, 0x80112233u}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::optional<Bitmap> bmp = DecodeBmp(row.file);
        ASSERT_TRUE(bmp);
        for (const auto& [x, y, argb] : row.pixels) EXPECT_EQ(bmp->At(x, y), argb) << x << y;
    }
}

TEST(BmpDecode, DamagedOrUnsupportedFilesAreRefused) {
    std::vector<uint8_t> truncated = test::MakeBmp24(4, 4, [](int32_t, int32_t) { return 0u; });
    truncated.pop_back();
    Bytes lying = Info(4, 4, 24, 0, 54);
    lying.data[14] = 0xF0; // a header larger than the file
    const std::vector<uint8_t> files[] = {
        truncated,
        {'B', 'M'},
        Info(0, 4, 24, 0, 54).data,
        Info(4, 4, 8, 1, 54).Zeros(64).data, // RLE8
        Info(4, 4, 7, 0, 54).Zeros(64).data,
        Info(1 << 30, 1 << 30, 24, 0, 54).data,
        Info(4, INT32_MIN, 24, 0, 54).data,
        Info(4, 4, 24, 0, 0xFFFFFFF0u).Zeros(64).data, // pixels past the end
        lying.data,
    };
    for (const auto& file : files) EXPECT_FALSE(DecodeBmp(file)) << &file - files;
}

} // namespace
} // namespace tw
