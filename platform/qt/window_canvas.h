// A window's drawing surface as a blit target: a 24-bit blue-green-red image in
// device pixels that the raster engine blits into and the window then paints.
#pragma once

#include <QColor>
#include <QImage>
#include <QSize>

#include "platform/gdi/gdi.h"

namespace platform {

class WindowCanvas final : public gdi::DeviceContext {
public:
    // Makes the surface deviceSize pixels, filled with background, when its size
    // or ratio changes; the content is kept otherwise. ratio is the number of
    // device pixels per logical pixel of the window it is painted into. Returns
    // false, with the surface left as it was, when the memory cannot be had.
    bool Resize(QSize deviceSize, qreal ratio, QColor background);
    gdi::Surface Pixels() const override;
    const QImage& Image() const { return image_; }

    // The same picture in the 32-bit format that window backing stores take as
    // it is, so that painting it is a plain copy: converted once after the
    // surface was handed out for writing, into an image kept between paints.
    const QImage& PaintImage() const;

private:
    mutable QImage image_;  // blits write through the surface of a const context
    mutable QImage paintImage_;
    mutable bool paintImageStale_ = true;
};

}  // namespace platform
