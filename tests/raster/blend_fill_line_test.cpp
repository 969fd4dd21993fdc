#include <gtest/gtest.h>

#include "raster/blend.h"
#include "tests/raster/test_util.h"

TEST(Blend, WeightsRoundDownAndSelectArms) {
    EXPECT_EQ(Blend(0, 255, 64, 0), 127);
    EXPECT_EQ(Blend(255, 0, 64, 0), 127);
    EXPECT_EQ(Blend(10, 200, 1, 0), 11);
    EXPECT_EQ(Blend(10, 200, 127, 0), 198);
    EXPECT_EQ(Blend(0, 300, 128, 1), 255);
    EXPECT_EQ(Blend(0, 300, 129, 0), 300);
    EXPECT_EQ(Blend(77, 5, 0, 1), 77);
    EXPECT_EQ(Blend(5, -20, 128, 1), 0);
    EXPECT_EQ(Blend(5, 99, -5, 0), 99);
    // Negative sums: the low byte is the sum divided by 128 rounded toward minus infinity.
    EXPECT_EQ(Blend(0, -1, 64, 0) & 255, 255);
    EXPECT_EQ(Blend(3, -300, 32, 0), -73);  // (3*96 - 300*32) / 128 = -72.75 -> -73
}

TEST(Blend, EveryArmMatchesTheMixFormula) {
    for (int weight = 0; weight <= 128; ++weight)
        for (int old = 0; old <= 255; old += 3)
            for (int value = -600; value <= 600; value += 7) {
                const int sum = old * (128 - weight) + value * weight;
                const int floorDiv = sum >= 0 ? sum / 128 : -((-sum + 127) / 128);
                ASSERT_EQ(Blend(old, value, weight, 0), floorDiv) << old << " " << value << " " << weight;
            }
}

TEST(FillBox, OrdersCornersClampsAndNeverLeavesTheRaster) {
    TWin win(200, 150);
    win.FillBox(10, 20, 5, 8, 255, 0, 0, 128);
    auto painted = PaintedPixels(win, {0, 0, 0});
    EXPECT_EQ(painted.size(), 6u * 13u);
    EXPECT_TRUE(painted.count({5, 8}) && painted.count({10, 20}));
    EXPECT_EQ(PixelAt(win, 7, 9), (Rgb{255, 0, 0}));

    // The running pointer ends one pixel past the box's last corner, stepping by 3.
    EXPECT_EQ(win.Cursor, win.PixelAddress(11, 20));
    EXPECT_EQ(win.Step, 3);

    TWin edge(200, 150);
    edge.FillBox(250, 10, 300, 12, 255, 0, 0, 128);
    EXPECT_EQ(PaintedPixels(edge, {0, 0, 0}), (std::set<std::pair<int, int>>{{199, 10}, {199, 11}, {199, 12}}));
    TWin corner(200, 150);
    corner.FillBox(-50, -50, -1, -1, 1, 2, 3, 128);
    EXPECT_EQ(PaintedPixels(corner, {0, 0, 0}), (std::set<std::pair<int, int>>{{0, 0}}));

    // Row padding stays zero: width 5 has a stride of 16, one padding byte per row.
    TWin padded(5, 3);
    padded.FillBox(-10, -10, 10, 10, 255, 255, 255, 128);
    for (int y = 0; y < 3; ++y) EXPECT_EQ(padded.PixelAddress(0, y)[15], 0);
    padded.FillBox(-10, -10, 10, 10, 0, 0, 0, 64);
    for (int y = 0; y < 3; ++y) EXPECT_EQ(padded.PixelAddress(0, y)[15], 0);
}

