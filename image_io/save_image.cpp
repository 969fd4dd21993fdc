// Writing a TWin in the format its file name asks for. BMP keeps the raster's own
// writer; the other formats are encoded by Qt in memory and then written through
// the same atomic save, so that a failed encoding never touches the file.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <algorithm>
#include <new>
#include <vector>

#include "image_io/encoders.h"
#include "image_io/image_file.h"
#include "files/atomic_file.h"

namespace image_io {
namespace {

constexpr int kDotsPerMetre = 2835;  // 72 dots per inch

const char* QtFormat(FileFormat format) {
    switch (format) {
        case FileFormat::Png: return "png";
        case FileFormat::Jpeg: return "jpeg";
        case FileFormat::Webp: return "webp";
        case FileFormat::Tiff: return "tiff";
        case FileFormat::Avif:
        case FileFormat::JpegXl:
        case FileFormat::Bmp: break;
    }
    return "bmp";
}

}  // namespace

SaveResult SaveImageFile(const TWin& Image, const std::string& FileName, int Quality) {
    const FileFormat format = FormatForFileName(FileName);
    if (format == FileFormat::Bmp) return Image.SaveToFile(FileName);

    const SaveResult writeError{false, "Stream write error"};
    // As for BMP: a raster without pixels has no picture, and the target is left alone.
    if (!Image.HasPixels()) return writeError;
    try {
        if (format == FileFormat::Avif || format == FileFormat::JpegXl) {
            std::vector<std::uint8_t> encoded;
            const int quality = std::clamp(Quality, 1, 100);
            if (!(format == FileFormat::Avif ? EncodeAvif(Image, quality, encoded) : EncodeJpegXl(Image, quality, encoded)))
                return writeError;
            return files::SaveFileAtomically(FileName, [&](int descriptor) {
                return files::WriteAll(descriptor, encoded.data(), encoded.size());
            });
        }
        // The raster's rows are laid out as Qt's 24-bit blue-green-red image: a view, no
        // copy (a writable one, so that setting its resolution copies no pixels).
        QImage view(Image.Bits, Image.Width(), Image.Height(), static_cast<qsizetype>(Image.Stride),
                    QImage::Format_BGR888);
        // The resolution field says 72 dpi, the usual "no particular print size", in every
        // format that has one: otherwise Qt writes the screen's, and a file saved by the
        // windows would differ from lumarq-render's.
        view.setDotsPerMeterX(kDotsPerMetre);
        view.setDotsPerMeterY(kDotsPerMetre);
        QByteArray encoded;
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, QtFormat(format));
        if (format == FileFormat::Jpeg || format == FileFormat::Webp) writer.setQuality(std::clamp(Quality, 1, 100));
        if (format == FileFormat::Tiff) writer.setCompression(1);  // LZW: lossless and read everywhere
        if (!writer.write(view)) return writeError;
        buffer.close();
        return files::SaveFileAtomically(FileName, [&](int descriptor) {
            return files::WriteAll(descriptor, encoded.constData(), static_cast<std::size_t>(encoded.size()));
        });
    } catch (const std::bad_alloc&) {
        return writeError;
    }
}

}  // namespace image_io
