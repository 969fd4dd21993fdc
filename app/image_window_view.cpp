// The image window's view: the scale it shows the picture at (Fit, Actual Size,
// the zoom steps), the source shown in place of the render, and the scale's note.
#include <QLabel>
#include <QScreen>
#include <QTimer>
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

bool TForm1::ApplyView(platform::gdi::ViewScale scale, QPoint at) {
    const TWin* raster = picture_.WorkRaster.get();
    if (!raster || !raster->HasPixels()) return false;
    const qreal ratio = devicePixelRatioF();
    const QSize device(platform::gdi::ScaledExtent(raster->Width(), scale),
                       platform::gdi::ScaledExtent(raster->Height(), scale));
    const QSize size = WindowSizeFor(device.width(), device.height(), ratio);
    if (device.isEmpty() || size.width() > kLargestWindowSide || size.height() > kLargestWindowSide ||
        !platform::WindowCanvas::CanBeHad(DeviceSize(size, ratio)))
        return false;
    // The window's surface holds every pixel of it: enlarged, it may take no more
    // than the image at actual size or one screen does.
    const QSize screenSize = screen() ? screen()->geometry().size() * ratio : QSize();
    const auto area = [](QSize extent) { return static_cast<long long>(extent.width()) * extent.height(); };
    if (!scale.IsActualSize() && area(device) > std::max(area(QSize(raster->Width(), raster->Height())), area(screenSize)))
        return false;
    const bool rescaled = !(scale == viewScale_);
    viewScale_ = scale;
    if (size != this->size()) resize(size);
    move(at);
    // A new scale is a new picture of the image, also where the size stayed.
    if (rescaled && this->size() == size) FormPaint();
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
    const QPointF origin = mapToGlobal(QPointF(0, 0));
    const QPointF point = anchor ? *anchor : mapToGlobal(QPointF(VisiblePart().center()));
    // The image point under `point`, in image pixels, then where it goes at the new scale.
    const QPointF image = (point - origin) * ratio * viewScale_.denominator / viewScale_.numerator;
    const QPointF moved = image * next.numerator / next.denominator / ratio;
    const bool fit = fitChosen_;
    fitChosen_ = false;
    if (!ApplyView(next, (point - moved).toPoint() + (pos() - origin.toPoint()))) fitChosen_ = fit;
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

