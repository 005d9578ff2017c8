#include "bmp.h"

#include "byte_io.h"

#include <bit>

namespace tw {

namespace {

enum Compression : uint32_t {
    kRgb = 0,
    kBitFields = 3,
    kAlphaBitFields = 6,
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
    ByteReader r(bytes);
    uint8_t magic[2] = {};
    uint32_t pixelOffset = 0;
    uint32_t headerSize = 0;
    if (!r.U8(magic[0]) || !r.U8(magic[1]) || !r.Skip(8) || !r.U32(pixelOffset) ||
        !r.U32(headerSize))
        return std::nullopt;
    if (magic[0] != 'B' || magic[1] != 'M') return std::nullopt;
    // The header's size counts the size word just read.
    if (headerSize < 12 || r.Remaining() < headerSize - 4) return std::nullopt;

    int64_t width = 0;
    int64_t height = 0;
    uint32_t bpp = 0;
    uint32_t compression = kRgb;
    uint32_t coloursUsed = 0;
    uint32_t paletteEntrySize = 4;
    uint32_t masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
    bool haveMasks = false;
    uint64_t afterHeader = 14 + uint64_t{headerSize};

    if (headerSize == 12) {
        uint16_t w = 0, h = 0, planes = 0, bits = 0;
        if (!r.U16(w) || !r.U16(h) || !r.U16(planes) || !r.U16(bits)) return std::nullopt;
        if (planes != 1) return std::nullopt;
        width = w;
        height = h;
        bpp = bits;
        paletteEntrySize = 3;
    } else {
        if (headerSize < 40) return std::nullopt;
        int32_t w = 0, h = 0;
        uint16_t planes = 0, bits = 0;
        // Image size and resolution are passed over, and so are the important colours.
        if (!r.I32(w) || !r.I32(h) || !r.U16(planes) || !r.U16(bits) || !r.U32(compression) ||
            !r.Skip(12) || !r.U32(coloursUsed) || !r.Skip(4))
            return std::nullopt;
        if (planes != 1) return std::nullopt;
        width = w;
        height = h;
        bpp = bits;
        if (compression == kBitFields || compression == kAlphaBitFields) {
            const uint32_t count = compression == kAlphaBitFields ? 4 : 3;
            // Version 2+ headers hold the masks; a plain info header is followed by them.
            if (headerSize == 40) {
                if (r.Remaining() < 4u * count) return std::nullopt;
                afterHeader += 4u * count;
            } else if (headerSize < 40 + 4u * count) {
                return std::nullopt;
            }
            for (uint32_t i = 0; i < count; ++i) {
                if (!r.U32(masks[i])) return std::nullopt;
            }
            if (headerSize >= 56 && count == 3 && !r.U32(masks[3])) return std::nullopt;
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
        if (!r.Seek(afterHeader)) return std::nullopt;
        // Some writers declare more colours than they store; use what is there.
        if (r.Remaining() < uint64_t{paletteSize} * paletteEntrySize)
            paletteSize = static_cast<uint32_t>(r.Remaining() / paletteEntrySize);
        for (uint32_t i = 0; i < paletteSize; ++i) {
            std::span<const uint8_t> entry;
            if (!r.Bytes(paletteEntrySize, entry)) return std::nullopt;
            palette[i] = Argb(0xFF, entry[2], entry[1], entry[0]);
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
    std::span<const uint8_t> rows;
    if (!r.Seek(pixelOffset) || !r.Bytes(stride * static_cast<uint64_t>(height), rows))
        return std::nullopt;

    Bitmap out;
    out.width = static_cast<int32_t>(width);
    out.height = static_cast<int32_t>(height);
    out.pixels.resize(static_cast<std::size_t>(width * height));
    for (int64_t row = 0; row < height; ++row) {
        const int64_t y = topDown ? row : height - 1 - row;
        const uint8_t* src = rows.data() + stride * static_cast<uint64_t>(row);
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
