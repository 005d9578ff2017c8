#pragma once

// Little-endian reading and writing for every binary file of the program: project files,
// the preferences file, skin pictures and the plugin manifest. Plain C++20 without
// dependencies, so that the plugin template reads its manifest with the same code.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace tw {

// A cursor over bytes that come from outside. Every read says whether its bytes were
// there and is never served from beyond the end. A read that fails leaves the cursor at
// the end, so that once the bytes have run out every later read fails as well and a loop
// over a truncated input ends.
class ByteReader {
public:
    ByteReader() = default;
    explicit ByteReader(std::span<const uint8_t> bytes) noexcept : bytes_(bytes) {}
    explicit ByteReader(std::string_view bytes) noexcept
        : bytes_(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) {}

    std::size_t Size() const noexcept { return bytes_.size(); }
    std::size_t Position() const noexcept { return pos_; }
    std::size_t Remaining() const noexcept { return bytes_.size() - pos_; }
    bool AtEnd() const noexcept { return pos_ >= bytes_.size(); }

    // Moves to `offset` from the start; an offset past the end fails.
    bool Seek(uint64_t offset) noexcept {
        if (offset > bytes_.size()) return Fail();
        pos_ = static_cast<std::size_t>(offset);
        return true;
    }
    bool Skip(uint64_t n) noexcept {
        if (n > Remaining()) return Fail();
        pos_ += static_cast<std::size_t>(n);
        return true;
    }

    bool U8(uint8_t& v) noexcept {
        if (Remaining() < 1) return Fail();
        v = bytes_[pos_++];
        return true;
    }
    bool U16(uint16_t& v) noexcept {
        uint32_t u = 0;
        if (!Word(2, u)) return false;
        v = static_cast<uint16_t>(u);
        return true;
    }
    bool U32(uint32_t& v) noexcept { return Word(4, v); }
    bool I32(int32_t& v) noexcept {
        uint32_t u = 0;
        if (!Word(4, u)) return false;
        v = static_cast<int32_t>(u);
        return true;
    }

    // The next `n` bytes, as they are.
    bool Bytes(uint64_t n, std::span<const uint8_t>& out) noexcept {
        if (n > Remaining()) return Fail();
        out = bytes_.subspan(pos_, static_cast<std::size_t>(n));
        pos_ += static_cast<std::size_t>(n);
        return true;
    }
    bool Text(uint64_t n, std::string_view& out) noexcept {
        std::span<const uint8_t> bytes;
        if (!Bytes(n, bytes)) return false;
        out = std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return true;
    }

    // Whether the next bytes are `literal`; they are consumed only when they are. A
    // mismatch is no failure: the cursor stays where it was.
    bool Match(std::string_view literal) noexcept {
        if (literal.size() > Remaining()) return false;
        for (std::size_t i = 0; i < literal.size(); ++i) {
            if (bytes_[pos_ + i] != static_cast<uint8_t>(literal[i])) return false;
        }
        pos_ += literal.size();
        return true;
    }

private:
    bool Fail() noexcept {
        pos_ = bytes_.size();
        return false;
    }
    bool Word(std::size_t n, uint32_t& v) noexcept {
        if (Remaining() < n) return Fail();
        uint32_t u = 0;
        for (std::size_t i = 0; i < n; ++i) u |= uint32_t{bytes_[pos_ + i]} << (8 * i);
        pos_ += n;
        v = u;
        return true;
    }

    std::span<const uint8_t> bytes_;
    std::size_t pos_ = 0;
};

// Appends little-endian values to a growing byte string.
class ByteWriter {
public:
    void Reserve(std::size_t n) { bytes_.reserve(n); }

    void U8(uint8_t v) { bytes_.push_back(static_cast<char>(v)); }
    void U16(uint16_t v) {
        U8(static_cast<uint8_t>(v & 0xFFu));
        U8(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) U8(static_cast<uint8_t>((v >> (8 * i)) & 0xFFu));
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void F32(float v) { U32(std::bit_cast<uint32_t>(v)); }

    void Raw(std::string_view bytes) { bytes_.append(bytes); }
    void Zeros(std::size_t n) { bytes_.append(n, '\0'); }
    // A counted text: the byte count as a 32-bit word, then exactly those bytes.
    void CountedText(std::string_view text) {
        I32(static_cast<int32_t>(text.size()));
        Raw(text);
    }

    std::size_t Size() const noexcept { return bytes_.size(); }
    const std::string& Bytes() const noexcept { return bytes_; }
    std::string Take() { return std::move(bytes_); }

private:
    std::string bytes_;
};

} // namespace tw
