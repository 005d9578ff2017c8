#pragma once

// Scratch folders, little-endian byte building and small BMP pictures for tests that
// touch files.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <csignal>
#include <sys/resource.h>

namespace tw::test {

// A folder of its own under the system's temporary folder, removed with everything in
// it when the test ends.
class TempDir {
public:
    TempDir() {
        std::random_device rd;
        for (;;) {
            path_ = std::filesystem::temp_directory_path() /
                    ("tw-test-" + std::to_string(rd()) + std::to_string(rd()));
            if (std::filesystem::create_directory(path_)) break;
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(std::string_view name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// The same for text: a file's bytes as a string, and a string written as a file's bytes.
inline std::string ReadFileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFileText(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// While it lives, no file of the process can grow past `bytes` bytes, as on a full disk:
// writes beyond fail instead of ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &old_);
        const rlimit limit{bytes, old_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int);
};

// Little-endian bytes, written field by field from a file layout.
struct Bytes {
    std::vector<uint8_t> data;

    Bytes& Tag(std::string_view t) { return Text(t); }
    Bytes& Text(std::string_view t) {
        data.insert(data.end(), t.begin(), t.end());
        return *this;
    }
    Bytes& I32(int32_t v) {
        for (int i = 0; i < 4; ++i)
            data.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
        return *this;
    }
    Bytes& I32s(std::initializer_list<int32_t> values) {
        for (const int32_t v : values) I32(v);
        return *this;
    }
    Bytes& U16(uint16_t v) {
        data.push_back(static_cast<uint8_t>(v));
        data.push_back(static_cast<uint8_t>(v >> 8));
        return *this;
    }
    Bytes& U8(uint8_t v) {
        data.push_back(v);
        return *this;
    }
    Bytes& Zeros(std::size_t n) {
        data.insert(data.end(), n, 0);
        return *this;
    }
    // A counted string: length, then the bytes without terminator.
    Bytes& Str(std::string_view s) {
        I32(static_cast<int32_t>(s.size()));
        return Text(s);
    }
    Bytes& Append(const Bytes& other) {
        data.insert(data.end(), other.data.begin(), other.data.end());
        return *this;
    }
    // The bytes as a string, for comparing with encoders that return one.
    std::string String() const { return {data.begin(), data.end()}; }
};

// A 24-bit bottom-up BMP of the given size whose pixel (x, y) is colour(x, y) as 0xRRGGBB.
template <typename Colour>
std::vector<uint8_t> MakeBmp24(int32_t width, int32_t height, Colour colour) {
    const int32_t stride = (width * 3 + 3) / 4 * 4;
    Bytes b;
    b.Text("BM").I32(54 + stride * height).I32(0).I32(54);
    b.I32(40)
        .I32(width)
        .I32(height)
        .U16(1)
        .U16(24)
        .I32(0)
        .I32(stride * height)
        .I32(2835)
        .I32(2835)
        .I32(0)
        .I32(0);
    for (int32_t row = height - 1; row >= 0; --row) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t c = colour(x, row);
            b.U8(static_cast<uint8_t>(c))
                .U8(static_cast<uint8_t>(c >> 8))
                .U8(static_cast<uint8_t>(c >> 16));
        }
        b.Zeros(static_cast<std::size_t>(stride - width * 3));
    }
    return b.data;
}

inline std::vector<uint8_t> MakeStripBmp(int32_t side, int32_t frames) {
    return MakeBmp24(side, side * frames,
                     [](int32_t x, int32_t y) { return static_cast<uint32_t>(x * 7 + y); });
}

// Writes a complete skin: the seven control strips (frames per image given) and the
// background, into <appFolder>/Skins/<name>/.
inline void WriteSkin(const std::filesystem::path& appFolder, const std::string& name,
                      const int32_t (&frames)[7], int32_t side = 8) {
    static const char* const files[7] = {"Knob_0to10.bmp", "Knob_0to100.bmp", "Knob_Plus_Minus.bmp",
                                         "Knob_1234.bmp",  "Knob_Wave.bmp",   "Switch_OnOff.bmp",
                                         "LED_Red.bmp"};
    const std::filesystem::path folder = appFolder / "Skins" / name;
    std::filesystem::create_directories(folder);
    for (int i = 0; i < 7; ++i)
        WriteFileBytes((folder / files[i]).string(), MakeStripBmp(side, frames[i]));
    WriteFileBytes((folder / "Background.bmp").string(),
                   MakeBmp24(40, 30, [](int32_t, int32_t) { return 0x336699u; }));
}

} // namespace tw::test
