#include "platform/bmp.h"

#include "platform/byte_io.h"

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

// What the headers say about the picture.
struct Format {
    uint64_t pixelOffset = 0;
    uint64_t afterHeader = 0; // where the palette starts
    int64_t width = 0;
    int64_t height = 0; // negative: rows stored top-down
    uint32_t bpp = 0;
    uint32_t coloursUsed = 0;
    uint32_t paletteEntrySize = 4;
    uint32_t masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha
    bool haveMasks = false;
};

// The bit-field masks of an info header (the reader stands at its end, 54 bytes into the
// file): version 2+ headers hold them, a plain info header is followed by them.
bool ReadMasks(ByteReader& r, uint32_t headerSize, uint32_t compression, Format& f) {
    const uint32_t count = compression == kAlphaBitFields ? 4 : 3;
    if (headerSize == 40) {
        if (r.Remaining() < 4u * count) return false;
        f.afterHeader += 4u * count;
    } else if (headerSize < 40 + 4u * count) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (!r.U32(f.masks[i])) return false;
    }
    if (headerSize >= 56 && count == 3 && !r.U32(f.masks[3])) return false;
    f.haveMasks = true;
    return true;
}

// The file header and the core or info header after it.
bool ReadHeaders(ByteReader& r, Format& f) {
    uint8_t magic[2] = {};
    uint32_t pixelOffset = 0;
    uint32_t headerSize = 0;
    if (!r.U8(magic[0]) || !r.U8(magic[1]) || !r.Skip(8) || !r.U32(pixelOffset) ||
        !r.U32(headerSize))
        return false;
    if (magic[0] != 'B' || magic[1] != 'M') return false;
    // The header's size counts the size word just read.
    if (headerSize < 12 || r.Remaining() < headerSize - 4) return false;
    f.pixelOffset = pixelOffset;
    f.afterHeader = 14 + uint64_t{headerSize};

    uint16_t planes = 0;
    uint16_t bpp = 0;
    if (headerSize == 12) {
        uint16_t width = 0, height = 0;
        if (!r.U16(width) || !r.U16(height) || !r.U16(planes) || !r.U16(bpp)) return false;
        f.width = width;
        f.height = height;
        f.paletteEntrySize = 3;
    } else {
        if (headerSize < 40) return false;
        int32_t width = 0, height = 0;
        uint32_t compression = kRgb;
        // Image size and resolution are passed over, and so are the important colours.
        if (!r.I32(width) || !r.I32(height) || !r.U16(planes) || !r.U16(bpp) ||
            !r.U32(compression) || !r.Skip(12) || !r.U32(f.coloursUsed) || !r.Skip(4))
            return false;
        f.width = width;
        f.height = height;
        if (compression == kBitFields || compression == kAlphaBitFields) {
            if (!ReadMasks(r, headerSize, compression, f)) return false;
        } else if (compression != kRgb) {
            return false;
        }
    }
    f.bpp = bpp;
    return planes == 1;
}

// Sizes, depth and masks that the decoder can take.
bool Decodable(const Format& f, int64_t height) {
    if (f.width <= 0 || height <= 0 || f.width > kMaxBmpSide || height > kMaxBmpSide) return false;
    if (f.width * height > kMaxBmpPixels) return false;
    if (f.bpp != 1 && f.bpp != 4 && f.bpp != 8 && f.bpp != 16 && f.bpp != 24 && f.bpp != 32)
        return false;
    return !f.haveMasks || f.bpp == 16 || f.bpp == 32;
}

// The palette of an indexed picture; returns the number of entries read.
uint32_t ReadPalette(ByteReader& r, const Format& f, uint32_t (&palette)[256]) {
    const uint32_t full = 1u << f.bpp;
    uint32_t size = f.coloursUsed == 0 || f.coloursUsed > full ? full : f.coloursUsed;
    if (!r.Seek(f.afterHeader)) return 0;
    // Some writers declare more colours than they store; use what is there.
    if (r.Remaining() < uint64_t{size} * f.paletteEntrySize)
        size = static_cast<uint32_t>(r.Remaining() / f.paletteEntrySize);
    for (uint32_t i = 0; i < size; ++i) {
        std::span<const uint8_t> entry;
        if (!r.Bytes(f.paletteEntrySize, entry)) return i;
        palette[i] = Argb(0xFF, entry[2], entry[1], entry[0]);
    }
    return size;
}

// How the pixels of one row turn into colours.
struct PixelRule {
    uint32_t bpp = 0;
    const uint32_t* palette = nullptr;
    uint32_t paletteSize = 0;
    Channel red{0}, green{0}, blue{0}, alpha{0};

    uint32_t Masked(uint32_t v) const {
        return Argb(alpha.Get(v, 0xFF), red.Get(v, 0), green.Get(v, 0), blue.Get(v, 0));
    }

    void DecodeRow(const uint8_t* src, uint32_t* dst, int64_t width) const {
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
            case 16:
                c = Masked(src[2 * x] | uint32_t{src[2 * x + 1]} << 8);
                break;
            case 24:
                c = Argb(0xFF, src[3 * x + 2], src[3 * x + 1], src[3 * x]);
                break;
            default:
                c = Masked(src[4 * x] | uint32_t{src[4 * x + 1]} << 8 |
                           uint32_t{src[4 * x + 2]} << 16 | uint32_t{src[4 * x + 3]} << 24);
                break;
            }
            dst[x] = c;
        }
    }
};

// The masks of a picture whose header gave none.
void DefaultMasks(Format& f) {
    if (f.bpp == 16) {
        f.masks[0] = 0x7C00;
        f.masks[1] = 0x03E0;
        f.masks[2] = 0x001F;
    } else if (f.bpp == 32) {
        f.masks[0] = 0x00FF0000;
        f.masks[1] = 0x0000FF00;
        f.masks[2] = 0x000000FF;
    }
}

} // namespace

std::optional<Bitmap> DecodeBmp(std::span<const uint8_t> bytes) {
    ByteReader r(bytes);
    Format f;
    if (!ReadHeaders(r, f)) return std::nullopt;
    const bool topDown = f.height < 0;
    const int64_t height = topDown ? -f.height : f.height;
    if (!Decodable(f, height)) return std::nullopt;

    uint32_t palette[256];
    PixelRule rule;
    rule.bpp = f.bpp;
    rule.palette = palette;
    if (f.bpp <= 8) rule.paletteSize = ReadPalette(r, f, palette);
    if (!f.haveMasks) DefaultMasks(f);
    rule.red = Channel(f.masks[0]);
    rule.green = Channel(f.masks[1]);
    rule.blue = Channel(f.masks[2]);
    rule.alpha = Channel(f.masks[3]);

    const uint64_t stride = ((static_cast<uint64_t>(f.width) * f.bpp + 31u) / 32u) * 4u;
    std::span<const uint8_t> rows;
    if (!r.Seek(f.pixelOffset) || !r.Bytes(stride * static_cast<uint64_t>(height), rows))
        return std::nullopt;

    Bitmap out;
    out.width = static_cast<int32_t>(f.width);
    out.height = static_cast<int32_t>(height);
    out.pixels.resize(static_cast<std::size_t>(f.width * height));
    for (int64_t row = 0; row < height; ++row) {
        const int64_t y = topDown ? row : height - 1 - row;
        rule.DecodeRow(rows.data() + stride * static_cast<uint64_t>(row),
                       out.pixels.data() + y * f.width, f.width);
    }
    return out;
}

} // namespace tw
