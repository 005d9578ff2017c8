#include "devices/file_io.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace tw {

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t limit) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    std::size_t n = 0;
    while (bytes.size() < limit &&
           (n = std::fread(buffer, 1, std::min(sizeof buffer, limit - bytes.size()), f)) > 0)
        bytes.append(buffer, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return std::nullopt;
    return bytes;
}

} // namespace tw
