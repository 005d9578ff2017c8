#pragma once

#include <cstddef>
#include <cstring>
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

} // namespace tw
