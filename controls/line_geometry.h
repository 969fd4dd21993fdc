// Where a TLine paints its line and arrowheads: a pure function of the control's
// size, pen width, arrow factor and direction, so it can be checked without a screen.
#pragma once

#include <array>
#include <cstdint>

enum TLineDirection : std::uint8_t {
    drLeftRight = 0,
    drUpDown = 1,
    drTopLeftBottomRight = 2,
    drTopRightBottomLeft = 3,
};

struct LinePoint {
    int x = 0;
    int y = 0;
    bool operator==(const LinePoint&) const = default;
};

using ArrowHead = std::array<LinePoint, 3>;  // tip, first base point, second base point

struct LineGeometry {
    LinePoint from, to;  // the end point's own pixel is not painted
    bool hasArrow1 = false, hasArrow2 = false;
    ArrowHead arrow1{}, arrow2{};
};

LineGeometry ComputeLineGeometry(TLineDirection direction, int width, int height, int penWidth, int arrowFactor,
                                 bool arrow1, bool arrow2);
