// The image window's paint: the working raster, or its scaled view, straight into
// the window's surface, only where the screens show it.
#include <QBackingStore>
#include <QGuiApplication>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>

#include "app/Unit1.h"
#include "app/image_window_geometry.h"

using namespace image_window;

void TForm1::FormPaint() {
    emit Painting();
    TWin* shown = Shown();
    if (!shown) return;
    // Qt paints only inside a paint event: outside one, ask for it. Its blit
    // converts to the window's 32 bits as it copies, on the render's threads.
    if (!paintingInto) {
        // The whole picture changed; what is off the screens is painted when it comes on.
        unpainted = rect();
        update(VisiblePart());
        return;
    }
    // The window shows the part of the cardboard under it.
    const QPoint offset = ViewOffset();
    if (!viewScale_.IsActualSize()) {
        // A render that was seen works the scaled view out as it goes; otherwise it
        // is worked out now, once for all the renders since the last paint.
        if (!showSource_ && scaledView_.CatchUp(shown->DC.Pixels()) &&
            scaledView_.CopyTo(*paintingInto, viewScale_, offset.x(), offset.y()))
            return;
        platform::gdi::ScaleBlt(*paintingInto, shown->DC, viewScale_, offset.x(), offset.y());
        return;
    }
    const platform::gdi::Surface surface = paintingInto->Pixels();
    shown->Draw(*paintingInto, dmActual, -offset.x(), -offset.y(), shown->Width(), shown->Height(), surface.width,
                surface.height);
}

void TForm1::AimScaledView() {
    const TWin* raster = picture_.WorkRaster.get();
    if (!raster || !raster->HasPixels()) {
        picture_.View = nullptr;
        scaledView_.Drop();
        return;
    }
    if (viewScale_.IsActualSize()) {
        // At actual size the paint converts the raster itself. The view of the scale
        // before is kept while renders leave it be: switching back is then a copy.
        scaledView_.Park();
        picture_.View = &scaledView_;
        return;
    }
    const QRect device = DeviceRect(rect(), devicePixelRatioF()).translated(ViewOffset());
    const platform::gdi::ClipBox area{device.left(), device.top(), device.right() + 1, device.bottom() + 1};
    picture_.View = scaledView_.Aim(viewScale_, area, raster->Width(), raster->Height()) ? &scaledView_ : nullptr;
}

void TForm1::paintEvent(QPaintEvent* event) {
    // Every paint (after a render, an exposure, a restore, a resize) draws the
    // working raster straight into the window's surface: of a window larger than the
    // screens, only the part on them (a picture taken of the window gets it whole).
    QPainter painter(this);
    QRect area = event->rect();
    if (IntoOwnSurface(painter)) {
        const QRect seen = area & VisiblePart();
        unpainted = (unpainted | area) - seen;
        if (seen.isEmpty()) return;
        area = seen;
    }
    const QColor background = palette().color(QPalette::Window);
    painter.setBackground(background);
    const qreal ratio = devicePixelRatioF();
    platform::WindowCanvas canvas(painter, DeviceSize(size(), ratio), DeviceRect(area, ratio));
    paintingInto = &canvas;
    FormPaint();
    paintingInto = nullptr;
    // Where the window is larger than the raster, its background.
    const platform::gdi::Surface surface = canvas.Pixels();
    const platform::gdi::ClipBox clip = canvas.Clip();
    const TWin* shown = Shown();
    const QPoint offset = ViewOffset();
    const int drawnWidth =
        shown ? std::clamp(platform::gdi::ScaledExtent(shown->Width(), viewScale_) - offset.x(), 0, clip.right) : 0;
    const int drawnHeight = shown ? platform::gdi::ScaledExtent(shown->Height(), viewScale_) - offset.y() : 0;
    const std::uint32_t fill = background.rgb() | 0xFF000000u;
    for (int y = clip.top; y < clip.bottom; ++y) {
        const int from = y < drawnHeight ? std::max(drawnWidth, clip.left) : clip.left;
        std::fill(reinterpret_cast<std::uint32_t*>(surface.pixel(from, y)),
                  reinterpret_cast<std::uint32_t*>(surface.pixel(clip.right, y)), fill);
    }
}

bool TForm1::IntoOwnSurface(const QPainter& painter) const {
    QBackingStore* store = backingStore();
    const QPaintEngine* engine = painter.paintEngine();
    return store && engine && engine->paintDevice() == store->paintDevice();
}

QRect TForm1::VisiblePart() const {
    QRegion screens;
    for (const QScreen* screen : QGuiApplication::screens()) screens += screen->geometry();
    return (screens.translated(-mapToGlobal(QPoint(0, 0))) & rect()).boundingRect();
}

void TForm1::PaintNewlyVisible() {
    const QRegion due = unpainted & VisiblePart();
    if (!due.isEmpty()) update(due);
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    AimScaledView();
    FormPaint();
}
