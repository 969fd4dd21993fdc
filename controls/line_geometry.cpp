#include "controls/line_geometry.h"

#include <algorithm>
#include <cmath>

namespace {

// Nearest integer, an exact half going to the even neighbour.
int RoundHalfEven(double value) {
    const double floor = std::floor(value);
    const double fraction = value - floor;
    double result = floor;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0)) result = floor + 1;
    return static_cast<int>(result);
}

}  // namespace

LineGeometry ComputeLineGeometry(TLineDirection direction, int W, int H, int P, int F, bool arrow1, bool arrow2) {
    LineGeometry g;
    switch (direction) {
        case drLeftRight: {
            const int y = (H - P) / 2;
            g.from = {0, y};
            g.to = {W, y};
            g.hasArrow1 = arrow1;
            g.hasArrow2 = arrow2;
            g.arrow1 = {LinePoint{0, y}, {F, y - F}, {F, y + F}};
            g.arrow2 = {LinePoint{W - 1, y}, {W - F - 1, y - F}, {W - F - 1, y + F}};
            return g;
        }
        case drUpDown: {
            const int x = (W - P) / 2;
            g.from = {x, 0};
            g.to = {x, H};
            g.hasArrow1 = arrow1;
            g.hasArrow2 = arrow2;
            g.arrow1 = {LinePoint{x, 0}, {x - F, F}, {x + F, F}};
            g.arrow2 = {LinePoint{x, H - 1}, {x - F, H - F - 1}, {x + F, H - F - 1}};
            return g;
        }
        case drTopLeftBottomRight:
        case drTopRightBottomLeft:
            break;
    }
    const bool downRight = direction == drTopLeftBottomRight;
    g.from = downRight ? LinePoint{0, 0} : LinePoint{W, 0};
    g.to = downRight ? LinePoint{W, H} : LinePoint{0, H};
    if (W <= 0) return g;  // no arrowheads without a width to measure the slope by
    g.hasArrow1 = arrow1;
    g.hasArrow2 = arrow2;
    const double pi = 3.14159265358979323846;
    const double t = std::atan(static_cast<double>(H) / W);
    const double L = F + 1;
    const double a = RoundHalfEven(L * std::sin(t));
    const double b = RoundHalfEven(L * std::cos(t));
    const double c = F * std::cos(pi / 2 - t);
    const double s = F * std::sin(pi / 2 - t);
    const int bPlusC = RoundHalfEven(b + c), bMinusC = RoundHalfEven(b - c);
    const int aMinusS = RoundHalfEven(a - s), aPlusS = RoundHalfEven(a + s);
    // Coordinates measured from the left or top are raised to 0, those measured
    // back from the right or bottom lowered to the last pixel; nothing else.
    auto fromLeft = [](int v) { return std::max(0, v); };
    auto fromRight = [W](int v) { return std::min(W - 1, W - 1 - v); };
    auto fromBottom = [H](int v) { return std::min(H - 1, H - 1 - v); };
    if (downRight) {
        g.arrow1 = {LinePoint{0, 0}, {fromLeft(bPlusC), fromLeft(aMinusS)}, {fromLeft(bMinusC), fromLeft(aPlusS)}};
        g.arrow2 = {LinePoint{W - 1, H - 1}, {fromRight(bMinusC), fromBottom(aPlusS)},
                    {fromRight(bPlusC), fromBottom(aMinusS)}};
    } else {
        g.arrow1 = {LinePoint{W - 1, 0}, {fromRight(bPlusC), fromLeft(aMinusS)}, {fromRight(bMinusC), fromLeft(aPlusS)}};
        g.arrow2 = {LinePoint{0, H - 1}, {fromLeft(bMinusC), fromBottom(aPlusS)}, {fromLeft(bPlusC), fromBottom(aMinusS)}};
    }
    return g;
}
