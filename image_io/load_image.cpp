// Reading any image file into a TWin: BMP through the raster's own reader, the
// rest through Qt's image readers, converted straight into the raster's 24-bit
// blue-green-red rows.
#include <unistd.h>

#include <QColorSpace>
#include <QColorTransform>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <memory>
#include <utility>
#include <vector>

#include <lcms2.h>

#include "files/open_file.h"
#include "image_io/colour.h"
#include "image_io/file_facts.h"
#include "image_io/image_file.h"
#include "image_io/pixels.h"
#include "raster/load_errors.h"
#include "platform/gdi/gdi.h"
#include "platform/threads/parallel.h"

namespace image_io {
namespace {

// Qt counts its limit in megabytes of decoded image and refuses large photos by
// default; ours is in pixels, and the widest pixels a reader hands back are 8 bytes.
constexpr int kQtAllocationLimitMegabytes = static_cast<int>((kMaxPixels * 8 + (1u << 20) - 1) >> 20);

// How many source rows are converted together: enough for a turned image to write
// whole runs of bytes into each target row, few enough to stay in the cache.
constexpr int kBandRows = 16;

std::string DisplayName(const QByteArray& format) {
    if (format == "jpeg" || format == "jpg") return "JPEG";
    if (format == "webp") return "WebP";
    if (format == "tif") return "TIFF";
    return format.toUpper().toStdString();
}

void CheckPixelCount(const QSize& size) {
    image_io::CheckPixelCount(static_cast<std::uint64_t>(std::max(0, size.width())),
                              static_cast<std::uint64_t>(std::max(0, size.height())));
}

// The colours of a picture Qt decoded: from the file's own chunks for the formats
// whose colour information Qt reads only in part (a JPEG's grey or CMYK profile, a
// PNG's gamma), from Qt's reading of the profile for the others.
colour::Source ColourOf(QFile& file, const QByteArray& format, const QImage& decoded, const JpegFacts* jpeg) {
    if (jpeg) return colour::FromProfile(jpeg->icc);
    if (format == "png") return PngColour(file);
    const QColorSpace space = decoded.colorSpace();
    if (!space.isValid() || space == QColorSpace(QColorSpace::SRgb)) return {};
    const QByteArray icc = space.iccProfile();
    return colour::FromProfile(std::vector<std::uint8_t>(icc.begin(), icc.end()));
}

// The samples' model that a profile is made for: grey or (whatever else) RGB.
colour::Model ProfileModel(const std::vector<std::uint8_t>& icc) {
    return icc.size() >= 20 && std::memcmp(&icc[16], "GRAY", 4) == 0 ? colour::Model::Grey : colour::Model::Rgb;
}

// What an orientation tag asks for, as Qt's readers say it for the formats they tag.
QImageIOHandler::Transformations TransformationFor(int orientation) {
    using T = QImageIOHandler;
    static const QImageIOHandler::Transformations kFor[9] = {
        T::TransformationNone,      T::TransformationNone,     T::TransformationMirror,
        T::TransformationRotate180, T::TransformationFlip,     T::TransformationFlipAndRotate90,
        T::TransformationRotate90,  T::TransformationMirrorAndRotate90, T::TransformationRotate270};
    return kFor[orientation];
}

// Composites a channel over black, rounding as a premultiplication does.
inline std::uint8_t OverBlack(std::uint32_t channel, std::uint32_t alpha) {
    const std::uint32_t t = channel * alpha + 128;
    return static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
}

template <bool Composite>
inline void PutPixel(std::uint8_t* target, QRgb pixel) {
    if constexpr (Composite) {
        const std::uint32_t alpha = pixel >> 24;
        target[0] = OverBlack(pixel & 0xFF, alpha);
        target[1] = OverBlack((pixel >> 8) & 0xFF, alpha);
        target[2] = OverBlack((pixel >> 16) & 0xFF, alpha);
    } else {
        target[0] = static_cast<std::uint8_t>(pixel);
        target[1] = static_cast<std::uint8_t>(pixel >> 8);
        target[2] = static_cast<std::uint8_t>(pixel >> 16);
    }
}

// The common case, an opaque row left to right: four pixels become three 32-bit
// words, so that the compiler need not store byte by byte.
void PackRow(const QRgb* in, std::uint8_t* out, int width) {
    static_assert(std::endian::native == std::endian::little);
    int x = 0;
    for (; x + 4 <= width; x += 4, out += 12) {
        const std::uint32_t a = in[x] & 0xFFFFFF, b = in[x + 1] & 0xFFFFFF, c = in[x + 2] & 0xFFFFFF,
                            d = in[x + 3] & 0xFFFFFF;
        const std::uint32_t words[3] = {a | b << 24, b >> 8 | c << 16, c >> 16 | d << 8};
        std::memcpy(out, words, 12);  // little-endian: blue, green, red, blue, ...
    }
    for (; x < width; ++x, out += 3) PutPixel<false>(out, in[x]);
}

// Where source rows land in the target: the orientation tag mirrors (left-right),
// flips (top-bottom), then turns a quarter clockwise, in that order.
struct Orientation {
    int width, height;  // of the source
    bool mirror, flip, turn;

