#include "image_io/file_facts.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace image_io {

// libjpeg fills a stream that stops early with grey and only warns, so a cut-off
// file would load as a picture with a grey bottom. The scan data start at the first
// start-of-scan marker (an embedded thumbnail lies before it) and cannot contain
// the bytes FF D9, so a whole file has that end-of-image marker after it.
bool JpegIsComplete(QFile& file) {
    auto readAt = [&](qint64 at, qint64 count) {
        return file.seek(at) ? file.read(count) : QByteArray();
    };
    qint64 at = 2;  // after the start-of-image marker
    for (;;) {
        const QByteArray marker = readAt(at, 4);
        if (marker.size() < 2 || static_cast<std::uint8_t>(marker[0]) != 0xFF) return false;
        const auto code = static_cast<std::uint8_t>(marker[1]);
        if (code == 0xFF) {  // a fill byte before the marker
            ++at;
            continue;
        }
        if (code == 0xDA) break;
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD9)) {  // markers without a length
            at += 2;
            continue;
        }
        if (marker.size() < 4) return false;
        at += 2 + (static_cast<std::uint8_t>(marker[2]) << 8 | static_cast<std::uint8_t>(marker[3]));
    }
    // Search back from the end: the marker is normally in the last few bytes, with
    // at most some trailing data after it.
    constexpr qint64 kChunk = 1 << 16;
    for (qint64 end = file.size(); end > at;) {
        const qint64 begin = std::max(at, end - kChunk);
        // One byte more, so that a marker across two chunks is seen.
        if (readAt(begin, end - begin + 1).contains("\xFF\xD9")) return true;
        end = begin;
    }
    return false;
}

// Qt's GIF reader hands back a cut-off first frame with its missing rows black.
// Walk the blocks up to the end of the first frame's data to see that it is all there.
bool GifFirstFrameIsComplete(QFile& file) {
    const QByteArray header = file.seek(0) ? file.read(13) : QByteArray();
    if (header.size() < 13) return false;
    auto tableBytes = [](std::uint8_t flags) { return flags & 0x80 ? 3 << ((flags & 7) + 1) : 0; };
    qint64 at = 13 + tableBytes(static_cast<std::uint8_t>(header[10]));
    auto byteAt = [&](qint64 where) -> int {
        char c;
        return file.seek(where) && file.getChar(&c) ? static_cast<std::uint8_t>(c) : -1;
    };
    // Data sub-blocks: a length byte and that many bytes, until a length of 0.
    auto skipSubBlocks = [&]() {
        for (int length; (length = byteAt(at)) > 0;) at += 1 + length;
        return byteAt(at++) == 0;
    };
    for (;;) {
        const int introducer = byteAt(at);
        if (introducer == 0x21) {  // an extension: its label, then sub-blocks
            at += 2;
            if (!skipSubBlocks()) return false;
        } else if (introducer == 0x2C) {  // the frame: descriptor, colour table, code size, data
            const int flags = byteAt(at + 9);
            if (flags < 0) return false;
            at += 10 + tableBytes(static_cast<std::uint8_t>(flags)) + 1;
            return skipSubBlocks();
        } else {
            return false;
        }
    }
}

