#include "export/bmp_writer.h"

#include "platform/atomic_file.h"
#include "platform/byte_io.h"

namespace tw {

int32_t Bmp24RowBytes(int32_t width) {
    return ((24 * width + 31) & ~31) / 8;
}

std::string EncodeBmp24(const Bitmap& image) {
    const int32_t w = image.width > 0 ? image.width : 0;
    const int32_t h = image.height > 0 ? image.height : 0;
    const int32_t rowBytes = Bmp24RowBytes(w);
    const int32_t imageSize = rowBytes * h;
    ByteWriter out;
    out.Reserve(54 + static_cast<std::size_t>(imageSize));
    out.Raw("BM");
    out.I32(54 + imageSize);
    out.I32(0);
    out.I32(54);
    out.I32(40);
    out.I32(w);
    out.I32(h); // positive: rows are stored bottom-up
    out.U16(1);
    out.U16(24);
    out.I32(0);
    out.I32(imageSize);
    for (int i = 0; i < 4; ++i) out.I32(0);
    const bool complete = image.pixels.size() >= static_cast<std::size_t>(w) * h;
    for (int32_t y = h - 1; y >= 0; --y) {
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t argb = complete ? image.At(x, y) : 0u;
            out.U8(static_cast<uint8_t>(argb & 0xFFu));
            out.U8(static_cast<uint8_t>((argb >> 8) & 0xFFu));
            out.U8(static_cast<uint8_t>((argb >> 16) & 0xFFu));
        }
        out.Zeros(static_cast<std::size_t>(rowBytes - 3 * w));
    }
    return out.Take();
}

bool SaveBmp24(const std::string& path, const Bitmap& image) {
    return ReplaceFile(path, EncodeBmp24(image));
}

} // namespace tw
