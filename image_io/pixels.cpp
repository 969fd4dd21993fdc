// Decoded samples into the raster's blue-green-red rows, and telling file kinds
// apart by their first bytes.
#include "image_io/pixels.h"

#include <lcms2.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "image_io/image_file.h"
#include "platform/threads/parallel.h"

namespace image_io {
namespace {

constexpr int kBandRows = 16;
constexpr const char* kVideos = "Videos";

inline std::uint8_t OverBlack(std::uint32_t channel, std::uint32_t alpha) {
    const std::uint32_t t = channel * alpha + 128;
    return static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
}

// Untagged CMYK as browsers show it: each ink takes its share of the light away.
inline std::uint8_t Ink(std::uint32_t colour, std::uint32_t black) {
    const std::uint32_t t = (255 - colour) * (255 - black) + 128;
    return static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
}

// Runs rows(y0, y1) over the picture in bands, on the render's threads when it is large.
template <typename Rows>
void InBands(const DecodedPixels& pixels, Rows rows) {
    const int bands = (pixels.height + kBandRows - 1) / kBandRows;
    auto band = [&](int b) { rows(b * kBandRows, std::min(pixels.height, (b + 1) * kBandRows)); };
    if (static_cast<long long>(pixels.width) * pixels.height >= parallel::kFewestPixelsToShare) {
        parallel::RunOn(parallel::Threads(), [&] { parallel::ForEach(bands, band); });
        return;
    }
    for (int b = 0; b < bands; ++b) band(b);
}

// A DNG is a TIFF whose first directory has the DNGVersion tag.
bool IsDng(const std::uint8_t* head, std::size_t size) {
    if (size < 8 || !((head[0] == 'I' && head[1] == 'I' && head[2] == 42) || (head[0] == 'M' && head[1] == 'M' && head[3] == 42)))
        return false;
    const bool little = head[0] == 'I';
    auto number = [&](std::size_t at, int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) value |= static_cast<std::uint32_t>(head[at + i]) << 8 * (little ? i : count - 1 - i);
        return value;
    };
    const std::uint64_t directory = number(4, 4);
    if (directory + 2 > size) return false;
    const std::uint32_t entries = number(directory, 2);
    for (std::uint32_t i = 0; i < entries && directory + 2 + 12ull * (i + 1) <= size; ++i)
        if (number(directory + 2 + 12ull * i, 2) == 50706) return true;
    return false;
}

}  // namespace

void CheckPixelCount(std::uint64_t width, std::uint64_t height) {
    const std::uint64_t pixels = width * height;
    if (pixels <= kMaxPixels && width < (1u << 30) && height < (1u << 30)) return;
    throw LoadError(TooManyPixelsError(static_cast<std::int64_t>(width), static_cast<std::int64_t>(height), kMaxPixels));
}

void PutPixels(const DecodedPixels& pixels, const colour::Source& source, TWin& target) {
    using colour::Model;
    const bool plainRgb = pixels.model == Model::Rgb && pixels.bytesPerSample == 1;
    // Grey and 16-bit samples go through LittleCMS even when they are sRGB: it
    // widens grey to three channels and rounds 16 bits to 8.
    const colour::ToSrgb toSrgb(source, pixels.model,
                                colour::Layout(pixels.model, pixels.bytesPerSample, pixels.alpha, pixels.inverted),
                                pixels.alpha ? TYPE_BGRA_8 : TYPE_BGR_8, pixels.alpha,
                                /*evenForSrgb=*/!plainRgb && pixels.model != Model::Cmyk);
    const int width = pixels.width;
    if (toSrgb) {
        InBands(pixels, [&](int y0, int y1) {
            std::vector<std::uint8_t> converted(pixels.alpha ? 4 * static_cast<std::size_t>(width) : 0);
            for (int y = y0; y < y1; ++y) {
                const std::uint8_t* in = pixels.data + y * pixels.stride;
                std::uint8_t* out = target.PixelAddress(0, y);
                if (!pixels.alpha) {
                    toSrgb.Apply(in, out, width);
                    continue;
                }
                toSrgb.Apply(in, converted.data(), width);
                for (int x = 0; x < width; ++x, out += 3) {
                    const std::uint8_t* p = &converted[4 * x];
                    out[0] = OverBlack(p[0], p[3]), out[1] = OverBlack(p[1], p[3]), out[2] = OverBlack(p[2], p[3]);
                }
            }
        });
        return;
    }
    if (pixels.model == Model::Cmyk) {
        InBands(pixels, [&](int y0, int y1) {
            for (int y = y0; y < y1; ++y) {
                const std::uint8_t* in = pixels.data + y * pixels.stride;
                std::uint8_t* out = target.PixelAddress(0, y);
                const std::uint8_t flip = pixels.inverted ? 255 : 0;
                for (int x = 0; x < width; ++x, in += 4, out += 3) {
                    const std::uint8_t k = in[3] ^ flip;
                    out[0] = Ink(in[2] ^ flip, k), out[1] = Ink(in[1] ^ flip, k), out[2] = Ink(in[0] ^ flip, k);
                }
            }
        });
        return;
    }
    if (!plainRgb) throw LoadError(kOutOfMemoryError);  // LittleCMS could not build its own sRGB
    InBands(pixels, [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            const std::uint8_t* in = pixels.data + y * pixels.stride;
            std::uint8_t* out = target.PixelAddress(0, y);
            if (pixels.alpha) {
                for (int x = 0; x < width; ++x, in += 4, out += 3)
                    out[0] = OverBlack(in[2], in[3]), out[1] = OverBlack(in[1], in[3]), out[2] = OverBlack(in[0], in[3]);
            } else {
                for (int x = 0; x < width; ++x, in += 3, out += 3) out[0] = in[2], out[1] = in[1], out[2] = in[0];
            }
        }
    });
}