namespace {

std::string Size(std::uint64_t width, std::uint64_t height) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

// A real GIF's first frame normally covers the screen, and an animation of small
// patches still covers a good part of it over all its frames: a screen more than
// 64 times the frames' rectangles (clipped to it, added up frame by frame, each
// no more than its data can paint) has nothing to show. Screens up to a few megapixels cost Qt little and are never doubted.
std::string GifScreenIsImplausible(QFile& file) {
    constexpr std::uint64_t kFewestPixelsToDoubt = 4 << 20;
    constexpr std::uint64_t kMostScreenPerFramePixel = 64;
    // An LZW code of 12 bits stands for at most 4096 pixels.
    constexpr std::uint64_t kMostPixelsPerDataByte = 2731;
    const QByteArray header = file.seek(0) ? file.read(13) : QByteArray();
    if (header.size() < 13) return {};
    const auto* h = reinterpret_cast<const std::uint8_t*>(header.constData());
    const std::uint64_t width = h[6] | h[7] << 8, height = h[8] | h[9] << 8;
    const std::uint64_t screen = width * height;
    if (screen <= kFewestPixelsToDoubt) return {};
    auto tableBytes = [](int flags) { return flags & 0x80 ? 3 << ((flags & 7) + 1) : 0; };
    auto byteAt = [&](qint64 where) -> int {
        char c;
        return file.seek(where) && file.getChar(&c) ? static_cast<std::uint8_t>(c) : -1;
    };
    auto skipSubBlocks = [&](qint64& at, std::uint64_t& bytes) {
        for (int length; (length = byteAt(at)) > 0;) at += 1 + length, bytes += static_cast<std::uint64_t>(length);
        return byteAt(at++) == 0;
    };
    std::uint64_t covered = 0, unused = 0;
    qint64 at = 13 + tableBytes(h[10]);
    // Up to the trailer, or to where the file ends or stops making sense: the
    // frames up to there are all a reader can show.
    for (bool more = true; more && covered * kMostScreenPerFramePixel < screen;) {
        const int introducer = byteAt(at);
        if (introducer == 0x21) {
            at += 2;
            more = skipSubBlocks(at, unused);
        } else if (introducer == 0x2C) {
            const QByteArray descriptor = file.read(9);
            if (descriptor.size() < 9) break;
            const auto* d = reinterpret_cast<const std::uint8_t*>(descriptor.constData());
            const std::uint64_t left = d[0] | d[1] << 8, top = d[2] | d[3] << 8;
            const std::uint64_t right = std::min(width, left + (d[4] | d[5] << 8));
            const std::uint64_t bottom = std::min(height, top + (d[6] | d[7] << 8));
            at += 10 + tableBytes(d[8]) + 1;  // the descriptor, its colour table, the code size
            std::uint64_t data = 0;
            more = skipSubBlocks(at, data);
            // A frame paints no more than its codes can stand for.
            if (right > left && bottom > top)
                covered += std::min((right - left) * (bottom - top), data * kMostPixelsPerDataByte);
        } else {
            break;
        }
    }
    if (covered * kMostScreenPerFramePixel >= screen) return {};
    return "a screen of " + Size(width, height) + " around frames of " + std::to_string(covered) + " pixels in all";
}

// Deflate turns one byte into at most 1032 (a 258-byte copy coded in two bits);
// the rows of a PNG, each with its filter byte, cannot be more than that of its
// image data, with room to spare.
std::string PngDataAreImplausible(QFile& file) {
    constexpr std::uint64_t kMostInflatedPerByte = 1100;
    constexpr std::uint64_t kSpare = 1 << 16;
    const QByteArray header = file.seek(0) ? file.read(8 + 8 + 13) : QByteArray();
    if (header.size() < 29 || !header.startsWith("\x89PNG\r\n\x1A\n") || header.mid(8, 8) != QByteArray("\0\0\0\x0DIHDR", 8))
        return {};  // libpng's to judge
    const auto* h = reinterpret_cast<const std::uint8_t*>(header.constData()) + 16;
    auto number = [](const std::uint8_t* b) { return std::uint64_t(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3]; };
    const std::uint64_t width = number(h), height = number(h + 4);
    const int depth = h[8], colourType = h[9], interlace = h[12];
    static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    if (width == 0 || height == 0 || depth == 0 || colourType > 6 || kChannels[colourType] == 0) return {};
    const std::uint64_t bitsPerPixel = static_cast<std::uint64_t>(kChannels[colourType]) * depth;

    const qint64 size = file.size();
    std::uint64_t data = 0;
    for (qint64 at = 8; at + 8 <= size && file.seek(at);) {
        const QByteArray chunk = file.read(8);
        if (chunk.size() < 8) break;
        const std::uint64_t length = number(reinterpret_cast<const std::uint8_t*>(chunk.constData()));
        const QByteArray type = chunk.mid(4);
        if (type == "IDAT") data += std::min<std::uint64_t>(length, static_cast<std::uint64_t>(size - at - 8));
        if (type == "IEND") break;
        at += 12 + static_cast<qint64>(length);
    }
    // What the rows need, pass by pass for an interlaced image, counted down from
    // what the data can give so that nothing overflows.
    std::uint64_t budget = data * kMostInflatedPerByte + kSpare;
    auto takeRows = [&](std::uint64_t rows, std::uint64_t columns) {
        if (rows == 0 || columns == 0) return true;
        const std::uint64_t rowBytes = 1 + (columns * bitsPerPixel + 7) / 8;
        if (rows > budget / rowBytes) return false;
        budget -= rows * rowBytes;
        return true;
    };
    static const int kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                      {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    bool fits = true;
    if (interlace == 0) {
        fits = takeRows(height, width);
    } else {
        for (const auto& pass : kPasses) {
            auto count = [](std::uint64_t whole, int start, int step) {
                return whole > static_cast<std::uint64_t>(start) ? (whole - start + step - 1) / step : 0;
            };
            fits = fits && takeRows(count(height, pass[1], pass[3]), count(width, pass[0], pass[2]));
        }
    }
    if (fits) return {};
    return Size(width, height) + " cannot come from " + std::to_string(data) + " bytes of image data";
}

}  // namespace

std::string ImplausibleHeader(QFile& file, const QByteArray& format) {
    const qint64 position = file.pos();
    const std::string reason = format == "gif" ? GifScreenIsImplausible(file)
                               : format == "png" ? PngDataAreImplausible(file)
                                                 : std::string();
    file.seek(position);
    return reason;
}

// The orientation tag (1..8) of an Exif block (a TIFF header and its first
// directory), or 0 when it has none. Some writers put "Exif\0\0" before the header.
int ExifOrientation(QByteArray exif) {
    if (exif.startsWith(QByteArrayLiteral("Exif\0\0"))) exif.remove(0, 6);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(exif.constData());
    const qsizetype size = exif.size();
    if (size < 8 || (exif[0] != exif[1]) || (exif[0] != 'I' && exif[0] != 'M')) return 0;
    const bool little = exif[0] == 'I';
    auto number = [&](qsizetype at, int count) -> std::uint32_t {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i)
            value |= static_cast<std::uint32_t>(bytes[at + i]) << 8 * (little ? i : count - 1 - i);
        return value;
    };
    const std::uint32_t directory = number(4, 4);
    if (number(2, 2) != 42 || directory > static_cast<std::uint64_t>(size) - 2) return 0;
    const std::uint32_t entries = number(directory, 2);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint64_t at = directory + 2 + 12ull * i;
        if (at + 12 > static_cast<std::uint64_t>(size)) return 0;
        // Tag 0x0112, one SHORT, its value in the entry's first two value bytes.
        if (number(static_cast<qsizetype>(at), 2) == 0x0112 && number(static_cast<qsizetype>(at) + 2, 2) == 3) {
            const std::uint32_t value = number(static_cast<qsizetype>(at) + 8, 2);
            return value >= 1 && value <= 8 ? static_cast<int>(value) : 0;
        }
    }
    return 0;
}