    // The target size.
    int TargetWidth() const { return turn ? height : width; }
    int TargetHeight() const { return turn ? width : height; }

    // The target address of source pixel (0, y); `step` is the distance in bytes
    // to the next source pixel's target.
    std::uint8_t* RowStart(const TWin& target, int y, std::ptrdiff_t& step) const {
        const int flipped = flip ? height - 1 - y : y;
        if (!turn) {
            step = mirror ? -3 : 3;
            return target.PixelAddress(mirror ? width - 1 : 0, flipped);
        }
        step = mirror ? -static_cast<std::ptrdiff_t>(target.Stride) : static_cast<std::ptrdiff_t>(target.Stride);
        return target.PixelAddress(height - 1 - flipped, mirror ? width - 1 : 0);
    }
};

// Writes `count` rows of 32-bit pixels (source rows y0...) into the target.
template <bool Composite>
void PutBand(const TWin& target, const Orientation& orientation, int y0, const QRgb* const* rows, int count) {
    std::uint8_t* starts[kBandRows];
    std::ptrdiff_t step = 0;
    for (int r = 0; r < count; ++r) starts[r] = orientation.RowStart(target, y0 + r, step);
    const int width = orientation.width;
    if (!orientation.turn) {
        for (int r = 0; r < count; ++r) {
            std::uint8_t* out = starts[r];
            const QRgb* in = rows[r];
            if (!Composite && step == 3)
                PackRow(in, out, width);
            else
                for (int x = 0; x < width; ++x, out += step) PutPixel<Composite>(out, in[x]);
        }
        return;
    }
    // Turned: the band's rows are neighbouring target columns, so go along the
    // source column by column and write each target row's few bytes together.
    for (int x = 0; x < width; ++x) {
        const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(x) * step;
        for (int r = 0; r < count; ++r) PutPixel<Composite>(starts[r] + offset, rows[r][x]);
    }
}

// Converts the decoded picture into `target` (already of the oriented size) in one
// pass, a band of rows at a time.
void PutDecoded(const QImage& decoded, const Orientation& orientation, TWin& target, const colour::Source& source) {
    // The bands are Qt's 32-bit blue-green-red-alpha; a grey profile reads the blue
    // of each and writes all three in place, leaving alpha as it was.
    const colour::Model model = ProfileModel(source.icc);
    const std::uint32_t layout = model == colour::Model::Grey
                                     ? COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | EXTRA_SH(3) | BYTES_SH(1)
                                     : TYPE_BGRA_8;
    std::unique_ptr<colour::ToSrgb> toSrgb;
    if (!colour::IsSrgb(source)) {
        toSrgb = std::make_unique<colour::ToSrgb>(source, model, layout, TYPE_BGRA_8, model == colour::Model::Rgb);
        if (!*toSrgb) toSrgb.reset();
    }
    const bool convertColours = toSrgb != nullptr;
    const QImage::Format format = decoded.format();
    // Qt's own 32-bit layouts are read in place; premultiplied pixels are already
    // composited over black.
    const bool inPlace = !convertColours && (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
                                             format == QImage::Format_ARGB32_Premultiplied);
    // Otherwise Qt converts each band: premultiplied, which composites over black at
    // the source's own precision, unless the colours are converted first.
    const QImage::Format bandFormat = convertColours ? QImage::Format_ARGB32 : QImage::Format_ARGB32_Premultiplied;
    const bool composite = inPlace ? format == QImage::Format_ARGB32 : convertColours && decoded.hasAlphaChannel();
    auto putBand = [&](int y0) {
        const int count = std::min(kBandRows, orientation.height - y0);
        const QRgb* rows[kBandRows];
        QImage band;
        if (inPlace) {
            for (int r = 0; r < count; ++r) rows[r] = reinterpret_cast<const QRgb*>(decoded.constScanLine(y0 + r));
        } else {
            band = decoded.copy(0, y0, orientation.width, count).convertToFormat(bandFormat);
            if (band.isNull()) throw LoadError(kOutOfMemoryError);
            if (convertColours)
                for (int r = 0; r < count; ++r) toSrgb->Apply(band.constScanLine(r), band.scanLine(r), orientation.width);
            for (int r = 0; r < count; ++r) rows[r] = reinterpret_cast<const QRgb*>(band.constScanLine(r));
        }
        if (composite)
            PutBand<true>(target, orientation, y0, rows, count);
        else
            PutBand<false>(target, orientation, y0, rows, count);
    };
    const int bands = (orientation.height + kBandRows - 1) / kBandRows;
    if (inPlace && static_cast<long long>(orientation.width) * orientation.height >= parallel::kFewestPixelsToShare) {
        // Each band writes pixels of its own and nothing in it can fail: the
        // render's threads share them out.
        parallel::RunOn(parallel::Threads(),
                        [&] { parallel::ForEach(bands, [&](int band) { putBand(band * kBandRows); }); });
        return;
    }
    for (int band = 0; band < bands; ++band) putBand(band * kBandRows);
}

// A file to hand to Qt's readers: a regular file, opened without waiting on a pipe
// or device and shared-locked as the BMP reader does, whose first bytes are not
// "BM". Anything else (including a file that cannot be opened) is the BMP
// reader's to judge, with its own messages.
bool OpenForQt(const std::string& name, QFile& file) {
    std::uint64_t size = 0;
    const int descriptor = files::OpenForReading(name, size);
    if (descriptor < 0) return false;
    char magic[2] = {};
    const bool ok = !(::pread(descriptor, magic, 2, 0) == 2 && magic[0] == 'B' && magic[1] == 'M');
    if (!ok || !file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        return false;
    }
    return true;
}

void CopyInto(const TWin& image, TWin* copy) {
    if (!copy) return;
    TWin second(image.Width(), image.Height());
    if (!second.HasPixels()) throw LoadError(kOutOfMemoryError);
    std::memcpy(second.Bits, image.Bits, static_cast<std::size_t>(image.Stride) * image.Height());
    copy->Swap(second);
}

// Decodes a file Qt recognises into `image` (and `copy`); false when no reader
// recognises it.
bool LoadWithQt(QFile& file, TWin& image, TWin* copy, const JpegFacts* jpeg) {
    QImageReader::setAllocationLimit(kQtAllocationLimitMegabytes);
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);  // the name's extension decides nothing
    reader.setAutoTransform(false);           // turned below, in the same pass as the conversion
    const QByteArray format = reader.format();
    if (format.isEmpty() || format == "bmp" || format == "dib") return false;
    const std::string name = DisplayName(format);