TEST(FillBox, WeightsMixOrReplace) {
    TWin win(4, 1);
    win.FillBox(0, 0, 3, 0, 255, 255, 255, 128);
    win.FillBox(0, 0, 0, 0, 0, 0, 0, 64);
    EXPECT_EQ(PixelAt(win, 0, 0), (Rgb{127, 127, 127}));
    win.FillBox(1, 0, 1, 0, 9, 9, 9, 0);
    EXPECT_EQ(PixelAt(win, 1, 0), (Rgb{255, 255, 255}));
    win.FillBox(2, 0, 2, 0, 10, 20, 30, 200);
    win.FillBox(3, 0, 3, 0, 10, 20, 30, -5);
    EXPECT_EQ(PixelAt(win, 2, 0), (Rgb{10, 20, 30}));
    EXPECT_EQ(PixelAt(win, 3, 0), (Rgb{10, 20, 30}));
    // The opaque path keeps the low byte of each argument.
    win.FillBox(0, 0, 0, 0, 300, -1, 256, 128);
    EXPECT_EQ(PixelAt(win, 0, 0), (Rgb{44, 255, 0}));
}

namespace {

std::set<std::pair<int, int>> Line(int x1, int y1, int x2, int y2, int w = 20, int h = 20) {
    TWin win(w, h);
    win.DrawLine(x1, y1, x2, y2, 255, 255, 255, 128);
    return PaintedPixels(win, {0, 0, 0});
}

using Pixels = std::set<std::pair<int, int>>;

}  // namespace

TEST(DrawLine, AxisParallelSegmentsAreClampedNotSkipped) {
    EXPECT_EQ(Line(4, 4, 4, 4), (Pixels{{4, 4}}));
    EXPECT_EQ(Line(9, 4, 2, 4), Line(2, 4, 9, 4));
    EXPECT_EQ(Line(2, 4, 9, 4).size(), 8u);
    EXPECT_EQ(Line(3, 12, 3, 5), Line(3, 5, 3, 12));
    Pixels column;
    for (int y = 0; y <= 10; ++y) column.insert({3, y});
    EXPECT_EQ(Line(3, -5, 3, 10), column);
    EXPECT_EQ(Line(25, 5, 30, 5), (Pixels{{19, 5}}));
}

TEST(DrawLine, SlantedWalkReachesBothEnds) {
    const Pixels shallow{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}};
    EXPECT_EQ(Line(0, 0, 4, 2), shallow);
    EXPECT_EQ(Line(4, 2, 0, 0), shallow);
    EXPECT_EQ(Line(0, 0, 3, 3), (Pixels{{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
    // A minor extent of 1 steps in the middle and ends on the far end point.
    EXPECT_EQ(Line(0, 0, 5, 1), (Pixels{{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 1}, {5, 1}}));
    EXPECT_EQ(Line(0, 0, 1, 1), (Pixels{{0, 0}, {1, 1}}));
    // Every slanted segment covers both end points, one pixel per major step.
    for (int x2 = 0; x2 < 12; ++x2)
        for (int y2 = 0; y2 < 12; ++y2)
            for (auto [x1, y1] : {std::pair{5, 6}, {0, 11}}) {
                const Pixels line = Line(x1, y1, x2, y2);
                EXPECT_TRUE(line.count({x1, y1}) && line.count({x2, y2})) << x1 << y1 << x2 << y2;
                EXPECT_EQ(line.size(), static_cast<size_t>(std::max(std::abs(x2 - x1), std::abs(y2 - y1)) + 1));
                EXPECT_EQ(line, Line(x2, y2, x1, y1));
            }
}

TEST(DrawLine, WeightsMixEachPixelOnce) {
    TWin win(10, 10);
    win.FillBox(0, 0, 9, 9, 255, 255, 255, 128);
    win.DrawLine(0, 0, 9, 5, 0, 0, 0, 64);
    for (auto [x, y] : PaintedPixels(win, {255, 255, 255})) EXPECT_EQ(PixelAt(win, x, y), (Rgb{127, 127, 127}));
    win.DrawLine(0, 9, 9, 9, 300, 2, 3, 128);
    EXPECT_EQ(PixelAt(win, 4, 9), (Rgb{44, 2, 3}));
}
