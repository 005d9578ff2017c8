#pragma once

// The file services every Platform shares: decoding a BMP file and listing a folder.
#include "platform/bitmap.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

// Decodes the BMP file at `path`; nullptr when it cannot be read, is implausibly large or
// is not a picture.
BitmapHandle LoadBmpFile(std::string_view path);

// The names of a folder's entries (without "." and ".."), in the file system's order;
// nullopt when the folder cannot be listed.
std::optional<std::vector<std::string>> ListFolderEntries(std::string_view folder);

} // namespace tw
