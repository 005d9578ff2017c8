#pragma once

#include <cctype>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace tw {

// Copies text into a fixed NUL-terminated field, cutting it to the field's size.
// Every text field of the record is written through here so that no source, however
// long, can run past its field.
template <std::size_t N> void SetText(char (&field)[N], std::string_view text) noexcept {
    static_assert(N > 0);
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    if (n > 0) std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

// The text of a fixed field, stopping at its terminator or its end, whichever comes first.
template <std::size_t N> std::string_view GetText(const char (&field)[N]) noexcept {
    return std::string_view(field, strnlen(field, N));
}

// Equal but for letter case: skin folders and files are found this way, whatever case
// the file system holds their names in.
inline bool SameIgnoringCase(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
}

// `folder`/`name` with one '/' between them; an empty folder leaves `name` as it is.
inline std::string Join(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (!out.empty() && out.back() != '/') out += '/';
    out += name;
    return out;
}

} // namespace tw
