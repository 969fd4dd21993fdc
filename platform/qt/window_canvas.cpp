#include "platform/qt/window_canvas.h"

#include <QtEndian>
#include <cstdint>
#include <cstring>

namespace platform {

void WindowCanvas::Resize(QSize deviceSize, qreal ratio, QColor background) {
    if (image_.size() == deviceSize && image_.devicePixelRatio() == ratio) return;
    image_ = QImage(deviceSize, QImage::Format_BGR888);
    image_.setDevicePixelRatio(ratio);
    image_.fill(background);
    paintImageStale_ = true;
}

gdi::Surface WindowCanvas::Pixels() const {
    if (image_.isNull()) return {};
    // Whoever asks may write: the paint image is rebuilt before the next paint.
    paintImageStale_ = true;
    return {image_.bits(), image_.width(), image_.height(), image_.bytesPerLine()};
}

const QImage& WindowCanvas::PaintImage() const {
    if (image_.isNull()) {
        paintImage_ = QImage();
        return paintImage_;
    }
    if (paintImage_.size() != image_.size()) {
        paintImage_ = QImage(image_.size(), QImage::Format_RGB32);
        paintImageStale_ = true;
    }
    paintImage_.setDevicePixelRatio(image_.devicePixelRatio());
    if (!paintImageStale_) return paintImage_;
    // One pass, on this thread: large conversions inside Qt hand slices to worker
    // threads and allocate a new image on every paint. A pixel is read as the four
    // bytes from its blue one (little-endian: blue lowest) with the fourth made
    // opaque; the last pixel of a row, whose fourth byte may lie past the image,
    // byte by byte.
    const int width = image_.width(), height = image_.height();
    const std::uint8_t* const bits = image_.constBits();
    const qsizetype stride = image_.bytesPerLine();
    std::uint8_t* const paintBits = paintImage_.bits();
    const qsizetype paintStride = paintImage_.bytesPerLine();
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = bits + y * stride;
        auto* const out = reinterpret_cast<std::uint32_t*>(paintBits + y * paintStride);
        for (int x = 0; x < width - 1; ++x, in += 3) {
            std::uint32_t pixel;
            std::memcpy(&pixel, in, 4);
            out[x] = qFromLittleEndian(pixel) | 0xFF000000u;
        }
        out[width - 1] = 0xFF000000u | std::uint32_t{in[2]} << 16 | std::uint32_t{in[1]} << 8 | in[0];
    }
    paintImageStale_ = false;
    return paintImage_;
}

}  // namespace platform
