// The image window's view: the scale it shows the picture at (Fit, Actual Size,
// the zoom steps), the cardboard it shows it on, dragging, the source shown in
// place of the render, and the scale's note.
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "app/Unit1.h"
#include "app/image_window_geometry.h"

using namespace image_window;

TWin* TForm1::Shown() const { return showSource_ ? picture_.SourceRaster.get() : picture_.WorkRaster.get(); }

const std::array<platform::gdi::ViewScale, 13>& TForm1::ZoomSteps() {
    static const std::array<platform::gdi::ViewScale, 13> steps = {
        {{1, 16}, {1, 8}, {1, 6}, {1, 4}, {1, 3}, {1, 2}, {2, 3}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {6, 1}, {8, 1}}};
    return steps;
}

platform::gdi::ViewScale TForm1::FitScale() const {
    const TWin* raster = picture_.WorkRaster.get();
    const QScreen* on = screen();
    if (!raster || !on || raster->Width() <= 0 || raster->Height() <= 0) return {};
    const qreal ratio = devicePixelRatioF();
    const QRect area = on->availableGeometry();
    const long long areaWidth = static_cast<long long>(std::floor(area.width() * ratio));
    const long long areaHeight = static_cast<long long>(std::floor(area.height() * ratio));
    const long long width = raster->Width(), height = raster->Height();
    if (width <= areaWidth && height <= areaHeight) return {};
    // The narrower of the two fits decides.
    return areaWidth * height <= areaHeight * width ? platform::gdi::MakeViewScale(areaWidth, width)
                                                     : platform::gdi::MakeViewScale(areaHeight, height);
}

QRect TForm1::RealGeometryFor(QRect view) const {
    const QScreen* on = QGuiApplication::screenAt(view.center());
    if (!on) on = screen();
    if (!on) return view;
    const QRect screenArea = on->geometry();
    // A cardboard that a screen can hold is its own window, as it always was, also
    // where it hangs off the screen.
    if (view.width() <= screenArea.width() && view.height() <= screenArea.height()) return view;
    const QRect part = view & screenArea;
    return part.isEmpty() ? QRect(view.topLeft(), view.size().boundedTo(screenArea.size())) : part;
}

QPoint TForm1::ViewOffset() const {
    const qreal ratio = devicePixelRatioF();
    const QPoint units = pos() - viewGeometry_.topLeft();
    return QPoint(qRound(units.x() * ratio), qRound(units.y() * ratio));
}

void TForm1::PlaceView(QRect view) {
    const QPoint offset = ViewOffset();
    viewGeometry_ = view;
    const QRect real = RealGeometryFor(view);
    placing_ = true;
    if (real.size() != size()) resize(real.size());
    if (real.topLeft() != pos()) move(real.topLeft());
    placing_ = false;
    AimScaledView();
    // The picture slid under a window that stayed: all of it is new.
    if (ViewOffset() != offset) FormPaint();
}

void TForm1::MoveView(QPoint at) { PlaceView(QRect(at, viewGeometry_.size())); }

bool TForm1::ApplyView(platform::gdi::ViewScale scale, QPoint at) {
    const TWin* raster = picture_.WorkRaster.get();
    if (!raster || !raster->HasPixels()) return false;
    const qreal ratio = devicePixelRatioF();
    const QSize device(platform::gdi::ScaledExtent(raster->Width(), scale),
                       platform::gdi::ScaledExtent(raster->Height(), scale));
    if (device.isEmpty()) return false;
    // Only the cardboard's part on the screen is a real window with a surface.
    const QRect view(at, WindowSizeFor(device.width(), device.height(), ratio));
    const QSize real = RealGeometryFor(view).size();
    if (real.width() > kLargestWindowSide || real.height() > kLargestWindowSide ||
        !platform::WindowCanvas::CanBeHad(DeviceSize(real, ratio)))
        return false;
    const bool rescaled = !(scale == viewScale_);
    viewScale_ = scale;
    PlaceView(view);
    // A new scale is a new picture of the image, also where the window stayed.
    if (rescaled) FormPaint();
    ShowScaleNote();
    emit ViewChanged();
    return true;
}

