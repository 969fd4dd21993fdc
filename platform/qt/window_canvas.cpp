#include "platform/qt/window_canvas.h"

#include <QPaintEngine>
#include <QPainter>
#include <algorithm>

namespace platform {

namespace {

std::size_t BytesOf(QSize deviceSize) {
    return static_cast<std::size_t>(std::max(deviceSize.width(), 0)) * 4 *
           static_cast<std::size_t>(std::max(deviceSize.height(), 0));
}

bool ThirtyTwoBit(QImage::Format format) {
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

}  // namespace

WindowCanvas::WindowCanvas(QPainter& painter, QSize deviceSize, QRect deviceClip) : painter_(painter) {
    SetUpSurface(deviceSize);
    const QRect whole(0, 0, surface_.width, surface_.height);
    const QRect clip = (deviceClip.isNull() ? whole : deviceClip & whole).normalized();
    if (!clip.isEmpty()) clip_ = {clip.left(), clip.top(), clip.right() + 1, clip.bottom() + 1};
}

void WindowCanvas::SetUpSurface(QSize deviceSize) {
    // The device the painter really writes to: for a window, its backing store.
    QPaintEngine* engine = painter_.paintEngine();
    QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
    const QTransform toDevice = painter_.deviceTransform();
    const QPoint origin = toDevice.map(QPointF(0, 0)).toPoint();
    if (device && device->devType() == QInternal::Image && toDevice.type() <= QTransform::TxScale &&
        origin.x() >= 0 && origin.y() >= 0) {
        auto* image = static_cast<QImage*>(device);
        if (ThirtyTwoBit(image->format()) && !image->isNull()) {
            // Written in place, through the pointer the painter writes through too.
            auto* bits = const_cast<std::uint8_t*>(image->constBits());
            const qsizetype stride = image->bytesPerLine();
            surface_ = {bits + origin.y() * stride + 4 * static_cast<std::ptrdiff_t>(origin.x()),
                        std::min(deviceSize.width(), image->width() - origin.x()),
                        std::min(deviceSize.height(), image->height() - origin.y()), stride, 4};
            return;
        }
    }
    if (deviceSize.isEmpty() || !gdi::ImageAllocationAllowed(BytesOf(deviceSize))) return;
    standIn_ = QImage(deviceSize, QImage::Format_RGB32);
    if (standIn_.isNull()) return;  // never written: the paint shows nothing new
    standIn_.fill(painter_.background().color());
    surface_ = {standIn_.bits(), standIn_.width(), standIn_.height(), standIn_.bytesPerLine(), 4};
}

WindowCanvas::~WindowCanvas() {
    if (standIn_.isNull()) return;
    const qreal ratio = painter_.deviceTransform().m11();
    standIn_.setDevicePixelRatio(ratio > 0 ? ratio : 1.0);
    painter_.drawImage(QPointF(0, 0), standIn_);
}

bool WindowCanvas::CanBeHad(QSize deviceSize) {
    if (deviceSize.isEmpty()) return true;
    if (!gdi::ImageAllocationAllowed(BytesOf(deviceSize))) return false;
    // The system gives the memory back at once; the window's own surface takes it next.
    return !QImage(deviceSize, QImage::Format_RGB32).isNull();
}

}  // namespace platform
