#pragma once

// Windows BMP files of 24 bits per pixel, as the skins and the plugin folders hold them.
#include "platform/bitmap.h"

#include <cstdint>
#include <string>

namespace tw {

// Bytes per stored row: 3 per pixel, filled up to a multiple of 4.
int32_t Bmp24RowBytes(int32_t width);

// The file's bytes: the 14-byte file header, the 40-byte information header and the rows
// bottom-up in blue, green, red order. Alpha is dropped. The file-size field always holds
// the file's size: image tools warn about a file that says 0.
std::string EncodeBmp24(const Bitmap& image);

// Writes the file through a temporary file and a rename. False when it cannot be written.
bool SaveBmp24(const std::string& path, const Bitmap& image);

} // namespace tw
