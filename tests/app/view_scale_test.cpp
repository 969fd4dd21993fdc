// The image window's view at other scales than actual size: the scaled picture's
// pixels, Fit on a screen of a known size, zooming about the cursor, and the
// source shown while backslash is held. The screen is 1600 x 1000.
#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include "app/Application.h"
#include "app/Unit1.h"
#include "app/Unit4.h"
#include "app/app_test_util.h"
#include "platform/gdi/scale.h"
#include "platform/qt/window_canvas.h"
#include "platform/threads/parallel.h"
#include "raster/win.h"

namespace {

// Blue a ramp, green a fine grid (its mean over two by two is 70), red a
// checkerboard of 255 and 0.
void FillKnown(TWin& raster) {
    for (int y = 0; y < raster.Height(); ++y)
        for (int x = 0; x < raster.Width(); ++x) {
            std::uint8_t* p = raster.PixelAddress(x, y);
            p[0] = static_cast<std::uint8_t>(6 * x + 36 * y);
            p[1] = static_cast<std::uint8_t>(40 * (x % 2) + 100 * (y % 2));
            p[2] = (x + y) % 2 == 0 ? 255 : 0;
        }
}

// The raster drawn at `scale` into a window-like 32-bit image of `size`, as the window's paint does.
QImage Scaled(const TWin& raster, platform::gdi::ViewScale scale, QSize size) {
    QImage target(size, QImage::Format_RGB32);
    target.fill(qRgb(1, 2, 3));
    QPainter painter(&target);
    platform::WindowCanvas canvas(painter, size);
    platform::gdi::ScaleBlt(canvas, raster.DC, scale);
    return target;
}

QImage OnScreen() {
    return Form1->screen()->grabWindow(Form1->winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

QString FirstDifference(const TWin& raster, const QImage& shown) {
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            const std::uint8_t* p = raster.PixelAddress(x, y);
            if (shown.pixel(x, y) != qRgb(p[2], p[1], p[0])) return QStringLiteral("pixel %1,%2").arg(x).arg(y);
        }
    return {};
}

}  // namespace

class ViewScaleTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QString Bitmap(const QString& name, int width, int height) {
        const QString path = dir.filePath(name);
        WriteTestBitmap(path, width, height);
        return path;
    }

private slots:
    // Hand-computed pixels of a 6 x 6 raster: the exact mean of whole pixels at 1/2
    // (the checkerboard's 127.5 rounded up), the mean of three by three at 1/3,
    // blocks of one pixel at 2; nothing drawn past the view.
    void scaledViewPixels() {
        TWin raster(6, 6);
        FillKnown(raster);
        const QRgb untouched = qRgb(1, 2, 3);
        const struct {
            platform::gdi::ViewScale scale;
            QPoint at;
            QRgb want;
        } cases[] = {
            {{1, 2}, {0, 0}, qRgb(128, 70, 21)},   // blue (0 + 6 + 36 + 42) / 4
            {{1, 2}, {2, 1}, qRgb(128, 70, 117)},  // blue (96 + 102 + 132 + 138) / 4
            {{1, 2}, {3, 0}, untouched},
            {{1, 3}, {0, 0}, qRgb(142, 47, 42)},   // red 5 of 9 at 255; green 40/3 + 100/3
            {{1, 3}, {1, 1}, qRgb(142, 93, 168)},  // green 80/3 + 200/3
            {{1, 3}, {2, 0}, untouched},
            {{2, 1}, {3, 2}, qRgb(255, 140, 42)},  // image pixel 1,1
            {{2, 1}, {5, 0}, qRgb(255, 0, 12)},    // image pixel 2,0
            {{2, 1}, {11, 11}, qRgb(255, 140, 210)},
        };
        for (const auto& c : cases) {
            const QImage shown = Scaled(raster, c.scale, QSize(13, 13));
            QVERIFY2(shown.pixel(c.at) == c.want, qPrintable(QStringLiteral("%1/%2 at %3,%4: %5")
                                                                   .arg(c.scale.numerator)
                                                                   .arg(c.scale.denominator)
                                                                   .arg(c.at.x())
                                                                   .arg(c.at.y())
                                                                   .arg(shown.pixel(c.at), 8, 16)));
        }
        // A large view, worked out on the threads, is the same for every thread count.
        TWin large(1201, 907);
        for (int y = 0; y < large.Height(); ++y)
            for (int x = 0; x < 3 * large.Width(); ++x) large.PixelAddress(0, y)[x] = static_cast<std::uint8_t>(x * x + y);
        for (const platform::gdi::ViewScale scale : {platform::gdi::ViewScale{2, 3}, {1, 3}, {125, 378}, {3, 1}}) {
            const QSize size(1300, 1000);
            parallel::SetThreads(1);
            const QImage one = Scaled(large, scale, size);
            parallel::SetThreads(5);
            QCOMPARE(Scaled(large, scale, size), one);
        }
        parallel::SetThreads(0);
        // At 1/2, 1/3 and 1/4 (the fast loops) every view pixel is the rounded mean of its block.
        for (const int n : {2, 3, 4}) {
            const QImage shown = Scaled(large, {1, n}, QSize(1300, 1000));
            for (int y = 0; y < large.Height() / n; ++y)
                for (int x = 0; x < large.Width() / n; ++x) {
                    int total[3] = {};
                    for (int j = 0; j < n * n; ++j)
                        for (int c = 0; c < 3; ++c) total[c] += large.PixelAddress(n * x + j % n, n * y + j / n)[c];
                    const auto mean = [n](int sum) { return (2 * sum + n * n) / (2 * n * n); };
                    if (shown.pixel(x, y) != qRgb(mean(total[2]), mean(total[1]), mean(total[0])))
                        QFAIL(qPrintable(QStringLiteral("1/%1 at %2,%3").arg(n).arg(x).arg(y)));
                }
        }
    }

