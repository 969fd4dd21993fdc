// JPEG markers before the scan, and four-channel (CMYK, YCCK) JPEGs through
// libjpeg-turbo itself, so that their profile sees the ink values as stored.
#include <turbojpeg.h>

#include <cstring>
#include <map>
#include <memory>

#include "image_io/image_file.h"
#include "image_io/pixels.h"
#include "platform/gdi/gdi.h"

namespace image_io {

JpegFacts ScanJpeg(const std::uint8_t* data, std::size_t size) {
    JpegFacts facts;
    std::map<int, std::vector<std::uint8_t>> iccPieces;  // by sequence number, from 1
    int iccCount = 0;
    std::size_t at = 2;  // after the start-of-image marker
    while (at + 4 <= size) {
        if (data[at] != 0xFF) break;
        const std::uint8_t code = data[at + 1];
        if (code == 0xFF) {  // a fill byte
            ++at;
            continue;
        }
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD8)) {  // markers without a length
            at += 2;
            continue;
        }
        if (code == 0xDA || code == 0xD9) {
            facts.scanFound = true;
            break;
        }
        const std::size_t length = static_cast<std::size_t>(data[at + 2]) << 8 | data[at + 3];
        if (length < 2 || at + 2 + length > size) break;
        const std::uint8_t* body = data + at + 4;
        const std::size_t bodySize = length - 2;
        auto starts = [&](const char* text, std::size_t count) {
            return bodySize >= count && std::memcmp(body, text, count) == 0;
        };
        const bool frame = code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
        if (frame && bodySize >= 6) {
            facts.components = body[5];
        } else if (code == 0xEE && starts("Adobe", 5)) {
            facts.adobe = true;
        } else if (code == 0xE2 && starts("ICC_PROFILE\0", 12) && bodySize >= 14) {
            iccCount = body[13];
            iccPieces[body[12]].assign(body + 14, body + bodySize);
        } else if (code == 0xE1 && starts("Exif\0\0", 6) && facts.exif.empty()) {
            facts.exif.assign(body + 6, body + bodySize);
        }
        at += 2 + length;
    }
    // A profile missing a piece is no profile.
    if (iccCount > 0 && static_cast<int>(iccPieces.size()) == iccCount && iccPieces.begin()->first == 1 &&
        iccPieces.rbegin()->first == iccCount)
        for (const auto& piece : iccPieces) facts.icc.insert(facts.icc.end(), piece.second.begin(), piece.second.end());
    return facts;
}

void LoadCmykJpeg(const std::vector<std::uint8_t>& file, TWin& image) {
    struct Freer {
        void operator()(void* handle) const { tjDestroy(handle); }
    };
    const std::unique_ptr<void, Freer> handle(tjInitDecompress());
    if (!handle) throw LoadError(kOutOfMemoryError);
    auto fail = [&] {
        throw LoadError(DamagedImageError("JPEG", tjGetErrorStr2(handle.get())));
    };
    int width = 0, height = 0, subsampling = 0, space = 0;
    if (tjDecompressHeader3(handle.get(), file.data(), file.size(), &width, &height, &subsampling, &space) != 0) fail();
    CheckPixelCount(static_cast<std::uint64_t>(std::max(width, 0)), static_cast<std::uint64_t>(std::max(height, 0)));
    const std::size_t bytes = 4 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (width <= 0 || height <= 0) fail();
    if (!platform::gdi::ImageAllocationAllowed(bytes)) throw LoadError(kOutOfMemoryError);
    std::vector<std::uint8_t> ink(bytes);
    // At most 500 scans: a file of endless progressive scans is refused, not decoded for ever.
    if (tjDecompress2(handle.get(), file.data(), file.size(), ink.data(), width, 4 * width, height, TJPF_CMYK,
                      TJFLAG_LIMITSCANS) != 0 &&
        tjGetErrorCode(handle.get()) == TJERR_FATAL)
        fail();
    const JpegFacts facts = ScanJpeg(file.data(), file.size());
    TWin result(width, height);
    if (!result.HasPixels()) throw LoadError(kOutOfMemoryError);
    DecodedPixels pixels;
    pixels.width = width, pixels.height = height, pixels.model = colour::Model::Cmyk, pixels.inverted = facts.adobe;
    pixels.stride = 4 * static_cast<std::size_t>(width), pixels.data = ink.data();
    colour::Source source;
    source.icc = facts.icc;
    PutPixels(pixels, source, result);
    image.Swap(result);
}

}  // namespace image_io