void TForm1::ViewFit() {
    fitChosen_ = true;
    const QPoint corner = screen() ? screen()->availableGeometry().topLeft() : QPoint();
    if (!ApplyView(FitScale(), corner)) emit ViewChanged();
}

void TForm1::ViewActualSize() {
    fitChosen_ = false;
    const QPoint corner = screen() ? screen()->geometry().topLeft() : QPoint();
    if (!ApplyView({}, corner)) emit ViewChanged();
}

void TForm1::Zoom(int steps, std::optional<QPointF> anchor) {
    if (steps == 0) return;
    const auto& all = ZoomSteps();
    // Steps below the scale in force, which Fit may have put between two steps.
    const auto below = static_cast<int>(std::count_if(all.begin(), all.end(), [this](auto step) { return step < viewScale_; }));
    const bool onStep = std::find(all.begin(), all.end(), viewScale_) != all.end();
    const int last = static_cast<int>(all.size()) - 1;
    const int index = steps > 0 ? below + (onStep ? 1 : 0) + steps - 1 : below + steps;
    if ((steps > 0 && below + (onStep ? 1 : 0) > last) || (steps < 0 && below == 0)) return;
    const platform::gdi::ViewScale next = all[static_cast<std::size_t>(std::clamp(index, 0, last))];
    ZoomTo(next, anchor);
}

void TForm1::ZoomTo(platform::gdi::ViewScale next, std::optional<QPointF> anchor) {
    const qreal ratio = devicePixelRatioF();
    const QPointF origin = viewGeometry_.topLeft();
    const QPointF point = anchor ? *anchor : mapToGlobal(QPointF(VisiblePart().center()));
    // The image point under `point`, in image pixels, then where it goes at the new scale.
    const QPointF image = (point - origin) * ratio * viewScale_.denominator / viewScale_.numerator;
    const QPointF moved = image * next.numerator / next.denominator / ratio;
    const bool fit = fitChosen_;
    fitChosen_ = false;
    if (!ApplyView(next, (point - moved).toPoint())) fitChosen_ = fit;
}

void TForm1::ShowSource(bool on) {
    if (on == showSource_) return;
    showSource_ = on;
    FormPaint();
}

void TForm1::ShowScaleNote() {
    const double percent = 100.0 * viewScale_.numerator / viewScale_.denominator;
    scaleNote->setText(QStringLiteral("%1 %").arg(static_cast<int>(std::floor(percent + 0.5))));
    scaleNote->adjustSize();
    // Near the corner of what is on screen, where it is seen.
    scaleNote->move(VisiblePart().topLeft() + QPoint(12, 12));
    scaleNote->show();
    scaleNote->raise();
    scaleNoteTimer.start();
}

void TForm1::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (!placing_) {
        if (size() == viewGeometry_.size()) {
            // Moved whole (the window manager's drag): the cardboard moves with it.
            viewGeometry_.moveTopLeft(pos());
        } else {
            // Another part of the cardboard lies under the window now.
            AimScaledView();
            FormPaint();
        }
    }
    PaintNewlyVisible();
}

void TForm1::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    dragOffset.reset();
    // A window that is its whole cardboard is dragged by the window manager as by a
    // caption bar where it can; otherwise the cardboard follows the mouse itself.
    if (size() == viewGeometry_.size() && windowHandle() && windowHandle()->startSystemMove()) return;
    dragOffset = event->globalPosition().toPoint() - viewGeometry_.topLeft();
}

void TForm1::mouseMoveEvent(QMouseEvent* event) {
    if (dragOffset && (event->buttons() & Qt::LeftButton)) MoveView(event->globalPosition().toPoint() - *dragOffset);
}

void TForm1::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragOffset.reset();
}

void TForm1::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QWidget::wheelEvent(event);
        return;
    }
    // One step per notch of a wheel; a touchpad's small turns add up to one.
    wheelTurned += event->angleDelta().y();
    const int steps = wheelTurned / 120;
    wheelTurned -= steps * 120;
    if (steps != 0) Zoom(steps, event->globalPosition());
    event->accept();
}
