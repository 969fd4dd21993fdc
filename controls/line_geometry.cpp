#include "controls/line_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

using Wide = std::int64_t;

// Sizes and factors may be anything a property accepts: the sums are made in 64
// bits and each coordinate is brought back into the int range.
int Narrow(Wide value) {
    return static_cast<int>(std::clamp<Wide>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}
LinePoint Point(Wide x, Wide y) { return {Narrow(x), Narrow(y)}; }

// Nearest integer, an exact half going to the even neighbour; values beyond the
// 64-bit range (or not numbers) are held at its ends.
Wide RoundHalfEven(double value) {
    if (!(value > -9.2e18)) return value != value ? 0 : std::numeric_limits<Wide>::min() / 2;
    if (value > 9.2e18) return std::numeric_limits<Wide>::max() / 2;
    const double floor = std::floor(value);
    const double fraction = value - floor;
    double result = floor;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0)) result = floor + 1;
    return static_cast<Wide>(result);
}

}  // namespace

LineGeometry ComputeLineGeometry(TLineDirection direction, int width, int height, int penWidth, int arrowFactor,
                                 bool arrow1, bool arrow2) {
    const Wide W = width, H = height, P = penWidth, F = arrowFactor;
    LineGeometry g;
    switch (direction) {
        case drLeftRight: {
            const Wide y = (H - P) / 2;
            g.from = Point(0, y);
            g.to = Point(W, y);
            g.hasArrow1 = arrow1;
            g.hasArrow2 = arrow2;
            g.arrow1 = {Point(0, y), Point(F, y - F), Point(F, y + F)};
            g.arrow2 = {Point(W - 1, y), Point(W - F - 1, y - F), Point(W - F - 1, y + F)};
            return g;
        }
        case drUpDown: {
            const Wide x = (W - P) / 2;
            g.from = Point(x, 0);
            g.to = Point(x, H);
            g.hasArrow1 = arrow1;
            g.hasArrow2 = arrow2;
            g.arrow1 = {Point(x, 0), Point(x - F, F), Point(x + F, F)};
            g.arrow2 = {Point(x, H - 1), Point(x - F, H - F - 1), Point(x + F, H - F - 1)};
            return g;
        }
        case drTopLeftBottomRight:
        case drTopRightBottomLeft:
            break;
    }
    const bool downRight = direction == drTopLeftBottomRight;
    g.from = downRight ? Point(0, 0) : Point(W, 0);
    g.to = downRight ? Point(W, H) : Point(0, H);
    if (W <= 0) return g;  // no arrowheads without a width to measure the slope by
    g.hasArrow1 = arrow1;
    g.hasArrow2 = arrow2;
    const double pi = 3.14159265358979323846;
    const double t = std::atan(static_cast<double>(H) / static_cast<double>(W));
    const double L = static_cast<double>(F) + 1;
    const double a = static_cast<double>(RoundHalfEven(L * std::sin(t)));
    const double b = static_cast<double>(RoundHalfEven(L * std::cos(t)));
    const double c = static_cast<double>(F) * std::cos(pi / 2 - t);
    const double s = static_cast<double>(F) * std::sin(pi / 2 - t);
    const Wide bPlusC = RoundHalfEven(b + c), bMinusC = RoundHalfEven(b - c);
    const Wide aMinusS = RoundHalfEven(a - s), aPlusS = RoundHalfEven(a + s);
    // Coordinates measured from the left or top are raised to 0, those measured
    // back from the right or bottom lowered to the last pixel; nothing else.
    auto fromLeft = [](Wide v) { return std::max<Wide>(0, v); };
    auto fromRight = [W](Wide v) { return std::min(W - 1, W - 1 - v); };
    auto fromBottom = [H](Wide v) { return std::min(H - 1, H - 1 - v); };
    if (downRight) {
        g.arrow1 = {Point(0, 0), Point(fromLeft(bPlusC), fromLeft(aMinusS)), Point(fromLeft(bMinusC), fromLeft(aPlusS))};
        g.arrow2 = {Point(W - 1, H - 1), Point(fromRight(bMinusC), fromBottom(aPlusS)),
                    Point(fromRight(bPlusC), fromBottom(aMinusS))};
    } else {
        g.arrow1 = {Point(W - 1, 0), Point(fromRight(bPlusC), fromLeft(aMinusS)), Point(fromRight(bMinusC), fromLeft(aPlusS))};
        g.arrow2 = {Point(0, H - 1), Point(fromLeft(bMinusC), fromBottom(aPlusS)), Point(fromLeft(bPlusC), fromBottom(aMinusS))};
    }
    return g;
}
