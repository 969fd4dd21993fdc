#include "raster/bitmap_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace raster::bitmap {

std::size_t ByteSource::ReadRowsAt(std::uint64_t offset, std::uint8_t* const* rows, std::size_t rowCount,
                                   std::size_t rowBytes) {
    std::size_t total = 0;
    for (std::size_t i = 0; i < rowCount; ++i) {
        const std::size_t got = ReadAt(offset + total, rows[i], rowBytes);
        total += got;
        if (got < rowBytes) break;
    }
    return total;
}

std::size_t MemorySource::ReadAt(std::uint64_t offset, std::uint8_t* target, std::size_t count) {
    if (offset >= size_) return 0;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset));
    std::memcpy(target, data_ + offset, n);
    return n;
}

namespace {

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

[[noreturn]] void Fail(const std::string& message) { throw LoadError(message); }

bool ReadExactly(ByteSource& source, std::uint64_t offset, std::uint8_t* target, std::size_t count) {
    return source.ReadAt(offset, target, count) == count;
}

std::uint64_t RowBytes(std::uint64_t width, unsigned bitCount) { return (width * bitCount + 31) / 32 * 4; }

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

// Scales a channel of any width to 0..255 with rounding, so that the largest
// value of every width is 255 (5-bit 31 and 6-bit 63 both give 255).
std::uint8_t ScaleToByte(std::uint64_t value, int bits) {
    const std::uint64_t largest = (std::uint64_t{1} << bits) - 1;
    return static_cast<std::uint8_t>((value * 255 + largest / 2) / largest);
}

class ChannelDecoder {
public:
    explicit ChannelDecoder(const Channel& channel) : channel_(channel) {
        if (channel.bits > 0 && channel.bits <= 16) {
            table_.resize(std::size_t{1} << channel.bits);
            for (std::size_t v = 0; v < table_.size(); ++v) table_[v] = ScaleToByte(v, channel.bits);
        }
    }
    std::uint8_t operator()(std::uint32_t pixel) const {
        if (channel_.bits == 0) return 0;
        const std::uint32_t value = (pixel & channel_.mask) >> channel_.shift;
        return table_.empty() ? ScaleToByte(value, channel_.bits) : table_[value];
    }

private:
    Channel channel_;
    std::vector<std::uint8_t> table_;
};

// Sequential reading of a byte range through a small buffer, for the run-length decoders.
class ByteStream {
public:
    ByteStream(ByteSource& source, std::uint64_t begin, std::uint64_t length)
        : source_(source), next_(begin), end_(begin + length) {}
    bool Next(std::uint8_t& byte) {
        if (at_ == have_) {
            if (next_ >= end_) return false;
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buffer_, end_ - next_));
            have_ = source_.ReadAt(next_, buffer_, want);
            at_ = 0;
            next_ = have_ < want ? end_ : next_ + have_;
            if (have_ == 0) return false;
        }
        byte = buffer_[at_++];
        return true;
    }

private:
    ByteSource& source_;
    std::uint64_t next_, end_;
    std::uint8_t buffer_[16384];
    std::size_t have_ = 0, at_ = 0;
};

void DecodeRunLength(ByteSource& source, const Layout& layout, std::uint8_t* bits, std::size_t stride) {
    const bool nibbles = layout.compression == kRle4;
    const std::int64_t width = layout.width, height = layout.height;
    ByteStream in(source, layout.pixelOffset, layout.pixelBytes);
    std::int64_t x = 0, y = 0;  // y counts rows from the bottom of the picture
    // Pixels outside the picture are dropped: runs and deltas that leave it are clipped.
    auto put = [&](std::int64_t column, std::uint8_t index) {
        if (column >= width || y >= height) return;
        std::uint8_t* p = bits + static_cast<std::size_t>(height - 1 - y) * stride + 3 * static_cast<std::size_t>(column);
        const auto& colour = layout.palette[index];
        p[0] = colour[0];
        p[1] = colour[1];
        p[2] = colour[2];
    };
    std::uint8_t count = 0, value = 0;
    while (y < height && in.Next(count) && in.Next(value)) {
        if (count > 0) {
            const std::int64_t visible = std::min<std::int64_t>(count, std::max<std::int64_t>(0, width - x));
            for (std::int64_t i = 0; i < visible; ++i) {
                const std::uint8_t index = nibbles ? ((i & 1) ? value & 0x0F : value >> 4) : value;
                put(x + i, index);
            }
            x += count;
            continue;
        }
        switch (value) {
            case 0:  // end of line
                x = 0;
                ++y;
                break;
            case 1:  // end of bitmap
                return;
            case 2: {  // delta: move right and up without writing
                std::uint8_t dx = 0, dy = 0;
                if (!in.Next(dx) || !in.Next(dy)) return;
                x += dx;
                y += dy;
                break;
            }
            default: {  // absolute run of `value` pixels, padded to a 16-bit boundary
                const std::int64_t pixels = value;
                const std::int64_t bytes = nibbles ? (pixels + 1) / 2 : pixels;
                std::uint8_t byte = 0;
                std::int64_t written = 0;
                for (std::int64_t i = 0; i < bytes; ++i) {
                    if (!in.Next(byte)) return;
                    if (nibbles) {
                        put(x + written++, byte >> 4);
                        if (written < pixels) put(x + written++, byte & 0x0F);
                    } else {
                        put(x + written++, byte);
                    }
                }
                if (bytes & 1) in.Next(byte);
                x += pixels;
                break;
            }
        }
    }
}