    const QSize size = reader.size();
    if (size.isValid()) {
        CheckPixelCount(size);
        const QImage::Format decodedFormat = reader.imageFormat();
        const int bits = decodedFormat == QImage::Format_Invalid ? 64 : QImage::toPixelFormat(decodedFormat).bitsPerPixel();
        const std::size_t rowBytes = (static_cast<std::size_t>(size.width()) * bits + 31) / 32 * 4;
        if (!platform::gdi::ImageAllocationAllowed(rowBytes * static_cast<std::size_t>(size.height())))
            throw LoadError(kOutOfMemoryError);
    }
    if (const std::string reason = ImplausibleHeader(file, format); !reason.empty())
        throw LoadError(DamagedImageError(name, reason));
    QImageIOHandler::Transformations transformation = reader.transformation();
    QImage decoded;
    if (!reader.read(&decoded))
        throw LoadError(DamagedImageError(name, reader.errorString().toStdString()));
    if (decoded.isNull()) throw LoadError(kOutOfMemoryError);
    if ((format == "jpeg" && !JpegIsComplete(file)) || (format == "gif" && !GifFirstFrameIsComplete(file)))
        throw LoadError(TruncatedImageError(name));
    CheckPixelCount(decoded.size());
    // Read after the picture: the reader reads from where the file stands.
    if (transformation == QImageIOHandler::TransformationNone)
        transformation = TransformationFor(ExifOrientation(ExifBlock(file, format)));

