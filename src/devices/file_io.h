#pragma once

// Whole-file reading and replacing, shared by the preferences file and the plugin build.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tw {

// The file's bytes, or nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Writes the bytes to a temporary file beside `path` and renames it over `path`, so that
// a failure at any point leaves the previous file as it was. False on failure.
bool ReplaceFile(const std::string& path, std::string_view bytes);

// Little-endian appends for the program's binary files.
void AppendI32(std::string& out, int32_t value);
void AppendU8(std::string& out, uint8_t value);
// A counted text: the byte count as a 32-bit word, then exactly those bytes.
void AppendCountedText(std::string& out, std::string_view text);

} // namespace tw
