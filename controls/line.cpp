#include "controls/line.h"

#include <cstdint>

#include <QPainter>
#include <QPolygon>
#include <cstdlib>

QColor ColorFromTColor(TColor value) {
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

TColor TColorFromColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return static_cast<TColor>(rgb.red()) | static_cast<TColor>(rgb.green()) << 8 |
           static_cast<TColor>(rgb.blue()) << 16;
}

TLine::TLine(QWidget* parent) : QWidget(parent) {
    // No background of its own: only the line and its heads are painted.
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAutoFillBackground(false);
    resize(65, 4);
    brushColor_ = 0;
    arrowFactor_ = 3;
}

TLine::~TLine() = default;

void TLine::RequestRepaint() {
    emit repaintRequested();
    update();
}

void TLine::setDirection(TLineDirection value) {
    if (value == direction_) return;
    direction_ = value;
    RequestRepaint();
}

void TLine::setLineColor(TColor value) {
    if (value == penColor_) return;
    penColor_ = value;
    RequestRepaint();
}

void TLine::setArrowColor(TColor value) {
    if (value == brushColor_) return;
    brushColor_ = value;
    RequestRepaint();
}

void TLine::setArrowFactor(int value) {
    if (value == arrowFactor_) return;
    arrowFactor_ = value;
    RequestRepaint();
}

void TLine::setLineWidth(int value) {
    if (value == penWidth_) return;
    // Arrowheads are drawn with the line's pen and only look right one pixel wide.
    penWidth_ = (arrow1_ || arrow2_) ? 1 : value;
    RequestRepaint();
}

void TLine::setArrow1(bool value) {
    if (value == arrow1_) return;
    arrow1_ = value;
    if (value) setLineWidth(1);
    RequestRepaint();
}

void TLine::setArrow2(bool value) {
    if (value == arrow2_) return;
    arrow2_ = value;
    if (value) setLineWidth(1);
    RequestRepaint();
}

namespace {

// The pixels of the segment from `from` towards `to`, the end pixel itself left
// out, as a one-pixel pen draws a move-to / line-to pair.
QPolygon SegmentPixels(LinePoint from, LinePoint to) {
    QPolygon pixels;
    // 64 bits: the end points may lie anywhere in the int range.
    std::int64_t x = from.x, y = from.y;
    const std::int64_t dx = std::abs(std::int64_t{to.x} - from.x), dy = -std::abs(std::int64_t{to.y} - from.y);
    const int sx = from.x < to.x ? 1 : -1, sy = from.y < to.y ? 1 : -1;
    std::int64_t error = dx + dy;
    while (x != to.x || y != to.y) {
        pixels << QPoint(static_cast<int>(x), static_cast<int>(y));
        const std::int64_t twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x += sx;
        }
        if (twice <= dx) {
            error += dx;
            y += sy;
        }
    }
    return pixels;
}

}  // namespace

void TLine::paintEvent(QPaintEvent*) {
    const LineGeometry g =
        ComputeLineGeometry(direction_, width(), height(), penWidth_, arrowFactor_, arrow1_, arrow2_);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QColor lineColor = ColorFromTColor(penColor_);

    if (penWidth_ <= 1) {
        // A zero or negative width draws the thinnest line, one pixel.
        painter.setPen(QPen(lineColor, 1));
        const QPolygon pixels = SegmentPixels(g.from, g.to);
        if (!pixels.isEmpty()) painter.drawPoints(pixels);
    } else {
        // A wide pen's flat end stops at the end point, which stays unpainted.
        QPen pen(lineColor, penWidth_, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        painter.setPen(pen);
        painter.drawLine(QPointF(g.from.x + 0.5, g.from.y + 0.5), QPointF(g.to.x + 0.5, g.to.y + 0.5));
    }

    QPen outline(lineColor, std::max(penWidth_, 1), Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    painter.setPen(outline);
    painter.setBrush(ColorFromTColor(brushColor_));
    auto drawHead = [&painter](const ArrowHead& head) {
        QPolygon polygon;
        for (const LinePoint& p : head) polygon << QPoint(p.x, p.y);
        painter.drawPolygon(polygon);
    };
    if (g.hasArrow1) drawHead(g.arrow1);
    if (g.hasArrow2) drawHead(g.arrow2);
}
