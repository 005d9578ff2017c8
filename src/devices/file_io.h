#pragma once

// Whole-file reading and the binary appends shared by the preferences file and the plugin
// build. (Files are written through platform/atomic_file.h.)
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

// Little-endian appends for the program's binary files.
void AppendI32(std::string& out, int32_t value);
void AppendU8(std::string& out, uint8_t value);
// A counted text: the byte count as a 32-bit word, then exactly those bytes.
void AppendCountedText(std::string& out, std::string_view text);

} // namespace tw
