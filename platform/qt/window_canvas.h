// The image window's drawing surface as a blit target, for the length of one
// paint: the window's own 32-bit backing store, so that the blit that draws the
// raster, converting its 24-bit pixels as it copies, is its one pass to the
// screen. Where a paint goes elsewhere (a grab into a picture, a backing store of
// another format) the blit goes into a 32-bit image that the painter then draws.
#pragma once

#include <QImage>
#include <QRect>
#include <QSize>

#include "platform/gdi/gdi.h"

class QPainter;

namespace platform {

class WindowCanvas final : public gdi::DeviceContext {
public:
    // For a paint through `painter` of a window deviceSize device pixels large,
    // of which blits change only `deviceClip` (all of it when null).
    WindowCanvas(QPainter& painter, QSize deviceSize, QRect deviceClip = QRect());
    // Draws the stand-in image, if one was needed.
    ~WindowCanvas() override;
    WindowCanvas(const WindowCanvas&) = delete;
    WindowCanvas& operator=(const WindowCanvas&) = delete;

    // Empty when nothing can be drawn (no memory for a stand-in image).
    gdi::Surface Pixels() const override { return surface_; }
    gdi::ClipBox Clip() const override { return clip_; }

    // Whether the memory for a window surface of this size can be had: asked
    // before a window grows, so that a failure keeps the previous image.
    static bool CanBeHad(QSize deviceSize);

private:
    void SetUpSurface(QSize deviceSize);

    QPainter& painter_;
    gdi::Surface surface_;
    gdi::ClipBox clip_;
    QImage standIn_;
};

}  // namespace platform
