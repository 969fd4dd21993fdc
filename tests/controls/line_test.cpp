// The arrow line control: what it starts with, when its setters ask for a
// repaint, the one-pixel rule while an arrowhead is on, and what it paints over
// its parent.
#include <QImage>
#include <QPainter>
#include <QtTest>

#include "controls/line.h"

namespace {

const QColor kBackground(0, 160, 80);
constexpr TColor kRed = 0x0000FF;  // 0x00BBGGRR

// Renders a line on a parent filled with kBackground and returns the parent's
// pixels, so that what the line leaves unpainted shows the background.
QImage Paint(QWidget& parent) {
    QImage image(parent.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);  // anything the parent and the line leave alone
    parent.render(&image);
    return image;
}

struct Host {
    QWidget parent;
    TLine* line;
    explicit Host(QRect geometry) {
        parent.resize(geometry.right() + 20, geometry.bottom() + 20);
        QPalette palette = parent.palette();
        palette.setColor(QPalette::Window, kBackground);
        parent.setPalette(palette);
        parent.setAutoFillBackground(true);
        line = new TLine(&parent);
        line->setGeometry(geometry);
    }
};

}  // namespace

class LineTest : public QObject {
    Q_OBJECT
private slots:

void newLine() {
    TLine line;
    QCOMPARE(line.size(), QSize(65, 4));
    QCOMPARE(line.Direction(), drLeftRight);
    QCOMPARE(line.LineColor(), TColor(0));
    QCOMPARE(line.ArrowColor(), TColor(0));
    QCOMPARE(line.LineWidth(), 1);
    QCOMPARE(line.ArrowFactor(), 3);
    QVERIFY(!line.Arrow1() && !line.Arrow2());
    QCOMPARE(ColorFromTColor(kRed), QColor(Qt::red));
    QCOMPARE(TColorFromColor(QColor(1, 2, 3)), TColor(0x030201));
}

void settersRepaintOnlyOnChange() {
    TLine line;
    QSignalSpy spy(&line, &TLine::repaintRequested);
    // The values it already has: nothing to repaint.
    line.setDirection(drLeftRight);
    line.setLineColor(0);
    line.setArrowColor(0);
    line.setLineWidth(1);
    line.setArrow1(false);
    line.setArrow2(false);
    line.setArrowFactor(3);
    QCOMPARE(spy.count(), 0);

    line.setDirection(drUpDown);
    line.setLineColor(kRed);
    line.setArrowColor(kRed);
    line.setLineWidth(4);
    line.setArrowFactor(-7);  // no range check
    QCOMPARE(spy.count(), 5);
    QCOMPARE(line.Direction(), drUpDown);
    QCOMPARE(line.LineColor(), kRed);
    QCOMPARE(line.ArrowColor(), kRed);
    QCOMPARE(line.LineWidth(), 4);
    QCOMPARE(line.ArrowFactor(), -7);
    // Storing a colour into the pen must leave the brush alone, and back.
    line.setLineColor(0);
    QCOMPARE(line.ArrowColor(), kRed);

    // A form sets properties by name, as uic's code or a loader does.
    QVERIFY(line.setProperty("LineWidth", 2));
    QCOMPARE(line.LineWidth(), 2);
    QCOMPARE(line.property("Direction").value<TLineDirection>(), drUpDown);
}

void arrowsKeepTheLineOnePixelWide() {
    TLine line;
    QSignalSpy repaints(&line, &TLine::repaintRequested);
    line.setLineWidth(5);
    int before = repaints.count();
    line.setArrow1(true);
    QCOMPARE(line.LineWidth(), 1);
    QVERIFY(repaints.count() > before);

    // Width 4 is refused while the arrow is on, but the request still repaints.
    before = repaints.count();
    line.setLineWidth(4);
    QCOMPARE(line.LineWidth(), 1);
    QCOMPARE(repaints.count(), before + 1);
    // Asking for the width it has does nothing at all.
    line.setLineWidth(1);
    QCOMPARE(repaints.count(), before + 1);

    // Switching the arrow off repaints but does not bring width 5 back.
    line.setArrow1(false);
    QCOMPARE(repaints.count(), before + 2);
    QCOMPARE(line.LineWidth(), 1);
    line.setLineWidth(4);
    QCOMPARE(line.LineWidth(), 4);

    // The second arrow holds the rule alike, also while the first is off.
    line.setArrow2(true);
    QCOMPARE(line.LineWidth(), 1);
    line.setLineWidth(6);
    QCOMPARE(line.LineWidth(), 1);
    line.setArrow2(false);
    line.setLineWidth(6);
    QCOMPARE(line.LineWidth(), 6);
}

void paintsOnlyTheLine() {
    // The new line, 65 x 4 at (10, 10): row y = 1 from x = 0 to 64, nothing else.
    Host host(QRect(10, 10, 65, 4));
    const QImage image = Paint(host.parent);
    for (int y = 8; y < 16; ++y)
        for (int x = 8; x < 78; ++x) {
            const bool onLine = y == 11 && x >= 10 && x <= 74;
            QCOMPARE(image.pixelColor(x, y), onLine ? QColor(Qt::black) : kBackground);
        }
}

void widePenAndVerticalLine() {
    // Width 3 in a 4-pixel-high control lies at y = 0: rows 0 and 1 of the
    // control are covered (the pen's upper third falls outside), rows 2 and 3 not.
    Host wide(QRect(5, 5, 30, 4));
    wide.line->setLineWidth(3);
    QImage image = Paint(wide.parent);
    QCOMPARE(image.pixelColor(15, 5), QColor(Qt::black));
    QCOMPARE(image.pixelColor(15, 6), QColor(Qt::black));
    QCOMPARE(image.pixelColor(15, 7), kBackground);
    QCOMPARE(image.pixelColor(15, 4), kBackground);  // clipped to the control

    Host vertical(QRect(5, 5, 9, 20));
    vertical.line->setDirection(drUpDown);
    vertical.line->setLineColor(kRed);
    image = Paint(vertical.parent);
    for (int y = 3; y < 28; ++y) {
        const bool inside = y >= 5 && y < 25;
        QCOMPARE(image.pixelColor(9, y), inside ? QColor(Qt::red) : kBackground);  // x = (9 - 1) div 2
        QCOMPARE(image.pixelColor(8, y), kBackground);
        QCOMPARE(image.pixelColor(10, y), kBackground);
    }
}

void diagonalPixels() {
    // A 45-degree line from (0, 0) towards (20, 20): one pixel per row, on the diagonal.
    Host host(QRect(0, 0, 20, 20));
    host.line->setDirection(drTopLeftBottomRight);
    QImage image = Paint(host.parent);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) QCOMPARE(image.pixelColor(x, y), x == y ? QColor(Qt::black) : kBackground);

