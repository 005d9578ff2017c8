#include "devices/file_io.h"

#include <cstdint>
#include <cstdio>
#include <unistd.h>

namespace tw {

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return std::nullopt;
    return bytes;
}

bool ReplaceFile(const std::string& path, std::string_view bytes) {
    const std::string temp = path + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
    // The rename must not reach the disk before the data does.
    ok = fsync(fileno(f)) == 0 && ok;
    ok = std::fclose(f) == 0 && ok;
    if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(temp.c_str());
    return ok;
}

void AppendI32(std::string& out, int32_t value) {
    const auto u = static_cast<uint32_t>(value);
    out.push_back(static_cast<char>(u & 0xFFu));
    out.push_back(static_cast<char>((u >> 8) & 0xFFu));
    out.push_back(static_cast<char>((u >> 16) & 0xFFu));
    out.push_back(static_cast<char>((u >> 24) & 0xFFu));
}

void AppendU8(std::string& out, uint8_t value) {
    out.push_back(static_cast<char>(value));
}

void AppendCountedText(std::string& out, std::string_view text) {
    AppendI32(out, static_cast<int32_t>(text.size()));
    out.append(text);
}

} // namespace tw
