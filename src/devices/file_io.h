#pragma once

// Whole-file reading for the preferences file and the plugin build. (Files are written
// through platform/atomic_file.h; their bytes are put together with platform/byte_io.h.)
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

// The file's bytes, at most `limit` of them, or nothing when it cannot be opened or read.
// A reader that knows how large its file can be passes one byte more than that, so that a
// longer file shows as longer without being read whole.
std::optional<std::string>
ReadWholeFile(const std::string& path, std::size_t limit = std::numeric_limits<std::size_t>::max());

} // namespace tw
