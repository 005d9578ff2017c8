#include "export/bmp_writer.h"

#include "devices/file_io.h"
#include "platform/atomic_file.h"

namespace tw {

namespace {

void AppendU16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFFu));
    out.push_back(static_cast<char>(v >> 8));
}

} // namespace

int32_t Bmp24RowBytes(int32_t width) {
    return ((24 * width + 31) & ~31) / 8;
}

std::string EncodeBmp24(const Bitmap& image, bool writeFileSize) {
    const int32_t w = image.width > 0 ? image.width : 0;
    const int32_t h = image.height > 0 ? image.height : 0;
    const int32_t rowBytes = Bmp24RowBytes(w);
    const int32_t imageSize = rowBytes * h;
    std::string out;
    out.reserve(54 + static_cast<std::size_t>(imageSize));
    out += "BM";
    AppendI32(out, writeFileSize ? 54 + imageSize : 0);
    AppendI32(out, 0);
    AppendI32(out, 54);
    AppendI32(out, 40);
    AppendI32(out, w);
    AppendI32(out, h); // positive: rows are stored bottom-up
    AppendU16(out, 1);
    AppendU16(out, 24);
    AppendI32(out, 0);
    AppendI32(out, imageSize);
    for (int i = 0; i < 4; ++i) AppendI32(out, 0);
    const bool complete = image.pixels.size() >= static_cast<std::size_t>(w) * h;
    for (int32_t y = h - 1; y >= 0; --y) {
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t argb = complete ? image.At(x, y) : 0u;
            out.push_back(static_cast<char>(argb & 0xFFu));
            out.push_back(static_cast<char>((argb >> 8) & 0xFFu));
            out.push_back(static_cast<char>((argb >> 16) & 0xFFu));
        }
        out.append(static_cast<std::size_t>(rowBytes - 3 * w), '\0');
    }
    return out;
}

bool SaveBmp24(const std::string& path, const Bitmap& image, bool writeFileSize) {
    return ReplaceFile(path, EncodeBmp24(image, writeFileSize));
}

} // namespace tw