// The Exif block of a PNG (an eXIf chunk before the image data) or a WebP (an
// EXIF chunk), which Qt's readers of those formats do not look at.
QByteArray ExifBlock(QFile& file, const QByteArray& format) {
    constexpr qint64 kMostExif = 1 << 20;  // far more than any orientation needs
    const bool png = format == "png";
    if (!png && format != "webp") return {};
    qint64 at = png ? 8 : 12;  // after the signature; after "RIFF", the size and "WEBP"
    while (file.seek(at)) {
        const QByteArray header = file.read(8);
        if (header.size() < 8) return {};
        const auto* h = reinterpret_cast<const std::uint8_t*>(header.constData());
        const QByteArray type = png ? header.mid(4, 4) : header.left(4);
        const qint64 length = png ? qint64(h[0]) << 24 | h[1] << 16 | h[2] << 8 | h[3]
                                  : qint64(h[7]) << 24 | h[6] << 16 | h[5] << 8 | h[4];
        if (type == (png ? "eXIf" : "EXIF")) return length <= kMostExif ? file.read(length) : QByteArray();
        if (png && (type == "IDAT" || type == "IEND")) return {};
        at += 8 + length + (png ? 4 : length & 1);  // a PNG chunk's check sum; a RIFF chunk's pad byte
    }
    return {};
}

// What a PNG says about its colours, from the chunks before its image data: an
// embedded profile, else sRGB when it says so, else its gamma and chromaticities.
colour::Source PngColour(QFile& file) {
    colour::Source source;
    constexpr qint64 kMostProfile = 4 << 20;
    for (qint64 at = 8; file.seek(at);) {
        const QByteArray header = file.read(8);
        if (header.size() < 8) break;
        const auto* h = reinterpret_cast<const std::uint8_t*>(header.constData());
        const qint64 length = qint64(h[0]) << 24 | h[1] << 16 | h[2] << 8 | h[3];
        const QByteArray type = header.mid(4, 4);
        if (type == "IDAT" || type == "IEND") break;
        if (type == "iCCP" && length <= kMostProfile) {
            const QByteArray body = file.read(length);
            const qsizetype name = body.indexOf('\0');
            // After the name and the compression method: a zlib stream, which
            // qUncompress takes after a (big-endian) size hint.
            if (name >= 0 && name + 2 < body.size()) {
                QByteArray packed("\0\1\0\0", 4);  // 64 KiB to start with; it grows as needed
                packed += body.mid(name + 2);
                const QByteArray profile = qUncompress(packed);
                if (!profile.isEmpty()) return colour::FromProfile(std::vector<std::uint8_t>(profile.begin(), profile.end()));
            }
        } else if (type == "sRGB") {
            return {};
        } else if ((type == "gAMA" && length == 4) || (type == "cHRM" && length == 32)) {
            const QByteArray body = file.read(length);
            const auto* b = reinterpret_cast<const std::uint8_t*>(body.constData());
            std::vector<double> values;
            for (qsizetype i = 0; i + 4 <= body.size(); i += 4)
                values.push_back((std::uint32_t(b[i]) << 24 | b[i + 1] << 16 | b[i + 2] << 8 | b[i + 3]) / 100000.0);
            if (type == "gAMA" && values.size() == 1) source.gamma = values[0];
            if (type == "cHRM" && values.size() == 8) source.chromaticities = values;
        }
        at += 12 + length;
    }
    // Chromaticities without a gamma say nothing about the tone curve: sRGB.
    if (source.gamma <= 0) return {};
    return source;
}

}  // namespace image_io
