#include <QtTest>
#include <limits>

#include "controls/line_geometry.h"

namespace {
ArrowHead Head(LinePoint tip, LinePoint first, LinePoint second) { return {tip, first, second}; }
}  // namespace

namespace QTest {
template <>
char* toString(const LinePoint& p) {
    return QTest::toString(QString("(%1, %2)").arg(p.x).arg(p.y));
}
template <>
char* toString(const ArrowHead& h) {
    return QTest::toString(QString("(%1, %2) (%3, %4) (%5, %6)")
                               .arg(h[0].x).arg(h[0].y).arg(h[1].x).arg(h[1].y).arg(h[2].x).arg(h[2].y));
}
}  // namespace QTest

class LineGeometryTest : public QObject {
    Q_OBJECT
private slots:

void axisParallelLinesAndHeads() {
    // The newly constructed control: 65 x 4, pen 1, horizontal at y = 1.
    LineGeometry g = ComputeLineGeometry(drLeftRight, 65, 4, 1, 3, false, false);
    QCOMPARE(g.from, (LinePoint{0, 1}));
    QCOMPARE(g.to, (LinePoint{65, 1}));
    QVERIFY(!(g.hasArrow1 || g.hasArrow2));
    // Wider pens move the line up; (4 - 5) div 2 truncates to 0, not -1.
    QCOMPARE(ComputeLineGeometry(drLeftRight, 65, 4, 3, 3, false, false).from.y, 0);
    QCOMPARE(ComputeLineGeometry(drLeftRight, 65, 4, 5, 3, false, false).from.y, 0);
    QCOMPARE(ComputeLineGeometry(drLeftRight, 65, 4, 7, 3, false, false).from.y, -1);

    g = ComputeLineGeometry(drLeftRight, 65, 4, 1, 3, true, true);
    QVERIFY(g.hasArrow1 && g.hasArrow2);
    QCOMPARE(g.arrow1, Head({0, 1}, {3, -2}, {3, 4}));
    QCOMPARE(g.arrow2, Head({64, 1}, {61, -2}, {61, 4}));

    g = ComputeLineGeometry(drUpDown, 9, 50, 1, 2, true, true);
    QCOMPARE(g.from, (LinePoint{4, 0}));
    QCOMPARE(g.to, (LinePoint{4, 50}));
    QCOMPARE(g.arrow1, Head({4, 0}, {2, 2}, {6, 2}));
    QCOMPARE(g.arrow2, Head({4, 49}, {2, 47}, {6, 47}));
}

void diagonalHeadsRoundAndClampOneSided() {
    LineGeometry g = ComputeLineGeometry(drTopLeftBottomRight, 100, 100, 1, 3, true, true);
    QCOMPARE(g.from, (LinePoint{0, 0}));
    QCOMPARE(g.to, (LinePoint{100, 100}));
    QCOMPARE(g.arrow1, Head({0, 0}, {5, 1}, {1, 5}));
    QCOMPARE(g.arrow2, Head({99, 99}, {98, 94}, {94, 98}));

    g = ComputeLineGeometry(drTopRightBottomLeft, 100, 100, 1, 3, true, true);
    QCOMPARE(g.from, (LinePoint{100, 0}));
    QCOMPARE(g.to, (LinePoint{0, 100}));
    QCOMPARE(g.arrow1, Head({99, 0}, {94, 1}, {98, 5}));
    QCOMPARE(g.arrow2, Head({0, 99}, {1, 94}, {5, 98}));

    // A shallow slope: the clamps pull -2 up to 0 and 42 down to 40.
    g = ComputeLineGeometry(drTopLeftBottomRight, 185, 41, 1, 3, true, true);
    QCOMPARE(g.arrow1, Head({0, 0}, {5, 0}, {3, 4}));
    QCOMPARE(g.arrow2, Head({184, 40}, {181, 36}, {179, 40}));

    // Flat: t = 0, the head lies along the top edge.
    g = ComputeLineGeometry(drTopLeftBottomRight, 50, 0, 1, 4, true, false);
    QCOMPARE(g.arrow1, Head({0, 0}, {5, 0}, {5, 4}));

    // No width: the line is still drawn, vertical at x = 0, but no head.
    g = ComputeLineGeometry(drTopLeftBottomRight, 0, 30, 1, 3, true, true);
    QCOMPARE(g.from, (LinePoint{0, 0}));
    QCOMPARE(g.to, (LinePoint{0, 30}));
    QVERIFY(!(g.hasArrow1 || g.hasArrow2));
}

// Extreme sizes, widths and factors stay defined (UBSan watches) and land at the
// ends of the int range instead of wrapping round.
void extremeValuesClampInsteadOfOverflowing() {
    const int big = std::numeric_limits<int>::max(), low = std::numeric_limits<int>::min();
    LineGeometry g = ComputeLineGeometry(drLeftRight, 100, 10, low, big, true, true);
    const int y = 1073741829;  // (10 - low) / 2
    QCOMPARE(g.from, (LinePoint{0, y}));
    QCOMPARE(g.arrow1, Head({0, y}, {big, y - big}, {big, big}));
    QCOMPARE(g.arrow2, Head({99, y}, {100 - big - 1, y - big}, {100 - big - 1, big}));
    g = ComputeLineGeometry(drUpDown, big, big, low, low, true, true);
    QCOMPARE(g.arrow2, Head({big, big - 1}, {big, big}, {-1, big}));
    // Diagonals: the trigonometry of huge factors reaches past the int range; the
    // sanitizer checks that every conversion stays defined.
    for (TLineDirection direction : {drTopLeftBottomRight, drTopRightBottomLeft}) {
        g = ComputeLineGeometry(direction, big, big, 1, big, true, true);
        QCOMPARE(g.to, (direction == drTopLeftBottomRight ? LinePoint{big, big} : LinePoint{0, big}));
        g = ComputeLineGeometry(direction, 1, low, 1, low, true, true);
        QVERIFY(g.hasArrow1 && g.hasArrow2);
    }
}
};

QTEST_APPLESS_MAIN(LineGeometryTest)
#include "line_geometry_test.moc"
