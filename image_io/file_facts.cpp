#include "image_io/file_facts.h"

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
