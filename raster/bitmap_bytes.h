// What the BMP reader's header and pixel halves share: the compression codes and
// the little-endian, bounds-checked reading of a ByteSource.
#pragma once

#include <cstdint>
#include <string>

#include "raster/bitmap_decoder.h"

namespace raster::bitmap {

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

inline std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

[[noreturn]] inline void Fail(const std::string& message) { throw LoadError(message); }

inline bool ReadExactly(ByteSource& source, std::uint64_t offset, std::uint8_t* target, std::size_t count) {
    return source.ReadAt(offset, target, count) == count;
}

inline std::uint64_t RowBytes(std::uint64_t width, unsigned bitCount) { return (width * bitCount + 31) / 32 * 4; }

}  // namespace raster::bitmap
