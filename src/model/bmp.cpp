#include "bmp.h"

#include <bit>

namespace tw {

namespace {

enum Compression : uint32_t {
    kRgb = 0,
    kBitFields = 3,
    kAlphaBitFields = 6,
};

class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool Has(uint64_t offset, uint64_t n) const {
        return offset <= bytes_.size() && n <= bytes_.size() - offset;
    }
    uint32_t U8(uint64_t o) const { return bytes_[o]; }
    uint32_t U16(uint64_t o) const { return U8(o) | U8(o + 1) << 8; }
    uint32_t U32(uint64_t o) const { return U16(o) | U16(o + 2) << 16; }
    int32_t I32(uint64_t o) const { return static_cast<int32_t>(U32(o)); }
    const uint8_t* At(uint64_t o) const { return bytes_.data() + o; }

private:
    std::span<const uint8_t> bytes_;
};

// One colour channel described by a bit mask, scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;

    explicit Channel(uint32_t m) : mask(m) {
        if (m == 0) return;
        shift = std::countr_zero(m);
        const uint32_t bits = m >> shift;
        // A mask with holes is read as if it were contiguous from its lowest bit.
        max = bits;
    }
    uint32_t Get(uint32_t pixel, uint32_t absent) const {
        if (max == 0) return absent;
        const uint64_t v = (pixel & mask) >> shift;
        return static_cast<uint32_t>((v * 255u + max / 2u) / max);
    }
};

constexpr uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return (a & 0xFFu) << 24 | (r & 0xFFu) << 16 | (g & 0xFFu) << 8 | (b & 0xFFu);
}

} // namespace

std::optional<Bitmap> DecodeBmp(std::span<const uint8_t> bytes) {
    const Reader r(bytes);
    if (!r.Has(0, 18) || r.U8(0) != 'B' || r.U8(1) != 'M') return std::nullopt;
    const uint64_t pixelOffset = r.U32(10);
    const uint64_t headerSize = r.U32(14);
    if (headerSize < 12 || !r.Has(14, headerSize)) return std::nullopt;

    int64_t width = 0;
    int64_t height = 0;
    uint32_t bpp = 0;
    uint32_t compression = kRgb;
    uint32_t coloursUsed = 0;
    uint32_t paletteEntrySize = 4;
    uint32_t masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
    bool haveMasks = false;
    uint64_t afterHeader = 14 + headerSize;

    if (headerSize == 12) {
        width = r.U16(18);
        height = r.U16(20);
        if (r.U16(22) != 1) return std::nullopt;
        bpp = r.U16(24);
        paletteEntrySize = 3;
    } else {
        if (headerSize < 40) return std::nullopt;
        width = r.I32(18);
        height = r.I32(22);
        if (r.U16(26) != 1) return std::nullopt;
        bpp = r.U16(28);
        compression = r.U32(30);
        coloursUsed = r.U32(46);
        if (compression == kBitFields || compression == kAlphaBitFields) {
            const uint32_t count = compression == kAlphaBitFields ? 4 : 3;
            // Version 2+ headers hold the masks; a plain info header is followed by them.
            uint64_t at = 54;
            if (headerSize == 40) {
                if (!r.Has(afterHeader, 4u * count)) return std::nullopt;
                afterHeader += 4u * count;
            } else if (headerSize < 40 + 4u * count) {
                return std::nullopt;
            }
            for (uint32_t i = 0; i < count; ++i) masks[i] = r.U32(at + 4u * i);
            if (headerSize >= 56 && count == 3) masks[3] = r.U32(at + 12);
            haveMasks = true;
        } else if (compression != kRgb) {
            return std::nullopt;
        }
    }

    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || width > kMaxBmpSide || height > kMaxBmpSide)
        return std::nullopt;
    if (width * height > kMaxBmpPixels) return std::nullopt;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return std::nullopt;
    if (haveMasks && bpp != 16 && bpp != 32) return std::nullopt;

    // Palette for the indexed formats.
    uint32_t palette[256];
    uint32_t paletteSize = 0;
    if (bpp <= 8) {
        const uint32_t full = 1u << bpp;
        paletteSize = coloursUsed == 0 || coloursUsed > full ? full : coloursUsed;
        if (!r.Has(afterHeader, uint64_t{paletteSize} * paletteEntrySize)) {
            // Some writers declare more colours than they store; use what is there.
            const uint64_t room = afterHeader <= bytes.size() ? bytes.size() - afterHeader : 0;
            paletteSize = static_cast<uint32_t>(room / paletteEntrySize);
        }
        for (uint32_t i = 0; i < paletteSize; ++i) {
            const uint64_t o = afterHeader + uint64_t{i} * paletteEntrySize;
            palette[i] = Argb(0xFF, r.U8(o + 2), r.U8(o + 1), r.U8(o));
        }
    }

    if (!haveMasks) {
        if (bpp == 16) {
            masks[0] = 0x7C00;
            masks[1] = 0x03E0;
            masks[2] = 0x001F;
        } else if (bpp == 32) {
            masks[0] = 0x00FF0000;
            masks[1] = 0x0000FF00;
            masks[2] = 0x000000FF;
        }
    }
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);

    const uint64_t stride = ((static_cast<uint64_t>(width) * bpp + 31u) / 32u) * 4u;
    if (!r.Has(pixelOffset, stride * static_cast<uint64_t>(height))) return std::nullopt;

    Bitmap out;
    out.width = static_cast<int32_t>(width);
    out.height = static_cast<int32_t>(height);
    out.pixels.resize(static_cast<std::size_t>(width * height));
    for (int64_t row = 0; row < height; ++row) {
        const int64_t y = topDown ? row : height - 1 - row;
        const uint8_t* src = r.At(pixelOffset + stride * static_cast<uint64_t>(row));
        uint32_t* dst = out.pixels.data() + y * width;
        for (int64_t x = 0; x < width; ++x) {
            uint32_t c = 0;
            switch (bpp) {
            case 1:
            case 4:
            case 8: {
                const uint64_t bit = static_cast<uint64_t>(x) * bpp;
                const uint32_t byte = src[bit / 8];
                const uint32_t index = (byte >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1u);
                c = index < paletteSize ? palette[index] : Argb(0xFF, 0, 0, 0);
                break;
            }
            case 16: {
                const uint32_t v = src[2 * x] | uint32_t{src[2 * x + 1]} << 8;
                c = Argb(alpha.Get(v, 0xFF), red.Get(v, 0), green.Get(v, 0), blue.Get(v, 0));
                break;
            }
            case 24:
                c = Argb(0xFF, src[3 * x + 2], src[3 * x + 1], src[3 * x]);
                break;
            default: {
                const uint32_t v = src[4 * x] | uint32_t{src[4 * x + 1]} << 8 |
                                   uint32_t{src[4 * x + 2]} << 16 | uint32_t{src[4 * x + 3]} << 24;
                c = Argb(alpha.Get(v, 0xFF), red.Get(v, 0), green.Get(v, 0), blue.Get(v, 0));
                break;
            }
            }
            dst[x] = c;
        }
    }
    return out;
}

} // namespace tw
