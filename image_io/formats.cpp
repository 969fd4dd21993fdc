// Which format a file name asks for, and the file dialogs' filters.
#include <QByteArray>
#include <QImageReader>
#include <QImageWriter>
#include <QLoggingCategory>
#include <algorithm>
#include <cctype>
#include <iterator>

#include "image_io/image_file.h"

namespace image_io {
namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower;
}

// One format of the dialogs: its name there, its extensions, and the Qt format
// that must be present for it (empty: always there).
struct DialogFormat {
    const char* description;
    const char* patterns;
    const char* qtFormat;
};

// BMP first: it is the program's own format and the Save dialog's default.
constexpr DialogFormat kReadable[] = {
    {"Bitmap Files", "*.bmp", ""},
    {"PNG Files", "*.png", "png"},
    {"JPEG Files", "*.jpg;*.jpeg", "jpeg"},
    {"GIF Files", "*.gif", "gif"},
    {"WebP Files", "*.webp", "webp"},
    {"TIFF Files", "*.tif;*.tiff", "tiff"},
    {"PPM and PGM Files", "*.ppm;*.pgm;*.pbm", "ppm"},
    {"HEIC and HEIF Files", "*.heic;*.heif;*.hif", ""},
    {"AVIF Files", "*.avif", ""},
    {"JPEG XL Files", "*.jxl", ""},
};
constexpr DialogFormat kWritable[] = {
    {"Bitmap Files", "*.bmp", ""},
    {"PNG Files", "*.png", "png"},
    {"JPEG Files", "*.jpg;*.jpeg", "jpeg"},
    {"WebP Files", "*.webp", "webp"},
    {"TIFF Files", "*.tif;*.tiff", "tiff"},
    {"AVIF Files", "*.avif", ""},
    {"JPEG XL Files", "*.jxl", ""},
};

// The WebP and TIFF readers and writers are plugins that may be missing.
template <std::size_t N>
std::string Filter(const DialogFormat (&formats)[N], const QList<QByteArray>& present, bool withSummary) {
    std::string all, each;
    for (const DialogFormat& format : formats) {
        if (*format.qtFormat && !present.contains(QByteArray(format.qtFormat))) continue;
        if (!all.empty()) all += ';';
        all += format.patterns;
        if (!each.empty()) each += '|';
        each.append(format.description).append("|").append(format.patterns);
    }
    if (!withSummary) return each;
    // The bitmap filter stays the first, the one the dialog starts with; every
    // readable format together comes next.
    const std::string first = std::string(formats[0].description) + "|" + formats[0].patterns;
    return first + "|Image files|" + all + each.substr(first.size()) + "|All files|*";
}

}  // namespace

FileFormat FormatForFileName(std::string_view FileName) {
    const std::size_t slash = FileName.rfind('/');
    const std::string_view base = slash == std::string_view::npos ? FileName : FileName.substr(slash + 1);
    const std::size_t dot = base.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return FileFormat::Bmp;  // ".png" alone is a hidden name
    return FormatNamed(base.substr(dot + 1)).value_or(FileFormat::Bmp);
}

std::optional<FileFormat> FormatNamed(std::string_view Name) {
    const std::string word = Lower(Name);
    if (word == "bmp") return FileFormat::Bmp;
    if (word == "png") return FileFormat::Png;
    if (word == "jpg" || word == "jpeg") return FileFormat::Jpeg;
    if (word == "webp") return FileFormat::Webp;
    if (word == "tif" || word == "tiff") return FileFormat::Tiff;
    if (word == "avif") return FileFormat::Avif;
    if (word == "jxl") return FileFormat::JpegXl;
    return std::nullopt;
}

const char* Extension(FileFormat Format) {
    switch (Format) {
        case FileFormat::Png: return "png";
        case FileFormat::Jpeg: return "jpg";
        case FileFormat::Webp: return "webp";
        case FileFormat::Tiff: return "tiff";
        case FileFormat::Avif: return "avif";
        case FileFormat::JpegXl: return "jxl";
        case FileFormat::Bmp: break;
    }
    return "bmp";
}

void QuietDecoderWarnings() {
    // libpng's messages come without a category, libjpeg's and libtiff's with Qt's.
    QLoggingCategory::setFilterRules(QStringLiteral("default.warning=false\nqt.gui.imageio*=false"));
}

std::string OpenDialogFilter() { return Filter(kReadable, QImageReader::supportedImageFormats(), true); }

std::string SaveDialogFilter() { return Filter(kWritable, QImageWriter::supportedImageFormats(), false); }

}  // namespace image_io