    const Orientation orientation{decoded.width(), decoded.height(),
                                  transformation.testFlag(QImageIOHandler::TransformationMirror),
                                  transformation.testFlag(QImageIOHandler::TransformationFlip),
                                  transformation.testFlag(QImageIOHandler::TransformationRotate90)};
    TWin result(orientation.TargetWidth(), orientation.TargetHeight());
    if (!result.HasPixels()) throw LoadError(kOutOfMemoryError);
    PutDecoded(decoded, orientation, result, ColourOf(file, format, decoded, jpeg));
    decoded = QImage();  // let go of the decoded picture before a copy is made
    CopyInto(result, copy);
    image.Swap(result);
    return true;
}

// The whole file, for the decoders that read from memory.
std::vector<std::uint8_t> ReadWhole(QFile& file) {
    const qint64 size = file.size();
    if (size < 0 || !platform::gdi::ImageAllocationAllowed(static_cast<std::size_t>(size))) throw LoadError(kOutOfMemoryError);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!file.seek(0) || file.read(reinterpret_cast<char*>(bytes.data()), size) != size) throw LoadError("Stream read error");
    return bytes;
}

// Decodes what Qt's readers leave out or get wrong (HEIC, AVIF, JPEG XL, CMYK
// JPEGs) and refuses the kinds of file Lumarq does not open; false when Qt's
// readers or the BMP reader are to judge the file.
bool LoadOtherwise(QFile& file, TWin& image, TWin* copy, std::unique_ptr<JpegFacts>& jpeg) {
    const QByteArray head = file.peek(4096);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(head.constData());
    const Recognised recognised = Recognise(bytes, static_cast<std::size_t>(head.size()));
    TWin result(0, 0);
    switch (recognised.kind) {
        case Kind::Unsupported: throw LoadError(recognised.name);
        case Kind::Heif: LoadHeif(ReadWhole(file), recognised.name, result); break;
        case Kind::JpegXl: LoadJpegXl(ReadWhole(file), result); break;
        case Kind::Other: {
            if (head.size() < 3 || !head.startsWith("\xFF\xD8\xFF")) return false;
            // The markers before the scan are nearly always in the first megabyte.
            const QByteArray start = file.peek(1 << 20);
            jpeg = std::make_unique<JpegFacts>(
                ScanJpeg(reinterpret_cast<const std::uint8_t*>(start.constData()), static_cast<std::size_t>(start.size())));
            std::vector<std::uint8_t> whole;
            if (!jpeg->scanFound && start.size() < file.size()) {
                whole = ReadWhole(file);
                *jpeg = ScanJpeg(whole.data(), whole.size());
            }
            if (jpeg->components != 4) {
                file.seek(0);  // Qt's reader starts where the file stands
                return false;
            }
            if (!JpegIsComplete(file)) throw LoadError("JPEG image is incomplete: the file ends before the image data do");
            if (whole.empty()) whole = ReadWhole(file);
            LoadCmykJpeg(whole, result);
            ApplyOrientation(result, ExifOrientation(QByteArray(reinterpret_cast<const char*>(jpeg->exif.data()),
                                                                static_cast<qsizetype>(jpeg->exif.size()))));
            break;
        }
    }
    CopyInto(result, copy);
    image.Swap(result);
    return true;
}

}  // namespace

void LoadImageFile(const std::string& FileName, TWin& Image, TWin* Copy) {
    try {
        QFile file;
        std::unique_ptr<JpegFacts> jpeg;
        if (OpenForQt(FileName, file) && (LoadOtherwise(file, Image, Copy, jpeg) || LoadWithQt(file, Image, Copy, jpeg.get())))
            return;
    } catch (const LoadError&) {
        TWin(0, 0).Swap(Image);
        throw;
    } catch (const std::bad_alloc&) {
        TWin(0, 0).Swap(Image);
        throw LoadError(kOutOfMemoryError);
    }
    Image.LoadFromFile(FileName);
    if (Copy) Copy->LoadFromFile(FileName);
}

}  // namespace image_io
