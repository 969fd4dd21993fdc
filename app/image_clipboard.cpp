#include "app/image_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>
#include <cstring>

#include "app/Unit1.h"
#include "app/dialogs.h"
#include "app/picture.h"

namespace lumarq {

QImage ImageOfRaster(const TWin& raster) {
    if (!raster.HasPixels()) return {};
    QImage image(raster.Width(), raster.Height(), QImage::Format_BGR888);
    if (image.isNull()) return {};
    for (int y = 0; y < raster.Height(); ++y)
        std::memcpy(image.scanLine(y), raster.PixelAddress(0, y), 3 * static_cast<std::size_t>(raster.Width()));
    return image;
}

bool RasterFromImage(const QImage& image, TWin& raster) {
    QImage opaque(image.size(), QImage::Format_ARGB32_Premultiplied);
    if (opaque.isNull()) return false;
    opaque.fill(Qt::black);
    {
        QImage onePixelEach = image;  // pixel for pixel, whatever screen it came from
        onePixelEach.setDevicePixelRatio(1);
        QPainter painter(&opaque);
        painter.drawImage(0, 0, onePixelEach);
    }
    const QImage pixels = opaque.convertToFormat(QImage::Format_BGR888);
    TWin copy(pixels.width(), pixels.height());
    if (pixels.isNull() || !copy.HasPixels()) return false;
    for (int y = 0; y < copy.Height(); ++y)
        std::memcpy(copy.PixelAddress(0, y), pixels.constScanLine(y), 3 * static_cast<std::size_t>(copy.Width()));
    raster.Swap(copy);
    return true;
}

void CopyImageToClipboard(const Picture& picture) {
    if (!picture.WorkRaster) return;
    const QImage image = ImageOfRaster(*picture.WorkRaster);
    if (image.isNull())
        ReportError(QString::fromLatin1(kOutOfMemoryError));
    else
        QGuiApplication::clipboard()->setImage(image);
}

void PasteImageFromClipboard(TForm1& imageWindow) {
    const QImage image = QGuiApplication::clipboard()->image();
    if (image.isNull()) {
        ReportError(QStringLiteral("The clipboard holds no image to paste."));
        return;
    }
    TWin source(0, 0);
    if (!RasterFromImage(image, source)) {
        ReportError(QString::fromLatin1(kOutOfMemoryError));
        return;
    }
    imageWindow.OpenUnnamedImage(source);
}

}  // namespace lumarq
