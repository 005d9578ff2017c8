#include "platform/file_services.h"

#include "platform/bmp.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace tw {

BitmapHandle LoadBmpFile(std::string_view path) {
    std::ifstream in{std::filesystem::path(path), std::ios::binary};
    if (!in) return nullptr;
    // Skin pictures are small; anything far larger is not one of them.
    constexpr std::size_t kMaxBytes = 64u << 20;
    std::vector<uint8_t> bytes;
    char buffer[65536];
    while (in) {
        in.read(buffer, sizeof buffer);
        const std::streamsize got = in.gcount();
        if (got <= 0) break;
        if (bytes.size() + static_cast<std::size_t>(got) > kMaxBytes) return nullptr;
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    std::optional<Bitmap> bitmap = DecodeBmp(bytes);
    if (!bitmap) return nullptr;
    return std::make_shared<const Bitmap>(std::move(*bitmap));
}

std::optional<std::vector<std::string>> ListFolderEntries(std::string_view folder) {
    std::error_code ec;
    std::filesystem::directory_iterator it{std::filesystem::path(folder), ec};
    if (ec) return std::nullopt;
    std::vector<std::string> names;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        names.push_back(it->path().filename().string());
    }
    return names;
}

} // namespace tw