    // Fit on the 1600 x 1000 screen: the wide image by its width, the tall one by
    // its height; Fit stays for the next image opened and across slider moves and
    // Reset, and Actual Size brings back the cardboard of the image's size, of
    // which the window is the part on the screen. The view, worked out inside a
    // turned render's bands, by the paint, or kept from before Actual Size, is the
    // render's own scaled picture, byte for byte.
    void fitSizesTheWindowToTheScreen() {
        Seams seams;
        lumarq::Windows windows({Bitmap("wide.bmp", 3200, 1500)});
        QVERIFY(StartProgram());
        QCOMPARE(Form1->ViewGeometry(), QRect(0, 0, 3200, 1500));
        QCOMPARE(Form1->geometry(), QRect(0, 0, 1600, 1000));
        // Ctrl+0 from the image window, Ctrl+1 from the panel.
        auto press = [](QWidget* window, Qt::Key key) {
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, key,
                            Qt::ControlModifier);
        };
        const auto showsTheRender = [] {
            // The scale's note aside, which lies over the picture for a second.
            Form1->findChild<QWidget*>(QStringLiteral("ScaleNote"))->hide();
            QCoreApplication::processEvents();
            QCOMPARE(OnScreen(), Scaled(*Form1->Document().WorkRaster, Form1->ViewScale(), Form1->size()));
        };
        // Renders faster than paints: the paint works the view out. Once two in a
        // row were seen, the next works it out in its bands.
        const auto showsTheScaledRender = [&] {
            Form4->ScrollBar8->setValue(30);
            Form4->ScrollBar1->setValue(31);
            showsTheRender();
            for (const int pattern : {32, 33}) {
                Form4->ScrollBar1->setValue(pattern);
                showsTheRender();
            }
        };
        press(Form1, Qt::Key_0);
        QCOMPARE(Form1->geometry(), QRect(0, 0, 1600, 750));
        showsTheScaledRender();
        Form4->Button1Click();
        QCOMPARE(Form1->size(), QSize(1600, 750));
        Form1->OpenNamedFile(Bitmap("tall.bmp", 1000, 2500));
        QCOMPARE(Form1->geometry(), QRect(0, 0, 400, 1000));
        showsTheScaledRender();
        press(Form4, Qt::Key_1);
        QCOMPARE(Form1->ViewGeometry(), QRect(0, 0, 1000, 2500));
        QCOMPARE(Form1->geometry(), QRect(0, 0, 1000, 1000));
        QVERIFY(!Form1->FitChosen());
        // Back at Fit the view kept at actual size shows the render, also one made there.
        press(Form1, Qt::Key_0);
        showsTheRender();
        press(Form1, Qt::Key_1);
        Form4->ScrollBar1->setValue(40);
        press(Form1, Qt::Key_0);
        showsTheRender();
    }

    // Ctrl+wheel zooms one step about the cursor: from 1/2 to 2/3, image point
    // 800,600 stays under the cursor at 400,300.
    void zoomKeepsThePointUnderTheCursor() {
        Seams seams;
        lumarq::Windows windows({Bitmap("wide.bmp", 3200, 1500)});
        QVERIFY(StartProgram());
        Form1->ViewFit();
        const QPointF cursor(400, 300);
        QWheelEvent wheel(cursor, Form1->mapToGlobal(cursor), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(Form1, &wheel);
        QCOMPARE(Form1->ViewScale(), (platform::gdi::ViewScale{2, 3}));
        QCOMPARE(Form1->ViewGeometry(), QRect(-133, -100, 2133, 1000));
        QCOMPARE(Form1->geometry(), QRect(0, 0, 1600, 900));
        // A wheel without Ctrl leaves the view alone.
        QWheelEvent plain(cursor, Form1->mapToGlobal(cursor), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(Form1, &plain);
        QCOMPARE(Form1->ViewScale(), (platform::gdi::ViewScale{2, 3}));
    }

    // A 4000 x 3000 photo, larger than the screen, zooms past actual size up to 8
    // with a window no larger than the screen, which shows the right image pixels,
    // also once the cardboard is dragged; back at actual size the window shows
    // image pixels one to one.
    void largePhotoZoomsPastActualSize() {
        Seams seams;
        lumarq::Windows windows({Bitmap("photo.bmp", 4000, 3000)});
        QVERIFY(StartProgram());
        Form4->ScrollBar1->setValue(33);
        QCoreApplication::processEvents();
        const TWin& work = *Form1->Document().WorkRaster;
        // The screen's pixel at `at` (global) against the image pixel the cardboard puts there.
        const auto shows = [&work](QPoint at, QString& where) {
            const QImage shown = OnScreen();
            const platform::gdi::ViewScale scale = Form1->ViewScale();
            const QPoint view = at - Form1->ViewGeometry().topLeft();
            const std::uint8_t* p = work.PixelAddress(view.x() * scale.denominator / scale.numerator,
                                                      view.y() * scale.denominator / scale.numerator);
            const QPoint local = at - Form1->pos();
            where = QStringLiteral("%1,%2 at %3/%4").arg(at.x()).arg(at.y()).arg(scale.numerator).arg(scale.denominator);
            return shown.pixel(local) == qRgb(p[2], p[1], p[0]);
        };
        const struct {
            int steps;
            platform::gdi::ViewScale scale;
            QPoint anchor, drag;
        } cases[] = {
            {0, {1, 1}, {0, 0}, {600, 400}},
            {1, {2, 1}, {800, 500}, {-3000, -2000}},
            {5, {8, 1}, {1599, 999}, {200, 100}},
        };
        for (const auto& c : cases) {
            Form1->ViewActualSize();
            Form1->Zoom(c.steps, QPointF(c.anchor));
            QCoreApplication::processEvents();
            QCOMPARE(Form1->ViewScale(), c.scale);
            QCOMPARE(Form1->ViewGeometry().size(), QSize(4000, 3000) * c.scale.numerator);
            QCOMPARE(Form1->geometry(), QRect(0, 0, 1600, 1000));
            QString where;
            for (const QPoint at : {c.anchor, QPoint(1599, 0), QPoint(3, 997)}) QVERIFY2(shows(at, where), qPrintable(where));
            // The image point under the anchor stayed there.
            const QPoint image = (c.anchor - Form1->ViewGeometry().topLeft()) / c.scale.numerator;
            QCOMPARE(image, c.anchor);
            Form1->MoveView(Form1->ViewGeometry().topLeft() + c.drag);
            QCoreApplication::processEvents();
            QVERIFY(QRect(0, 0, 1600, 1000).contains(Form1->geometry()));
            for (const QPoint at : {Form1->geometry().topLeft(), Form1->geometry().bottomRight()})
                QVERIFY2(shows(at, where), qPrintable(where));
        }
    }

    // While backslash is held in either window, the window shows the source, with
    // no render; letting go shows the render again.
    void backslashShowsTheSource() {
        Seams seams;
        lumarq::Windows windows({Bitmap("small.bmp", 200, 150)});
        QVERIFY(StartProgram());
        Form4->ScrollBar1->setValue(33);
        QCoreApplication::processEvents();
        const TWin& source = *Form1->Document().SourceRaster;
        const TWin& work = *Form1->Document().WorkRaster;
        QVERIFY(!FirstDifference(source, OnScreen()).isEmpty());
        const int renders = seams.renders;
        for (QWidget* from : {static_cast<QWidget*>(Form4->ScrollBar1), static_cast<QWidget*>(Form1)}) {
            QTest::keyPress(from, Qt::Key_Backslash);
            QCoreApplication::processEvents();
            QCOMPARE(FirstDifference(source, OnScreen()), QString());
            QTest::keyRelease(from, Qt::Key_Backslash);
            QCoreApplication::processEvents();
            QCOMPARE(FirstDifference(work, OnScreen()), QString());
        }
        // At twice the size, the source too is shown in blocks of two by two.
        // About the middle of the window: its top-left quarter goes off the screen, and
        // comes back, painted, when the window is dragged back to the corner.
        Form1->Zoom(1);
        QCOMPARE(Form1->geometry(), QRect(-99, -74, 400, 300));  // pixel 99,74 stays where it was
        Form1->move(0, 0);
        // The scale shown on the image goes away by itself, within about a second.
        const QWidget* note = Form1->findChild<QWidget*>(QStringLiteral("ScaleNote"));
        QVERIFY(note && note->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!note->isVisible(), 1500);
        QTest::keyPress(Form1, Qt::Key_Backslash);
        QCoreApplication::processEvents();
        const QImage enlarged = OnScreen();
        QTest::keyRelease(Form1, Qt::Key_Backslash);
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 400; ++x) {
                const std::uint8_t* p = source.PixelAddress(x / 2, y / 2);
                if (enlarged.pixel(x, y) != qRgb(p[2], p[1], p[0])) QFAIL(qPrintable(QStringLiteral("pixel %1,%2: %3 not %4, size %5").arg(x).arg(y).arg(enlarged.pixel(x, y), 8, 16).arg(qRgb(p[2], p[1], p[0]), 8, 16).arg(enlarged.width())));
            }
        QCOMPARE(seams.renders, renders);
    }
};

int main(int argc, char** argv) {
    // One screen of a known size on Qt's offscreen platform.
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(QStringLiteral("screen.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return 1;
    file.write(R"({"screens": [{"name": "test", "x": 0, "y": 0, "width": 1600, "height": 1000, "dpr": 1}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + path).toLocal8Bit());
    QApplication application(argc, argv);
    ViewScaleTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "view_scale_test.moc"