// Uncompressed 24-bit rows have the store's own layout: they are read straight into it.
void DecodeDirect24(ByteSource& source, const Layout& layout, std::uint8_t* bits, std::size_t stride) {
    const std::size_t height = static_cast<std::size_t>(layout.height);
    const std::size_t fullRows = std::min<std::uint64_t>(layout.pixelBytes / stride, height);
    std::vector<std::uint8_t*> rows(std::min(height, fullRows + 1));
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = bits + (layout.topDown ? i : height - 1 - i) * stride;
    std::size_t got = source.ReadRowsAt(layout.pixelOffset, rows.data(), fullRows, stride);
    if (got == fullRows * stride && fullRows < height) {
        const std::size_t rest = static_cast<std::size_t>(layout.pixelBytes - got);
        got += source.ReadAt(layout.pixelOffset + got, rows[fullRows], std::min(rest, stride));
    }
    // Row padding and any pixel the data reach only in part are cleared.
    const std::size_t pixelBytes = 3 * static_cast<std::size_t>(layout.width);
    for (std::size_t i = 0; i < rows.size() && i * stride < got; ++i) {
        const std::size_t inRow = std::min(stride, got - i * stride);
        const std::size_t keep = std::min(pixelBytes, inRow / 3 * 3);
        std::memset(rows[i] + keep, 0, stride - keep);
    }
}

void DecodeRows(ByteSource& source, const Layout& layout, std::uint8_t* bits, std::size_t stride) {
    const unsigned bitCount = layout.bitCount;
    const std::size_t rowBytes = static_cast<std::size_t>(RowBytes(static_cast<std::uint64_t>(layout.width), bitCount));
    const std::size_t height = static_cast<std::size_t>(layout.height);
    std::vector<std::uint8_t> row(rowBytes);
    const ChannelDecoder red(layout.channels[0]), green(layout.channels[1]), blue(layout.channels[2]);
    for (std::size_t fileRow = 0; fileRow < height; ++fileRow) {
        const std::uint64_t start = static_cast<std::uint64_t>(fileRow) * rowBytes;
        if (start >= layout.pixelBytes) break;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(rowBytes, layout.pixelBytes - start));
        const std::size_t got = source.ReadAt(layout.pixelOffset + start, row.data(), want);
        // Only pixels whose every bit was read are decoded.
        const std::size_t pixels = std::min<std::size_t>(got * 8 / bitCount, static_cast<std::size_t>(layout.width));
        std::uint8_t* p = bits + (layout.topDown ? fileRow : height - 1 - fileRow) * stride;
        const std::uint8_t* in = row.data();
        if (bitCount <= 8) {
            const unsigned indexMask = (1u << bitCount) - 1;
            for (std::size_t x = 0; x < pixels; ++x, p += 3) {
                const std::size_t bit = x * bitCount;
                const unsigned index = (in[bit / 8] >> (8 - bitCount - bit % 8)) & indexMask;
                const auto& colour = layout.palette[index];
                p[0] = colour[0];
                p[1] = colour[1];
                p[2] = colour[2];
            }
        } else if (bitCount == 24) {
            for (std::size_t x = 0; x < pixels; ++x, p += 3, in += 3) std::memcpy(p, in, 3);
        } else {
            const std::size_t bytesPerPixel = bitCount / 8;
            for (std::size_t x = 0; x < pixels; ++x, p += 3, in += bytesPerPixel) {
                const std::uint32_t pixel = bytesPerPixel == 2 ? U16(in) : U32(in);
                p[0] = blue(pixel);
                p[1] = green(pixel);
                p[2] = red(pixel);
            }
        }
        if (got < want) break;
    }
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

void DecodePixels(ByteSource& source, const Layout& layout, std::uint8_t* bits, std::size_t stride) {
    if (layout.empty || bits == nullptr) return;
    if (layout.compression == kRle8 || layout.compression == kRle4)
        DecodeRunLength(source, layout, bits, stride);
    else if (layout.bitCount == 24 && stride == RowBytes(static_cast<std::uint64_t>(layout.width), 24))
        DecodeDirect24(source, layout, bits, stride);
    else
        DecodeRows(source, layout, bits, stride);
}

Image Decode(ByteSource& source, const Limits& limits) {
    const Layout layout = ReadLayout(source, limits);
    Image image;
    if (layout.empty) return image;
    image.width = layout.width;
    image.height = layout.height;
    image.stride = static_cast<std::size_t>(RowBytes(static_cast<std::uint64_t>(layout.width), 24));
    try {
        image.bits.assign(image.stride * static_cast<std::size_t>(layout.height), 0);
    } catch (const std::bad_alloc&) {
        Fail(kOutOfMemory);
    }
    DecodePixels(source, layout, image.bits.data(), image.stride);
    return image;
}

}  // namespace raster::bitmap
