#pragma once

// Windows BMP decoding for skin pictures. The bytes come from files anyone can hand us,
// so every size, offset and index is checked before it is used.
#include "platform/bitmap.h"

#include <cstdint>
#include <optional>
#include <span>

namespace tw {

// The largest picture accepted, per side and in total; skin strips are far smaller.
inline constexpr int32_t kMaxBmpSide = 32768;
inline constexpr int64_t kMaxBmpPixels = int64_t{1} << 26;

// Decodes an uncompressed or bit-field BMP (1, 4, 8, 16, 24 or 32 bits per pixel, either
// row order, core or info headers). Returns nullopt for anything else or anything
// damaged: compressed (RLE, JPEG, PNG) bodies, missing pixel rows, impossible sizes.
std::optional<Bitmap> DecodeBmp(std::span<const uint8_t> bytes);

} // namespace tw
