#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace tw {

// A decoded picture: rows top to bottom, each pixel 0xAARRGGBB. Skin images and the
// panel background are held as shared, immutable bitmaps so that a project can be
// reset or a skin switched without copying pixels.
struct Bitmap {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;

    uint32_t At(int32_t x, int32_t y) const noexcept {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};

using BitmapHandle = std::shared_ptr<const Bitmap>;

} // namespace tw
