#include "platform/qt/window_canvas.h"

#include <QtEndian>
#include <algorithm>
#include <cstdint>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// Four bytes from each pixel's blue one (little-endian: blue lowest), the fourth
// made opaque; the last pixel of a row, whose fourth byte may lie past the image,
// byte by byte.
void ConvertRow(const std::uint8_t* in, std::uint32_t* out, int from, int width) {
    in += 3 * from;
    for (int x = from; x < width - 1; ++x, in += 3) {
        std::uint32_t pixel;
        std::memcpy(&pixel, in, 4);
        out[x] = qFromLittleEndian(pixel) | 0xFF000000u;
    }
    if (from < width)
        out[width - 1] = 0xFF000000u | std::uint32_t{in[2]} << 16 | std::uint32_t{in[1]} << 8 | in[0];
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Four pixels a shuffle. A load takes sixteen bytes from a pixel's first, so it
// stops six pixels before the row's end; the rest go the plain way.
__attribute__((target("ssse3"))) void ConvertRowFourWide(const std::uint8_t* in, std::uint32_t* out, int width) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int x = 0;
    for (; x + 6 <= width; x += 4) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_or_si128(_mm_shuffle_epi8(bytes, spread), opaque));
    }
    ConvertRow(in, out, x, width);
}

bool HasFourWideConversion() {
    static const bool supported = __builtin_cpu_supports("ssse3");
    return supported;
}
#endif

}  // namespace

namespace platform {

bool WindowCanvas::Resize(QSize deviceSize, qreal ratio, QColor background) {
    if (image_.size() == deviceSize && image_.devicePixelRatio() == ratio) return true;
    // Both images are had before either is replaced, so a failure keeps the old
    // picture whole; each is asked for through the allocation seam first.
    const auto bytes = [&](int perPixel) {
        return static_cast<std::size_t>(std::max(deviceSize.width(), 0)) * perPixel *
               static_cast<std::size_t>(std::max(deviceSize.height(), 0));
    };
    QImage image, paintImage;
    if (!deviceSize.isEmpty()) {
        if (!gdi::ImageAllocationAllowed(bytes(3))) return false;
        image = QImage(deviceSize, QImage::Format_BGR888);
        if (image.isNull() || !gdi::ImageAllocationAllowed(bytes(4))) return false;
        paintImage = QImage(deviceSize, QImage::Format_RGB32);
        if (paintImage.isNull()) return false;
        image.setDevicePixelRatio(ratio);
        paintImage.setDevicePixelRatio(ratio);
        image.fill(background);
    }
    image_ = std::move(image);
    paintImage_ = std::move(paintImage);
    paintImageStale_ = true;
    return true;
}

gdi::Surface WindowCanvas::Pixels() const {
    if (image_.isNull()) return {};
    // Whoever asks may write: the paint image is rebuilt before the next paint.
    paintImageStale_ = true;
    return {image_.bits(), image_.width(), image_.height(), image_.bytesPerLine()};
}

const QImage& WindowCanvas::PaintImage() const {
    if (!paintImageStale_ || paintImage_.isNull()) return paintImage_;
    // One pass, on this thread: large conversions inside Qt hand slices to worker
    // threads and allocate a new image on every paint.
    const int width = image_.width(), height = image_.height();
    const std::uint8_t* const bits = image_.constBits();
    const qsizetype stride = image_.bytesPerLine();
    std::uint8_t* const paintBits = paintImage_.bits();
    const qsizetype paintStride = paintImage_.bytesPerLine();
    bool fourWide = false;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    fourWide = HasFourWideConversion();
#endif
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = bits + y * stride;
        auto* const out = reinterpret_cast<std::uint32_t*>(paintBits + y * paintStride);
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
        if (fourWide) {
            ConvertRowFourWide(in, out, width);
            continue;
        }
#endif
        ConvertRow(in, out, 0, width);
    }
    paintImageStale_ = false;
    return paintImage_;
}

}  // namespace platform
