// Sizes of the image window in window units and device pixels: shared by its
// paint and its view scale.
#pragma once

#include <QRect>
#include <QSize>
#include <cmath>

namespace image_window {

// One image pixel per device pixel, also where a logical pixel is several.
inline QSize WindowSizeFor(int width, int height, qreal ratio) {
    return QSize(static_cast<int>(std::ceil(width / ratio)), static_cast<int>(std::ceil(height / ratio)));
}
inline QSize DeviceSize(QSize windowSize, qreal ratio) {
    return QSize(qRound(windowSize.width() * ratio), qRound(windowSize.height() * ratio));
}
// The device pixels that a window rectangle covers, partly covered ones included.
inline QRect DeviceRect(QRect area, qreal ratio) {
    const auto low = [ratio](int at) { return static_cast<int>(std::floor(at * ratio)); };
    const auto high = [ratio](int at) { return static_cast<int>(std::ceil(at * ratio)); };
    return QRect(QPoint(low(area.left()), low(area.top())),
                 QPoint(high(area.right() + 1) - 1, high(area.bottom() + 1) - 1));
}

// X11 refuses windows wider or taller than this.
inline constexpr int kLargestWindowSide = 32767;

}  // namespace image_window