    host.line->setDirection(drTopRightBottomLeft);
    image = Paint(host.parent);
    // From (20, 0) to (0, 20); (20, 0) is outside, the first pixel inside is (19, 1).
    QCOMPARE(image.pixelColor(19, 1), QColor(Qt::black));
    QCOMPARE(image.pixelColor(1, 19), QColor(Qt::black));
    QCOMPARE(image.pixelColor(0, 0), kBackground);
    QCOMPARE(image.pixelColor(10, 15), kBackground);
}

void arrowHeadsAreFilledOverTheLine() {
    // 40 x 20, factor 5: y = 9; Arrow2 head (39, 9), (34, 4), (34, 14).
    Host host(QRect(0, 0, 40, 20));
    host.line->setArrowFactor(5);
    host.line->setArrowColor(kRed);
    host.line->setArrow2(true);
    QImage image = Paint(host.parent);
    QCOMPARE(image.pixelColor(20, 9), QColor(Qt::black));   // the line
    QCOMPARE(image.pixelColor(36, 8), QColor(Qt::red));     // inside the head
    QCOMPARE(image.pixelColor(36, 9), QColor(Qt::red));     // the head covers the line
    QCOMPARE(image.pixelColor(34, 4), QColor(Qt::black));   // outlined with the pen
    QCOMPARE(image.pixelColor(34, 9), QColor(Qt::black));   // the base edge
    QCOMPARE(image.pixelColor(37, 4), kBackground);         // outside the head
    QCOMPARE(image.pixelColor(2, 8), kBackground);          // no Arrow1 head

    host.line->setArrow1(true);
    image = Paint(host.parent);
    QCOMPARE(image.pixelColor(2, 9), QColor(Qt::red));
    QCOMPARE(image.pixelColor(4, 6), QColor(Qt::red));
    QCOMPARE(image.pixelColor(2, 4), kBackground);
}

};

QTEST_MAIN(LineTest)
#include "line_test.moc"
