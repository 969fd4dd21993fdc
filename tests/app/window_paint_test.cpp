// What the image window paints: the blit into its surface must convert every
// pixel at every width, and the painted window must show the working raster
// pixel for pixel after a render.
#include <QApplication>
#include <QScrollBar>
#include <QtTest>
#include <memory>

#include "app/Application.h"
#include "app/Unit1.h"
#include "app/Unit4.h"
#include "app/app_test_util.h"
#include "platform/qt/window_canvas.h"
#include "raster/win.h"

#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>

namespace {

// A raster whose every pixel differs from its neighbours.
void Paint(TWin& raster, int seed) {
    for (int y = 0; y < raster.Height(); ++y)
        for (int x = 0; x < raster.Width(); ++x) {
            std::uint8_t* p = raster.PixelAddress(x, y);
            p[0] = static_cast<std::uint8_t>(x * 29 + y + seed);
            p[1] = static_cast<std::uint8_t>(y * 31 + x * 3 + seed);
            p[2] = static_cast<std::uint8_t>((x ^ y) + 7 * seed);
        }
}

// The first pixel of `shown` that is not the raster's (or, beyond it, `outside`).
QString FirstDifference(const TWin& raster, const QImage& shown, QRgb outside) {
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            const std::uint8_t* p = x < raster.Width() && y < raster.Height() ? raster.PixelAddress(x, y) : nullptr;
            const QRgb want = p ? qRgb(p[2], p[1], p[0]) : outside;
            if (shown.pixel(x, y) != want) return QStringLiteral("pixel %1,%2: %3").arg(x).arg(y).arg(shown.pixel(x, y), 8, 16);
        }
    return {};
}

// Draws the raster as the window's paint does, through a painter on `target`.
void DrawThroughCanvas(TWin& raster, QImage& target, QRgb background) {
    QPainter painter(&target);
    painter.setBackground(QColor(background));
    platform::WindowCanvas canvas(painter, target.size());
    raster.Draw(canvas, dmActual, 0, 0, raster.Width(), raster.Height(), target.width(), target.height());
}

}  // namespace

class WindowPaintTest : public QObject {
    Q_OBJECT

private slots:
    // The blit widens 24-bit pixels to the surface's 32 as it copies, at every
    // width (the wide and the plain conversion), on several threads for a large
    // raster, and writes nothing beyond the raster; a surface of another format
    // gets the same picture through a stand-in image.
    void blitConvertsAtEveryWidth() {
        const QRgb marker = qRgb(1, 2, 3);
        for (const QSize size : {QSize(1, 3), QSize(2, 3), QSize(5, 2), QSize(6, 2), QSize(7, 2), QSize(37, 3),
                                 QSize(701, 401), QSize(1030, 300)}) {
            TWin raster(size.width(), size.height());
            Paint(raster, size.width());
            for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied,
                                                QImage::Format_RGB888}) {
                QImage target(size + QSize(3, 2), format);
                target.fill(marker);
                DrawThroughCanvas(raster, target, marker);
                QCOMPARE(FirstDifference(raster, target.convertToFormat(QImage::Format_RGB32), marker), QString());
                if (format != QImage::Format_RGB888)
                    QCOMPARE(qAlpha(target.pixel(size.width() - 1, size.height() - 1)), 255);
            }
        }
    }

    // The whole way from a slider change to the window's pixels, at a turn and
    // an odd width.
    void windowShowsTheWorkingRaster() {
        Seams seams;
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("odd.bmp"));
        WriteTestBitmap(path, 201, 151);
        lumarq::Windows windows({path});
        QVERIFY(StartProgram());
        Form4->ScrollBar8->setValue(30);
        Form4->ScrollBar1->setValue(33);
        const TWin& work = *Form1->Document().WorkRaster;
        // What the window's own surface shows after the paint the render asked for.
        QCoreApplication::processEvents();
        const QImage onScreen = Form1->screen()->grabWindow(Form1->winId()).toImage();
        QCOMPARE(onScreen.size(), QSize(201, 151));
        QCOMPARE(FirstDifference(work, onScreen.convertToFormat(QImage::Format_RGB32), 0), QString());
        // A grab paints into a picture of its own, through the stand-in image.
        const QImage grabbed = Form1->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(grabbed.size(), QSize(201, 151));
        QCOMPARE(FirstDifference(work, grabbed, 0), QString());
    }

    // A window partly off the screen converts only what is on it after a render;
    // the rest is painted, right, once the window is dragged to show it.
    void offScreenPartsArePaintedWhenTheyComeOnScreen() {
        Seams seams;
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("wide.bmp"));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        WriteTestBitmap(path, screen.width() - 100, screen.height() - 50);
        lumarq::Windows windows({path});
        QVERIFY(StartProgram());
        // Hanging off the screen's right and bottom edges.
        Form1->move(300, 150);
        QCoreApplication::processEvents();
        auto shown = [] {
            return Form1->screen()->grabWindow(Form1->winId()).toImage().convertToFormat(QImage::Format_RGB32);
        };
        const QImage before = shown();
        Form4->ScrollBar1->setValue(33);
        QCoreApplication::processEvents();
        const QImage after = shown();
        const TWin& work = *Form1->Document().WorkRaster;
        // Pixels inside `area` (window coordinates) that differ from the raster, and outside it from `old`.
        auto mismatches = [&work](const QImage& image, const QRegion& area, const QImage& old) {
            int count = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const std::uint8_t* p = work.PixelAddress(x, y);
                    const QRgb want = area.contains(QPoint(x, y)) ? qRgb(p[2], p[1], p[0]) : old.pixel(x, y);
                    count += image.pixel(x, y) != want;
                }
            return count;
        };
        QVERIFY(before != after);
        QCOMPARE(mismatches(after, QRegion(screen.translated(-300, -150)), before), 0);
        Form1->move(0, 0);
        QCoreApplication::processEvents();
        QCOMPARE(mismatches(shown(), QRegion(Form1->rect()), after), 0);
    }

    // A picture larger than the screen is a window of the screen's size showing
    // the picture's part under it, after a render and after the picture is dragged.
    void aPictureLargerThanTheScreenIsShownThroughTheScreen() {
        Seams seams;
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("wide.bmp"));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        WriteTestBitmap(path, screen.width() + 200, screen.height() + 100);
        lumarq::Windows windows({path});
        QVERIFY(StartProgram());
        Form4->ScrollBar1->setValue(33);
        QCoreApplication::processEvents();
        const TWin& work = *Form1->Document().WorkRaster;
        // Pixels of the window that are not the picture's at the cardboard's place.
        auto mismatches = [&work] {
            const QImage image =
                Form1->screen()->grabWindow(Form1->winId()).toImage().convertToFormat(QImage::Format_RGB32);
            const QPoint offset = Form1->pos() - Form1->ViewGeometry().topLeft();
            int count = image.size() == Form1->size() ? 0 : -1;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const std::uint8_t* p = work.PixelAddress(x + offset.x(), y + offset.y());
                    count += image.pixel(x, y) != qRgb(p[2], p[1], p[0]);
                }
            return count;
        };
        QCOMPARE(Form1->geometry(), screen);
        QCOMPARE(mismatches(), 0);
        // Up and left: the window stays on the screen, showing what was off it.
        Form1->MoveView(QPoint(-300, -150));
        QCoreApplication::processEvents();
        QCOMPARE(Form1->geometry(), QRect(0, 0, screen.width() - 100, screen.height() - 50));
        QCOMPARE(mismatches(), 0);
    }
};

QTEST_MAIN(WindowPaintTest)
#include "window_paint_test.moc"
