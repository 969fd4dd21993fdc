// The BMP reader's core: validates the headers, then decodes the pixel data into
// a 24-bit blue-green-red top-down pixel store. It reads through a ByteSource, so
// the same code serves files (LoadFromFile) and bytes in memory (the fuzz target,
// tests). Nothing here allocates from a size field before that field has been
// checked against the image limits and the source's real size.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "raster/load_errors.h"  // every failure here is a LoadError with one of its messages
#include "raster/win.h"

namespace raster::bitmap {

// Largest width or height a file may ask for.
inline constexpr std::int32_t kMaxSide = 32767;

// Above this many pixels an image must be backed by its file: uncompressed data
// complete, run-length data at least one byte per kPixelsPerRunLengthByte pixels.
inline constexpr std::uint64_t kMaxUnjustifiedPixels = 8192 * 8192;
inline constexpr std::uint64_t kPixelsPerRunLengthByte = 128;

// Random-access bytes of known size.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Copies up to `count` bytes starting at `offset`; returns how many it copied
    // (fewer only where the data end). Throws LoadError(kStreamReadError) on an I/O failure.
    virtual std::size_t ReadAt(std::uint64_t offset, std::uint8_t* target, std::size_t count) = 0;
    // Reads consecutive rows of `rowBytes` bytes from `offset` into rows[0], rows[1], ...
    // Returns the total number of bytes read; rows past the end of the data are left alone.
    virtual std::size_t ReadRowsAt(std::uint64_t offset, std::uint8_t* const* rows, std::size_t rowCount,
                                   std::size_t rowBytes);
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, std::uint8_t* target, std::size_t count) override;

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// A colour channel described by a bit mask, scaled to 0..255.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
};

// Everything the pixel decoder needs, taken from validated headers.
struct Layout {
    bool empty = true;  // a 0-byte file: 0 x 0, no error
    std::int32_t width = 0;
    std::int32_t height = 0;  // always positive
    bool topDown = false;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::array<std::array<std::uint8_t, 3>, 256> palette{};  // blue, green, red; missing entries black
    std::array<Channel, 3> channels{};                       // red, green, blue for 16- and 32-bit pixels
    std::uint64_t pixelOffset = 0;
    std::uint64_t pixelBytes = 0;  // how many bytes of pixel data the file really holds
};

struct Limits {
    // Largest width x height accepted; 0 means only the side limit applies.
    std::uint64_t maxPixels = 0;
};

// Reads and checks the headers, masks and colour table. Throws LoadError with the
// user's message for a file that cannot be loaded.
Layout ReadLayout(ByteSource& source, const Limits& limits = {});

// Decodes the pixel data into a zero-filled store of layout.width x layout.height
// 24-bit pixels, top row first, `stride` bytes per row. Pixels the data do not
// reach stay as they are (black).
void DecodePixels(ByteSource& source, const Layout& layout, std::uint8_t* bits, std::size_t stride);

// Both steps into a pixel store of its own, for callers without a TWin.
struct Image {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::size_t stride = 0;
    std::vector<std::uint8_t> bits;
};
Image Decode(ByteSource& source, const Limits& limits = {});

}  // namespace raster::bitmap
