// Builds BMP files byte by byte for the reader and writer tests, and gives each
// test a scratch folder of its own.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "raster/win.h"

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v);
    Put16(b, at + 2, v >> 16);
}
inline std::uint32_t Get32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

struct BmpSpec {
    std::int32_t width = 2;
    std::int32_t height = 2;  // negative: top-down
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 40;  // 12 writes the core header
    std::uint16_t planes = 1;
    std::uint32_t coloursUsed = 0;
    std::uint32_t sizeImage = 0;
    std::vector<std::array<std::uint8_t, 3>> palette;  // blue, green, red
    std::vector<std::uint32_t> masks;  // after a 40-byte header, inside a longer one
    std::size_t gap = 0;               // bytes between the colour table and the pixels
    std::optional<std::uint32_t> offBits;  // default: where the pixels really start
    Bytes pixels;
};

inline Bytes MakeBmp(const BmpSpec& s) {
    const bool core = s.headerSize == 12;
    Bytes b(14 + s.headerSize, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 14, s.headerSize);
    if (core) {
        Put16(b, 18, static_cast<std::uint32_t>(s.width));
        Put16(b, 20, static_cast<std::uint32_t>(s.height));
        Put16(b, 22, s.planes);
        Put16(b, 24, s.bitCount);
    } else {
        Put32(b, 18, static_cast<std::uint32_t>(s.width));
        Put32(b, 22, static_cast<std::uint32_t>(s.height));
        Put16(b, 26, s.planes);
        Put16(b, 28, s.bitCount);
        // A short OS/2 2.x header stops after the bit count or a later field.
        if (s.headerSize >= 20) Put32(b, 30, s.compression);
        if (s.headerSize >= 24) Put32(b, 34, s.sizeImage);
        if (s.headerSize >= 36) Put32(b, 46, s.coloursUsed);
        if (s.headerSize >= 52)
            for (std::size_t i = 0; i < s.masks.size() && 40 + 4 * i + 4 <= s.headerSize; ++i)
                Put32(b, 14 + 40 + 4 * i, s.masks[i]);
    }
    if (s.headerSize == 40)
        for (std::uint32_t m : s.masks) {
            b.resize(b.size() + 4);
            Put32(b, b.size() - 4, m);
        }
    for (const auto& c : s.palette) {
        b.insert(b.end(), c.begin(), c.end());
        if (!core) b.push_back(0);
    }
    b.resize(b.size() + s.gap, 0xEE);
    Put32(b, 10, s.offBits.value_or(static_cast<std::uint32_t>(b.size())));
    b.insert(b.end(), s.pixels.begin(), s.pixels.end());
    Put32(b, 2, static_cast<std::uint32_t>(b.size()));
    return b;
}

// Loads `path` into `win`; returns the error message, or "" when it loaded.
inline std::string Load(TWin& win, const std::string& path) {
    try {
        win.LoadFromFile(path);
        return "";
    } catch (const LoadError& e) {
        return e.what();
    }
}

inline Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A scratch folder, removed with everything in it when the test ends.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumarq-bmp-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "cannot create a scratch folder";
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    std::string Write(const std::string& name, const Bytes& bytes) const {
        WriteAll(*this / name, bytes);
        return *this / name;
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename().string());
        return names;
    }

private:
    std::string path_;
};
