// The BMP reader's first half: the file and info headers, the channel masks and
// the palette, checked against the image limits and the file's real size before
// the pixels are read (raster/bitmap_decoder.cpp).
#include <algorithm>
#include <bit>
#include <cstring>

#include "raster/bitmap_bytes.h"

namespace raster::bitmap {

namespace {

// A mask's bits must be one run; a channel without bits reads as 0.
Channel MakeChannel(std::uint32_t mask) {
    Channel channel;
    channel.mask = mask;
    if (mask == 0) return channel;
    channel.shift = std::countr_zero(mask);
    const std::uint32_t run = mask >> channel.shift;
    if ((run & (run + 1)) != 0) Fail(kNotValid);
    channel.bits = std::popcount(mask);
    return channel;
}

// The file header and the info header's fields; those a header leaves out are 0.
struct Headers {
    std::uint32_t offBits = 0, headerSize = 0;
    bool core = false;
    std::uint8_t info[56] = {};
    std::int64_t width = 0, height = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = kRgb, sizeImage = 0, coloursUsed = 0;
};

Headers ReadHeaders(ByteSource& source, std::uint64_t size) {
    std::uint8_t fileHeader[14];
    if (size < sizeof fileHeader || !ReadExactly(source, 0, fileHeader, sizeof fileHeader)) Fail(kStreamReadError);
    if (fileHeader[0] != 'B' || fileHeader[1] != 'M') Fail(kNotValid);
    const std::uint32_t offBits = U32(fileHeader + 10);

    // The info header: only its first 56 bytes matter (the fields and the masks of longer versions).
    std::uint8_t info[56] = {};
    if (!ReadExactly(source, 14, info, 4)) Fail(kNotValid);
    const std::uint32_t headerSize = U32(info);
    const bool core = headerSize == 12;
    // Besides the 12-byte core header, OS/2 2.x headers may stop anywhere from the
    // bit count (16 bytes) on; the fields they leave out count as 0.
    if ((!core && headerSize < 16) || headerSize > size - 14) Fail(kNotValid);
    if (!ReadExactly(source, 14, info, std::min<std::size_t>(headerSize, sizeof info))) Fail(kNotValid);

    std::int64_t width = 0, height = 0;
    std::uint16_t planes = 0, bitCount = 0;
    std::uint32_t compression = kRgb, sizeImage = 0, coloursUsed = 0;
    if (core) {
        width = U16(info + 4);
        height = U16(info + 6);
        planes = U16(info + 8);
        bitCount = U16(info + 10);
    } else {
        width = static_cast<std::int32_t>(U32(info + 4));
        height = static_cast<std::int32_t>(U32(info + 8));
        planes = U16(info + 12);
        bitCount = U16(info + 14);
        compression = U32(info + 16);
        sizeImage = U32(info + 20);
        coloursUsed = U32(info + 32);
    }
    if (planes != 1) Fail(kNotValid);
    Headers headers{offBits, headerSize, core, {}, width, height, bitCount, compression, sizeImage, coloursUsed};
    std::memcpy(headers.info, info, sizeof info);
    return headers;
}

// The size and the pixel format, checked before any memory is taken for them.
void CheckFormat(const Headers& headers, const Limits& limits, Layout& layout) {
    const std::int64_t width = headers.width, height = headers.height;
    const std::uint16_t bitCount = headers.bitCount;
    const std::uint32_t compression = headers.compression;
    if (width <= 0 || width > kMaxSide || height == 0 || height > kMaxSide || height < -kMaxSide) Fail(kNotValid);
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        Fail(kNotValid);
    const bool runLength = compression == kRle8 || compression == kRle4;
    const bool bitFields = compression == kBitFields || compression == kAlphaBitFields;
    const bool fits = compression == kRgb || (compression == kRle8 && bitCount == 8) ||
                      (compression == kRle4 && bitCount == 4) || (bitFields && (bitCount == 16 || bitCount == 32));
    if (!fits || (runLength && height < 0)) Fail(kNotValid);
    layout.width = static_cast<std::int32_t>(width);
    layout.height = static_cast<std::int32_t>(height < 0 ? -height : height);
    layout.topDown = height < 0;
    layout.bitCount = bitCount;
    layout.compression = compression;
    if (limits.maxPixels != 0 &&
        static_cast<std::uint64_t>(layout.width) * static_cast<std::uint64_t>(layout.height) > limits.maxPixels)
        Fail(kOutOfMemory);
}

// The channel masks of 16- and 32-bit pixels; returns where the colour table starts.
std::uint64_t ReadMasks(ByteSource& source, const Headers& headers, Layout& layout) {
    const std::uint32_t headerSize = headers.headerSize, compression = headers.compression;
    const std::uint16_t bitCount = headers.bitCount;
    const std::uint8_t* const info = headers.info;
    const bool bitFields = compression == kBitFields || compression == kAlphaBitFields;
    std::uint64_t position = 14 + static_cast<std::uint64_t>(headerSize);
    if (bitCount == 16 || bitCount == 32) {
        // Without masks: 16-bit is 5-5-5, 32-bit is blue, green, red and an unused byte.
        std::uint32_t masks[4] = {0x7C00, 0x03E0, 0x001F, 0};
        if (bitCount == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
        if (bitFields) {
            if (headerSize == 40) {
                // The masks follow a plain 40-byte header; longer headers hold them.
                std::uint8_t stored[16];
                const std::size_t count = compression == kAlphaBitFields ? 16 : 12;
                if (!ReadExactly(source, position, stored, count)) Fail(kStreamReadError);
                for (int i = 0; i < 3; ++i) masks[i] = U32(stored + 4 * i);
                position += count;
            } else if (headerSize >= 52) {
                for (int i = 0; i < 3; ++i) masks[i] = U32(info + 40 + 4 * i);
            } else {
                Fail(kNotValid);  // a header too short to hold masks, and none after it
            }
        }
        for (int i = 0; i < 3; ++i) layout.channels[i] = MakeChannel(masks[i]);
    }
    return position;
}

// The palette of 1- to 8-bit pixels; returns where the table ends.
std::uint64_t ReadColourTable(ByteSource& source, const Headers& headers, std::uint64_t position, std::uint64_t size,
                              Layout& layout) {
    const bool core = headers.core;
    const std::uint16_t bitCount = headers.bitCount;
    const std::uint32_t offBits = headers.offBits, coloursUsed = headers.coloursUsed;
    // The colour table: core headers have 3-byte entries and no count of their own.
    const std::uint64_t entryBytes = core ? 3 : 4;
    std::uint64_t entries = coloursUsed;
    const bool implied = entries == 0 && bitCount <= 8;
    if (implied) entries = std::uint64_t{1} << bitCount;
    // Core-header writers that shorten the table say so only through the pixel offset.
    if (core && bitCount <= 8 && offBits > position && offBits < position + entries * entryBytes)
        entries = (offBits - position) / entryBytes;
    const std::uint64_t tableBytes = entries * entryBytes;
    if (position + tableBytes > size) Fail(implied ? kStreamReadError : kNotValid);
    if (bitCount <= 8) {
        const std::size_t used = static_cast<std::size_t>(std::min<std::uint64_t>(entries, std::uint64_t{1} << bitCount));
        std::uint8_t table[256 * 4];
        if (!ReadExactly(source, position, table, used * entryBytes)) Fail(kStreamReadError);
        for (std::size_t i = 0; i < used; ++i)
            std::memcpy(layout.palette[i].data(), table + i * entryBytes, 3);
    }
    position += tableBytes;
    return position;
}

// Where the pixel data start and how many bytes of them the file holds.
void PlacePixelData(const Headers& headers, std::uint64_t position, std::uint64_t size, Layout& layout) {
    const std::uint16_t bitCount = headers.bitCount;
    const std::uint32_t offBits = headers.offBits, sizeImage = headers.sizeImage;
    const bool runLength = headers.compression == kRle8 || headers.compression == kRle4;
    // Pixel data: at bfOffBits when that lies past the colour table and inside the
    // file, otherwise right after the table.
    layout.pixelOffset = (offBits >= position && offBits < size) ? offBits : position;
    const std::uint64_t left = size - layout.pixelOffset;
    const std::uint64_t full = RowBytes(static_cast<std::uint64_t>(layout.width), bitCount) * layout.height;
    std::uint64_t stated = sizeImage != 0 ? sizeImage : (runLength ? left : full);
    if (!runLength) stated = std::min(stated, full);
    layout.pixelBytes = std::min(stated, left);
    // Short files load as far as they go, but a very large picture must be paid for
    // by its file: a few bytes may not claim gigabytes.
    const std::uint64_t pixels = static_cast<std::uint64_t>(layout.width) * static_cast<std::uint64_t>(layout.height);
    if (pixels > kMaxUnjustifiedPixels &&
        (runLength ? layout.pixelBytes * kPixelsPerRunLengthByte < pixels : layout.pixelBytes < full))
        Fail("Image too large for its file: " + std::to_string(layout.width) + " x " + std::to_string(layout.height) +
             " pixels in " + std::to_string(size) + " bytes");
}

}  // namespace

Layout ReadLayout(ByteSource& source, const Limits& limits) {
    Layout layout;
    const std::uint64_t size = source.Size();
    if (size == 0) return layout;
    layout.empty = false;
    const Headers headers = ReadHeaders(source, size);
    // Everything that decides how much memory the image needs is checked before any is taken.
    CheckFormat(headers, limits, layout);
    const std::uint64_t tableStart = ReadMasks(source, headers, layout);
    PlacePixelData(headers, ReadColourTable(source, headers, tableStart, size, layout), size, layout);
    return layout;
}

}  // namespace raster::bitmap
