// TLine: a windowless-looking control that draws one straight line across its
// rectangle (horizontal, vertical or either diagonal) with an optional filled
// arrowhead at either end. It paints only the line and the heads; everywhere else
// the parent shows through, and mouse events pass to what lies beneath.
//
// Colours are TColor values encoded as 0x00BBGGRR (red in the low byte), so black
// is 0 and white 0x00FFFFFF.
#pragma once

#include <QColor>
#include <QWidget>
#include <cstdint>

#include "controls/line_geometry.h"

using TColor = std::uint32_t;

QColor ColorFromTColor(TColor value);
TColor TColorFromColor(const QColor& color);

class TLine : public QWidget {
    Q_OBJECT
    // In the order a form stores and restores them.
    Q_PROPERTY(TLineDirection Direction READ Direction WRITE setDirection)
    Q_PROPERTY(std::uint32_t LineColor READ LineColor WRITE setLineColor)
    Q_PROPERTY(std::uint32_t ArrowColor READ ArrowColor WRITE setArrowColor)
    Q_PROPERTY(int LineWidth READ LineWidth WRITE setLineWidth)
    Q_PROPERTY(bool Arrow1 READ Arrow1 WRITE setArrow1)
    Q_PROPERTY(bool Arrow2 READ Arrow2 WRITE setArrow2)
    Q_PROPERTY(int ArrowFactor READ ArrowFactor WRITE setArrowFactor)
public:
    // Lets forms name the directions as TLine::drUpDown, as uic writes them.
    using enum TLineDirection;

    explicit TLine(QWidget* parent = nullptr);
    ~TLine() override;

    TLineDirection Direction() const { return direction_; }
    TColor LineColor() const { return penColor_; }
    TColor ArrowColor() const { return brushColor_; }
    int LineWidth() const { return penWidth_; }
    bool Arrow1() const { return arrow1_; }
    bool Arrow2() const { return arrow2_; }
    int ArrowFactor() const { return arrowFactor_; }

    // Each setter does nothing when the value is the current one; otherwise it
    // stores the value and asks for a repaint. While an arrowhead is on, the line
    // width stays 1.
    void setDirection(TLineDirection value);
    void setLineColor(TColor value);
    void setArrowColor(TColor value);
    void setLineWidth(int value);
    void setArrow1(bool value);
    void setArrow2(bool value);
    void setArrowFactor(int value);

signals:
    // A setter changed what the line looks like and asked for a repaint.
    void repaintRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void RequestRepaint();

    TLineDirection direction_ = drLeftRight;
    // The pen and brush keep their settings between paints.
    TColor penColor_ = 0;
    int penWidth_ = 1;
    TColor brushColor_ = 0;
    bool arrow1_ = false;
    bool arrow2_ = false;
    int arrowFactor_ = 3;
};
