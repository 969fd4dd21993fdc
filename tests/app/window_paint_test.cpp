// What the image window paints: the canvas's 32-bit paint copy must hold exactly
// the 24-bit canvas after every blit, at every width (the converter's wide and
// plain paths), and the painted window must show the working raster pixel for
// pixel after a render.
#include <QApplication>
#include <QScrollBar>
#include <QtTest>
#include <memory>

#include "app/Application.h"
#include "app/Unit1.h"
#include "app/Unit4.h"
#include "app/app_test_util.h"
#include "platform/qt/window_canvas.h"

namespace {

// Writes colours derived from (x, y, seed) through the canvas's blit surface.
void Write(const platform::WindowCanvas& canvas, int seed) {
    const platform::gdi::Surface surface = canvas.Pixels();
    for (int y = 0; y < surface.height; ++y)
        for (int x = 0; x < surface.width; ++x) {
            std::uint8_t* p = surface.pixel(x, y);
            p[0] = static_cast<std::uint8_t>(x * 29 + y + seed);
            p[1] = static_cast<std::uint8_t>(y * 31 + x * 3 + seed);
            p[2] = static_cast<std::uint8_t>((x ^ y) + 7 * seed);
        }
}

// The first pixel where the paint copy differs from the canvas, or an empty string.
QString FirstDifference(const platform::WindowCanvas& canvas) {
    const QImage& canvasImage = canvas.Image();
    const QImage& painted = canvas.PaintImage();
    if (painted.format() != QImage::Format_RGB32) return QStringLiteral("format %1").arg(painted.format());
    if (painted.size() != canvasImage.size()) return QStringLiteral("size");
    if (painted.devicePixelRatio() != canvasImage.devicePixelRatio()) return QStringLiteral("ratio");
    for (int y = 0; y < canvasImage.height(); ++y) {
        const uchar* in = canvasImage.constScanLine(y);
        const auto* out = reinterpret_cast<const QRgb*>(painted.constScanLine(y));
        for (int x = 0; x < canvasImage.width(); ++x)
            if (out[x] != qRgb(in[3 * x + 2], in[3 * x + 1], in[3 * x]))
                return QStringLiteral("pixel %1,%2: %3").arg(x).arg(y).arg(out[x], 8, 16);
    }
    return {};
}

}  // namespace

class WindowPaintTest : public QObject {
    Q_OBJECT

private slots:
    void paintCopyFollowsTheCanvasAtEveryWidth() {
        for (int width = 1; width <= 37; ++width) {
            platform::WindowCanvas canvas;
            canvas.Resize(QSize(width, 3), 1.0, QColor(10, 20, 30));
            QCOMPARE(FirstDifference(canvas), QString());  // the background
            Write(canvas, 1);
            QCOMPARE(FirstDifference(canvas), QString());
            // A second blit after a paint: the copy must not stay as it was.
            Write(canvas, 2);
            QCOMPARE(FirstDifference(canvas), QString());
        }
        // A new size or ratio starts a new picture.
        platform::WindowCanvas canvas;
        canvas.Resize(QSize(40, 5), 1.0, Qt::red);
        Write(canvas, 3);
        QCOMPARE(FirstDifference(canvas), QString());
        canvas.Resize(QSize(23, 9), 2.0, Qt::blue);
        QCOMPARE(FirstDifference(canvas), QString());
        QCOMPARE(canvas.PaintImage().pixel(22, 8), qRgb(0, 0, 255));
        QVERIFY(platform::WindowCanvas().PaintImage().isNull());
    }

    // The whole way from a slider change to the window's pixels, at a turn and
    // an odd width.
    void windowShowsTheWorkingRaster() {
        Seams seams;
        lumarq::Windows windows(QStringList{});
        Form1->SourceRaster = std::make_unique<TWin>(201, 151);
        Form1->WorkRaster = std::make_unique<TWin>(201, 151);
        for (int y = 0; y < 151; ++y)
            for (int x = 0; x < 201; ++x) {
                std::uint8_t* p = Form1->SourceRaster->PixelAddress(x, y);
                TestPixel(x, y, p[0], p[1], p[2]);
            }
        Form1->resize(201, 151);
        Form4->ScrollBar8->setValue(30);
        Form4->ScrollBar1->setValue(33);
        const QImage shown = Form1->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.size(), QSize(201, 151));
        const TWin& work = *Form1->WorkRaster;
        int differing = 0;
        for (int y = 0; y < 151; ++y)
            for (int x = 0; x < 201; ++x) {
                const std::uint8_t* p = work.PixelAddress(x, y);
                if (shown.pixel(x, y) != qRgb(p[2], p[1], p[0])) ++differing;
            }
        QCOMPARE(differing, 0);
    }
};

QTEST_MAIN(WindowPaintTest)
#include "window_paint_test.moc"
