#include "platform/qt/window_canvas.h"

namespace platform {

void WindowCanvas::Resize(QSize deviceSize, qreal ratio, QColor background) {
    if (image_.size() == deviceSize && image_.devicePixelRatio() == ratio) return;
    image_ = QImage(deviceSize, QImage::Format_BGR888);
    image_.setDevicePixelRatio(ratio);
    image_.fill(background);
}

gdi::Surface WindowCanvas::Pixels() const {
    if (image_.isNull()) return {};
    return {image_.bits(), image_.width(), image_.height(), image_.bytesPerLine()};
}

}  // namespace platform