void ApplyOrientation(TWin& image, int orientation) {
    if (orientation < 2 || orientation > 8) return;
    const int w = image.Width(), h = image.Height();
    const bool turn = orientation >= 5;
    TWin turned(turn ? h : w, turn ? w : h);
    if (!turned.HasPixels()) throw LoadError(kOutOfMemoryError);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* in = image.PixelAddress(0, y);
        for (int x = 0; x < w; ++x, in += 3) {
            int tx = x, ty = y;
            switch (orientation) {
                case 2: tx = w - 1 - x; break;
                case 3: tx = w - 1 - x, ty = h - 1 - y; break;
                case 4: ty = h - 1 - y; break;
                case 5: tx = y, ty = x; break;
                case 6: tx = h - 1 - y, ty = x; break;
                case 7: tx = h - 1 - y, ty = w - 1 - x; break;
                case 8: tx = y, ty = w - 1 - x; break;
            }
            std::memcpy(turned.PixelAddress(tx, ty), in, 3);
        }
    }
    image.Swap(turned);
}

bool IsVideoContainer(const std::uint8_t* head, std::size_t size) {
    const Recognised recognised = Recognise(head, size);
    return recognised.kind == Kind::Unsupported && recognised.name.rfind(kVideos, 0) == 0;
}

Recognised Recognise(const std::uint8_t* head, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(head), size);
    auto at = [&](std::size_t offset, std::string_view what) {
        return offset <= size && bytes.substr(offset, what.size()) == what;
    };
    auto unsupported = [](const std::string& what) {
        return Recognised{Kind::Unsupported, what + " are not supported; open a PNG, JPEG, HEIC, AVIF, JPEG XL, WebP, "
                                                    "TIFF, GIF or BMP image instead"};
    };
    if (at(4, "ftyp") && size >= 16) {
        const std::uint32_t boxSize = static_cast<std::uint32_t>(head[0]) << 24 | head[1] << 16 | head[2] << 8 | head[3];
        const std::size_t end = std::min<std::size_t>(std::max<std::uint32_t>(boxSize, 16), size);
        bool heic = false, avif = false, raw = false;
        for (std::size_t offset = 8; offset + 4 <= end; offset += offset == 8 ? 8 : 4) {
            const std::string_view brand = bytes.substr(offset, 4);
            avif = avif || brand == "avif" || brand == "avis";
            heic = heic || brand == "heic" || brand == "heix" || brand == "hevc" || brand == "heim" || brand == "heis" ||
                   brand == "hevm" || brand == "hevs" || brand == "mif1" || brand == "msf1";
            raw = raw || brand == "crx ";
        }
        if (raw) return unsupported("Camera raw files");
        if (avif) return {Kind::Heif, "AVIF"};
        if (heic) return {Kind::Heif, "HEIC"};
        return unsupported(kVideos);
    }
    if (at(0, "\xFF\x0A") || at(0, std::string_view("\0\0\0\x0CJXL \r\n\x87\n", 12))) return {Kind::JpegXl, "JPEG XL"};
    if (at(0, "8BPS")) return unsupported("Photoshop documents");
    // Qt's MNG reader (libmng) would take a lone PNG header after the signature
    // and invent the rows the file does not have.
    if (at(0, "\x8AMNG\r\n\x1A\n") || at(0, "\x8BJNG\r\n\x1A\n")) return unsupported("MNG and JNG images");
    if (at(0, "%PDF")) return unsupported("PDF documents");
    if (at(0, "\x1A\x45\xDF\xA3") || (at(0, "RIFF") && at(8, "AVI "))) return unsupported(kVideos);
    // Camera raw files, by their own signatures or those on a TIFF header.
    if ((at(0, "II*") && at(8, "CR\x02")) || at(0, "IIRO") || at(0, "IIRS") || at(0, "MMOR") || at(0, "IIU") ||
        at(0, "FUJIFILMCCD-RAW") || (at(0, "II\x1A") && at(6, "HEAPCCDR")) || IsDng(head, size))
        return unsupported("Camera raw files");
    // SVG: XML text whose first element is an svg.
    std::size_t start = at(0, "\xEF\xBB\xBF") ? 3 : 0;
    while (start < size && (bytes[start] == ' ' || bytes[start] == '\t' || bytes[start] == '\r' || bytes[start] == '\n'))
        ++start;
    if (at(start, "<svg") || ((at(start, "<?xml") || at(start, "<!DOCTYPE svg") || at(start, "<!--")) &&
                              bytes.find("<svg", start) != std::string_view::npos))
        return unsupported("SVG drawings");
    return {};
}

}  // namespace image_io
