// The BMP reader's second half: the pixel data, decoded into the store as the
// headers (raster/bitmap_layout.cpp) describe them.
#include "raster/bitmap_decoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "raster/bitmap_bytes.h"

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

}  // namespace

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
