#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "raster/blend.h"
#include "raster/reference/reference.h"
#include "raster/rotation.h"
#include "tests/raster/test_util.h"

namespace {

using reference::Placement;

// What the control panel passes for the offsets and the angle.
Placement Panel(const TWin& source, int xOffset, int yOffset, float angle) {
    Placement p;
    p.CentreX = source.Width() / 2 + xOffset;
    p.CentreY = source.Height() / 2 + yOffset;
    p.Angle = angle;
    return p;
}

void Fill(TWin& win, Rgb rgb) {
    for (int y = 0; y < win.Height(); ++y)
        for (int x = 0; x < win.Width(); ++x) SetPixel(win, x, y, rgb);
}

std::vector<std::uint8_t> Bytes(const TWin& win) {
    return {win.Bits, win.Bits + static_cast<std::size_t>(win.Stride) * win.Height()};
}

constexpr Rgb kClear{0, 0, 0};

// A pixel of a coordinate-coded source names its own column (red) and row (green).
std::pair<int, int> SourceOf(Rgb rgb) { return {rgb[0], rgb[1]}; }

}  // namespace

// ---------------------------------------------------------------------------
// Where the control panel's call puts the image.

TEST(PlaceRotatedPanel, AngleZeroCopiesAndLeavesOddLastColumnAndRowClear) {
    for (auto [w, h] : {std::pair{8, 6}, {7, 5}, {9, 6}}) {
        for (auto [dx, dy] : {std::pair{0, 0}, {3, -2}}) {
            TWin source(w, h), work(w, h);
            FillWithCoordinates(source);
            Panel(source, dx, dy, 0.0f).Draw(work, source);
            const int ox = w / 2 + dx - w / 2, oy = h / 2 + dy - h / 2;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const int sx = x - ox, sy = y - oy;
                    const bool drawn = sx >= 0 && sx < 2 * (w / 2) && sy >= 0 && sy < 2 * (h / 2);
                    EXPECT_EQ(PixelAt(work, x, y), drawn ? PixelAt(source, sx, sy) : kClear)
                        << w << "x" << h << " offset " << dx << "," << dy << " at " << x << "," << y;
                }
        }
    }
}

TEST(PlaceRotatedPanel, Angle360LandsShiftedWithCentreDrawnTwice) {
    for (auto [w, h] : {std::pair{8, 6}, {7, 5}, {10, 9}}) {
        for (auto [dx, dy] : {std::pair{0, 0}, {2, 3}}) {
            TWin source(w, h), work(w, h);
            FillWithCoordinates(source);
            const Placement p = Panel(source, dx, dy, 360.0f);
            p.Draw(work, source);
            const int hw = w / 2, hh = h / 2;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    // Columns up to the centre land two to the left, the rest one;
                    // rows up to the centre one higher, the rest in place.
                    const int c = x <= p.CentreX - 2 ? x - p.CentreX + hw + 2 : x - p.CentreX + hw + 1;
                    const int t = y <= p.CentreY - 1 ? y - p.CentreY + hh + 1 : y - p.CentreY + hh;
                    const bool drawn = c >= 1 && c < w && t >= 1 && t < h && x < w - 1;
                    EXPECT_EQ(PixelAt(work, x, y), drawn ? PixelAt(source, c, t) : kClear)
                        << w << "x" << h << " offset " << dx << "," << dy << " at " << x << "," << y;
                }
            // The last column is never reached by the scan.
            for (int y = 0; y < h; ++y) EXPECT_EQ(PixelAt(work, w - 1, y), kClear);
        }
    }
}

TEST(PlaceRotatedPanel, HalfDegreeIsTheDirectCopyAndOneDegreeTurns) {
    TWin source(31, 21), at0(31, 21), atHalf(31, 21), at1(31, 21);
    FillWithCoordinates(source);
    Panel(source, 0, 0, 0.0f).Draw(at0, source);
    Panel(source, 0, 0, 0.5f).Draw(atHalf, source);
    Panel(source, 0, 0, 1.0f).Draw(at1, source);
    EXPECT_EQ(Bytes(atHalf), Bytes(at0));
    EXPECT_NE(Bytes(at1), Bytes(at0));
}

TEST(PlaceRotatedGeometry, PositiveQuarterTurnMakesARightArrowPointUp) {
    // A horizontal bar with a red tip at its right end and a blue tail at its left.
    TWin source(41, 41), work(41, 41);
    for (int x = 5; x <= 35; ++x) SetPixel(source, x, 20, {255, 255, 255});
    for (int y = 18; y <= 22; ++y)
        for (int x = 0; x < 3; ++x) {
            SetPixel(source, 33 + x, y, {255, 0, 0});
            SetPixel(source, 5 + x, y, {0, 0, 255});
        }
    Panel(source, 0, 0, 90.0f).Draw(work, source);
    double tipX = 0, tipY = 0, tailX = 0, tailY = 0;
    int tips = 0, tails = 0;
    for (int y = 0; y < 41; ++y)
        for (int x = 0; x < 41; ++x) {
            const Rgb rgb = PixelAt(work, x, y);
            if (rgb == Rgb{255, 0, 0}) tipX += x, tipY += y, ++tips;
            if (rgb == Rgb{0, 0, 255}) tailX += x, tailY += y, ++tails;
        }
    ASSERT_GT(tips, 0);
    ASSERT_GT(tails, 0);
    tipX /= tips, tipY /= tips, tailX /= tails, tailY /= tails;
    EXPECT_LT(tipY, 20 - 10) << "the tip must be well above the centre";
    EXPECT_GT(tailY, 20 + 10) << "the tail must be well below the centre";
    EXPECT_NEAR(tipX, tailX, 2.0) << "the arrow must stand upright";
}

TEST(PlaceRotatedGeometry, AngleCodeRoundsHalfToEvenAndKeepsTheSign) {
    using rotation::AngleCode;
    EXPECT_EQ(AngleCode(0.125f), 12);  // 12.5 goes to the even 12
    EXPECT_EQ(AngleCode(0.375f), 38);  // 37.5 goes to the even 38
    EXPECT_EQ(AngleCode(-0.125f), -12);
    EXPECT_EQ(AngleCode(45.004f), 4500);
    EXPECT_EQ(AngleCode(360.0f), 0);
    EXPECT_EQ(AngleCode(360.5f), 50);
    EXPECT_EQ(AngleCode(-400.0f), -4000);
    EXPECT_EQ(AngleCode(-90.0f), -9000);
    EXPECT_LT(AngleCode(3.0e38f), 0);  // beyond 64 bits: no table row
}

TEST(PlaceRotatedGeometry, CoefficientsFromTableAndFormula) {
    using rotation::Coefficients;
    using rotation::CoefficientsFor;
    EXPECT_EQ(CoefficientsFor(1.0f), (Coefficients{-1143, -65526}));
    EXPECT_EQ(CoefficientsFor(30.0f), (Coefficients{-32767, -56755}));
    EXPECT_EQ(CoefficientsFor(60.0f), (Coefficients{-56755, -32767}));
    EXPECT_EQ(CoefficientsFor(0.0f), (Coefficients{0, -65535}));
    EXPECT_EQ(CoefficientsFor(360.0f), (Coefficients{0, -65535}));
    EXPECT_EQ(CoefficientsFor(90.0f), (Coefficients{-65535, 0}));
    EXPECT_EQ(CoefficientsFor(270.0f), (Coefficients{65535, 0}));
    EXPECT_EQ(CoefficientsFor(45.0f), (Coefficients{-46340, -46340}));
    EXPECT_EQ(CoefficientsFor(45.004f), (Coefficients{-46340, -46340}));
    EXPECT_EQ(CoefficientsFor(315.0f), (Coefficients{46340, -46340}));
    // The other half of the table: a wrong sign here turns one angle into another.
    EXPECT_EQ(CoefficientsFor(135.0f), (Coefficients{-46340, 46340}));
    EXPECT_EQ(CoefficientsFor(180.0f), (Coefficients{0, 65535}));
    EXPECT_EQ(CoefficientsFor(225.0f), (Coefficients{46340, 46340}));
    // A negative angle never meets the table: -90 is the formula's full 65536.
    EXPECT_EQ(CoefficientsFor(-90.0f).E, 65535);
    EXPECT_EQ(CoefficientsFor(-180.0f), (Coefficients{0, 65536}));
    EXPECT_EQ(CoefficientsFor(-1.0f), (Coefficients{1143, -65526}));
}

TEST(PlaceRotatedGeometry, BoxModeCutsTheCornersOfASquareAt45Degrees) {
    TWin source(1000, 1000), boxed(1600, 1600), full(1600, 1600);
    Fill(source, {100, 100, 100});
    Placement p;
    p.CentreX = p.CentreY = 800;
    p.Angle = 45.0f;
    p.BlendCode = -128;  // weight 128, key off, box
    p.Draw(boxed, source);
    p.BlendCode = -256;  // the same, scanning everything
    p.Draw(full, source);
    // Half extent truncate(1.37 x 503) = 689: columns 110..1488, rows 111..1489.
    int leftmost = 1600, rightmost = -1, top = 1600, bottom = -1, fullLeftmost = 1600;
    for (int y = 0; y < 1600; ++y)
        for (int x = 0; x < 1600; ++x) {
            if (PixelAt(boxed, x, y) != kClear) {
                leftmost = std::min(leftmost, x), rightmost = std::max(rightmost, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
            if (PixelAt(full, x, y) != kClear) fullLeftmost = std::min(fullLeftmost, x);
        }
    EXPECT_EQ(leftmost, 110);
    EXPECT_EQ(rightmost, 1488);
    EXPECT_EQ(top, 111);
    EXPECT_EQ(bottom, 1489);
    EXPECT_LT(fullLeftmost, 100) << "unboxed, the corner reaches about 707 pixels out";
}

// ---------------------------------------------------------------------------
// Key colour, weights and the colour stage.

TEST(PlaceRotatedColour, KeyLeavesTopLeftColourOutOnlyWhenOn) {
    TWin source(10, 8);
    FillWithCoordinates(source);
    SetPixel(source, 0, 0, {255, 255, 255});
    SetPixel(source, 4, 3, {255, 255, 255});
    SetPixel(source, 6, 5, {255, 255, 254});  // near white is drawn
    const Rgb background{10, 20, 30};
    for (float angle : {0.0f, 360.0f}) {
        TWin keyed(10, 8), unkeyed(10, 8);
        Fill(keyed, background);
        Fill(unkeyed, background);
        Placement p = Panel(source, 0, 0, angle);
        p.BlendCode = angle == 0.0f ? 128 : 256;  // key on, weight 128
        p.Draw(keyed, source);
        p.BlendCode = -p.BlendCode;  // key off
        p.Draw(unkeyed, source);
        // At angle 0 pixel (x, y) shows source (x, y); at 360 source (4, 3) lands at (2, 2)
        // and (6, 5) at (5, 5).
        const auto [wx, wy] = angle == 0.0f ? std::pair{4, 3} : std::pair{2, 2};
        const auto [nx, ny] = angle == 0.0f ? std::pair{6, 5} : std::pair{5, 5};
        EXPECT_EQ(PixelAt(keyed, wx, wy), background) << angle;
        EXPECT_EQ(PixelAt(unkeyed, wx, wy), (Rgb{255, 255, 255})) << angle;
        EXPECT_EQ(PixelAt(keyed, nx, ny), (Rgb{255, 255, 254})) << angle;
        if (angle == 0.0f) {
            EXPECT_EQ(PixelAt(keyed, 0, 0), background);
            EXPECT_EQ(PixelAt(unkeyed, 0, 0), (Rgb{255, 255, 255}));
        }
    }
}

TEST(PlaceRotatedColour, WeightMixesEachChannelIn128ths) {
    TWin source(6, 6), work(6, 6);
    Fill(source, {201, 100, 7});
    Fill(work, {10, 21, 255});
    Placement p = Panel(source, 0, 0, 0.0f);
    p.BlendCode = -64;
    p.Draw(work, source);
    EXPECT_EQ(PixelAt(work, 2, 2), (Rgb{(10 * 64 + 201 * 64) / 128, (21 + 100) / 2, (255 + 7) / 2}));
    // The turned path mixes the same way: weight 32 is (3 x old + new) / 4.
    Fill(work, {10, 21, 255});
    p = Panel(source, 0, 0, 360.0f);
    p.BlendCode = -(128 + 32);
    p.Draw(work, source);
    EXPECT_EQ(PixelAt(work, 2, 2), (Rgb{(3 * 10 + 201) / 4, (3 * 21 + 100) / 4, (3 * 255 + 7) / 4}));
}

TEST(PlaceRotatedColour, BlendCodesOutsideTheTableDrawNothing) {
    TWin source(12, 10), work(12, 10);
    FillWithCoordinates(source);
    Fill(work, {1, 2, 3});
    const std::vector<std::uint8_t> before = Bytes(work);
    for (int code : {0, 257, -257, -300, 100000}) {
        for (float angle : {0.0f, 30.0f}) {
            Placement p = Panel(source, 0, 0, angle);
            p.BlendCode = code;
            p.Draw(work, source);
            EXPECT_EQ(Bytes(work), before) << code << " at " << angle;
        }
    }
}

TEST(PlaceRotatedColour, ClampPullsIntoRangeAndNoClampWraps) {
    TWin source(6, 6), work(6, 6);
    Fill(source, {200, 200, 200});
    Placement p = Panel(source, 0, 0, 0.0f);
    p.Brightness = 100;
    p.Draw(work, source);
    EXPECT_EQ(PixelAt(work, 1, 1), (Rgb{255, 255, 255}));
    p.Clamp = 0;
    p.Draw(work, source);
    EXPECT_EQ(PixelAt(work, 1, 1), (Rgb{44, 44, 44}));
    // A negative Clamp forces the turned path, which clamps with its magnitude.
    Fill(work, kClear);
    p.Clamp = -1;
    p.Draw(work, source);
    EXPECT_EQ(PixelAt(work, 2, 2), (Rgb{255, 255, 255}));
}

TEST(PlaceRotatedColour, GainSaturationAndShiftsGiveEachChannelItsValue) {
    TWin source(6, 6), work(6, 6);
    Fill(source, {90, 60, 30});  // grey level 60
    Placement p = Panel(source, 0, 0, 0.0f);
    p.Saturation = -1.0f;  // every pixel to its grey level
    p.Draw(work, source);
    EXPECT_EQ(PixelAt(work, 1, 1), (Rgb{60, 60, 60}));
    p.Saturation = 0.5f;
    p.Gain = 0.5f;
    p.RedShift = 10;  // red +20, green and blue -10
    p.Draw(work, source);
    // red 45 + 20 - (60 - 90) x 0.5 = 80; green 30 - 10 - 0 = 20; blue 15 - 10 - 15 = -10 -> 0.
    EXPECT_EQ(PixelAt(work, 1, 1), (Rgb{80, 20, 0}));
}

// ---------------------------------------------------------------------------
// Effects of the direct copy.

TEST(PlaceRotatedEffects, NegativeAndRepeatPrevious) {
    TWin source(10, 8), work(10, 8);
    FillWithCoordinates(source);
    SetPixel(source, 0, 0, {40, 50, 60});
    Placement p = Panel(source, 0, 0, 0.0f);
    p.Effect = 3;
    p.Draw(work, source);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) {
            const Rgb s = PixelAt(source, x, y);
            EXPECT_EQ(PixelAt(work, x, y), (Rgb{255 - s[0], 255 - s[1], 255 - s[2]})) << x << "," << y;
        }
    p.Effect = -128;
    p.Draw(work, source);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) EXPECT_EQ(PixelAt(work, x, y), (Rgb{40, 50, 60})) << x << "," << y;
    // Effect 5 mixes the negative with the previous drawn colour.
    p.Effect = 5;
    p.Draw(work, source);
    const Rgb s = PixelAt(source, 0, 0);
    EXPECT_EQ(PixelAt(work, 0, 0), (Rgb{(255 - s[0] + 40) / 2, (255 - s[1] + 50) / 2, (255 - s[2] + 60) / 2}));
}

namespace {

// The program's generator recomputed from its rule, from the start of a process.
std::vector<int> ExpectedNoise(int count) {
    std::vector<int> numbers;
    std::uint32_t seed = 0;
    for (int i = 0; i < count; ++i) {
        seed = seed * 134775813u + 1u;
        numbers.push_back(static_cast<int>((static_cast<std::uint64_t>(seed) * 255u) >> 32));
    }
    return numbers;
}

const char* const kNoiseFile = "LUMARQ_NOISE_FILE";

}  // namespace

// Run only as a child of the next test, in a process of its own: grey noise
// from a generator nobody has used yet.
TEST(PlaceRotatedNoiseChild, DrawsTheFirstNumbersOfTheSequence) {
    const char* file = std::getenv(kNoiseFile);
    if (!file) GTEST_SKIP() << "run by PlaceRotatedNoise in a fresh process";
    TWin source(8, 4), work(8, 4);
    FillWithCoordinates(source);
    Placement p = Panel(source, 0, 0, 0.0f);
    p.Effect = 1;
    p.Draw(work, source);
    const std::vector<int> expected = ExpectedNoise(8 * 4);
    for (int i = 0; i < 8 * 4; ++i)
        EXPECT_EQ(PixelAt(work, i % 8, i / 8), (Rgb{expected[i], expected[i], expected[i]})) << i;
    std::ofstream out(file, std::ios::binary);
    const std::vector<std::uint8_t> bytes = Bytes(work);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(PlaceRotatedNoise, SameNoiseOnEveryStart) {
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    std::string outputs[2];
    for (int run = 0; run < 2; ++run) {
        const std::string file = ::testing::TempDir() + "lumarq_noise_" + std::to_string(run) + ".bin";
        std::remove(file.c_str());
        const std::string command = std::string(kNoiseFile) + "='" + file + "' '" + self.string() + "' " +
                                    "--gtest_filter=PlaceRotatedNoiseChild.* > /dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << "the child process found the wrong noise";
        std::ifstream in(file, std::ios::binary);
        outputs[run].assign(std::istreambuf_iterator<char>(in), {});
        std::remove(file.c_str());
    }
    EXPECT_EQ(outputs[0].size(), 8u * 4u * 3u);
    EXPECT_EQ(outputs[0], outputs[1]);
}

// ---------------------------------------------------------------------------
// Scales and mirroring.

TEST(PlaceRotatedScale, NegativeScaleXMirrorsTheFullScan) {
    TWin source(13, 9);
    FillWithCoordinates(source);
    const Rgb marker{1, 2, 3};
    TWin plain(13, 9), mirrored(13, 9);
    Fill(plain, marker);
    Fill(mirrored, marker);
    Placement p = Panel(source, 0, 0, 360.0f);
    p.Draw(plain, source);
    p.ScaleX = -1.0f;
    p.Draw(mirrored, source);
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 13; ++x) EXPECT_EQ(PixelAt(mirrored, x, y), PixelAt(plain, 12 - x, y)) << x << "," << y;
        EXPECT_EQ(PixelAt(mirrored, 0, y), marker);
        EXPECT_EQ(PixelAt(plain, 12, y), marker);
    }
}

TEST(PlaceRotatedScale, DoubleScaleDrawsTwiceTheSizeAndOneAndAHalfIsUnscaled) {
    TWin source(20, 10), big(60, 40);
    FillWithCoordinates(source);
    Placement p;
    p.CentreX = 30;
    p.CentreY = 20;
    p.ScaleX = p.ScaleY = 2.0f;
    p.Draw(big, source);
    int left = 60, right = -1, top = 40, bottom = -1;
    std::set<std::pair<int, int>> block;  // where source pixel (5, 3) went
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x) {
            const Rgb rgb = PixelAt(big, x, y);
            if (rgb == kClear) continue;
            left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
            if (SourceOf(rgb) == std::pair{5, 3}) block.insert({x, y});
        }
    ASSERT_EQ(block.size(), 4u);
    const auto [bx, by] = *block.begin();
    EXPECT_EQ(block, (std::set<std::pair<int, int>>{{bx, by}, {bx, by + 1}, {bx + 1, by}, {bx + 1, by + 1}}));
    EXPECT_GE(right - left + 1, 39);
    EXPECT_LE(right - left + 1, 40);
    EXPECT_GE(bottom - top + 1, 19);
    EXPECT_LE(bottom - top + 1, 20);

    TWin unscaled(20, 10), stretched(20, 10);
    Placement q = Panel(source, 0, 0, 0.0f);
    q.Draw(unscaled, source);
    q.ScaleY = 1.5f;
    q.Draw(stretched, source);
    EXPECT_EQ(Bytes(stretched), Bytes(unscaled));
}

// ---------------------------------------------------------------------------
// Limits: whatever the settings, nothing outside either raster is touched.

TEST(PlaceRotatedLimits, EmptyRastersAndWildSettingsStayInside) {
    TWin empty(0, 0), source(16, 12), work(20, 14);
    FillWithCoordinates(source);
    Placement p = Panel(source, 0, 0, 30.0f);
    p.Draw(work, empty);
    p.Draw(empty, source);
    EXPECT_EQ(PaintedPixels(work, kClear).size(), 0u);

    // Far beyond 32768 pixels from the pivot the sums would wrap: nothing is drawn.
    Placement far = Panel(source, 0, 0, 30.0f);
    far.CentreX = 70000;
    far.Draw(work, source);
    far.CentreX = -70000;
    far.CentreY = 50000;
    far.Draw(work, source);
    EXPECT_EQ(PaintedPixels(work, kClear).size(), 0u);

    // Negative insets count as 0, in both paths and both scan modes.
    for (float angle : {0.0f, 30.0f}) {
        for (int code : {-256, -128}) {
            TWin a(20, 14), b(20, 14);
            Placement q = Panel(source, 0, 0, angle);
            q.BlendCode = code;
            q.Draw(a, source);
            q.InsetLeft = q.InsetTop = q.InsetRight = q.InsetBottom = -50;
            q.Draw(b, source);
            EXPECT_EQ(Bytes(a), Bytes(b)) << angle << " " << code;
        }
    }
    // Insets that leave no rows or no columns draw nothing, whatever the clamping.
    for (auto [left, top, right, bottom] : {std::array{0, 30, 0, 0}, {0, 0, 0, 14}, {25, 0, 0, 0}, {12, 0, 12, 0}}) {
        TWin none(20, 14);
        Placement q = Panel(source, 0, 0, 30.0f);
        q.InsetLeft = left, q.InsetTop = top, q.InsetRight = right, q.InsetBottom = bottom;
        q.Draw(none, source);
        EXPECT_EQ(PaintedPixels(none, kClear).size(), 0u) << left << " " << top << " " << right << " " << bottom;
    }
    // Crossing insets, huge and tiny scales, NaN and a source much larger or smaller.
    TWin big(300, 200), tiny(1, 1);
    FillWithCoordinates(big);
    SetPixel(tiny, 0, 0, {9, 9, 9});
    // A larger source at the panel's offsets 0 shows its own top-left part.
    Panel(big, 0, 0, 0.0f).Draw(work, big);
    for (int y = 0; y < 14; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_EQ(PixelAt(work, x, y), PixelAt(big, x, y)) << x << "," << y;
    for (TWin* from : {&big, &tiny, &source}) {
        for (Placement q : {Panel(*from, 0, 0, 0.0f), Panel(*from, 7, -5, 37.0f), Panel(*from, -3, 2, 360.0f)}) {
            q.Draw(work, *from);
            q.InsetLeft = 15, q.InsetRight = 15, q.InsetTop = 20;
            q.Draw(work, *from);
            q.InsetLeft = q.InsetRight = q.InsetTop = 0;
            for (float scale : {1e30f, -1e30f, 1e-30f, 3.0e5f, std::nanf("")}) {
                q.ScaleX = scale;
                q.Draw(work, *from);
                q.ScaleX = 1.0f, q.ScaleY = scale;
                q.Draw(work, *from);
                q.ScaleY = 1.0f, q.ScaleStep = scale;
                q.Draw(work, *from);
                q.ScaleStep = 0.0f;
            }
            q.Angle = std::nanf("");
            q.Draw(work, *from);
            q.Angle = 3.0e38f;
            q.Draw(work, *from);
            q.Gain = 1e30f, q.Brightness = 2147483647, q.RedShift = -2147483647 - 1, q.Clamp = 0;
            q.Draw(work, *from);
        }
    }
}

// ---------------------------------------------------------------------------
// The fast scan against the plain one in raster/reference.

namespace {

void ReferenceScan(TWin& target, const TWin& source, const Placement& p, bool forgetSampleWhenScalesChange = true) {
    EXPECT_EQ(reference::TransformedScan(target, source, p, forgetSampleWhenScalesChange), 0)
        << "the plain scan left the source";
}

void FillRandom(TWin& win, std::mt19937& random, int distinct) {
    std::uniform_int_distribution<int> pick(0, distinct - 1);
    for (int y = 0; y < win.Height(); ++y)
        for (int x = 0; x < win.Width(); ++x) {
            const int n = pick(random);  // few distinct colours: some match the key
            SetPixel(win, x, y, {(n * 97) & 255, (n * 57 + 3) & 255, (n * 151 + 11) & 255});
        }
}

}  // namespace

TEST(PlaceRotatedScan, MatchesThePlainPerPixelScan) {
    std::mt19937 random(20240611);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    auto real = [&](double lo, double hi) { return static_cast<float>(std::uniform_real_distribution<double>(lo, hi)(random)); };
    const float tableAngles[] = {0, 45, 90, 135, 180, 225, 270, 315, 360, 45.004f, 89.996f, 720, 1, 30, 60, -30, 0.5f};
    const float scales[] = {1, -1, 2, -2, 0.5f, -0.5f, 1.5f, 3};
    const int blendCodes[] = {-256, -256, -200, -129, -128, -64, -1, 1, 64, 128, 129, 192, 256};
    int compared = 0, drawnSomething = 0;
    for (int trial = 0; trial < 2500; ++trial) {
        const int sw = uniform(1, 33), sh = uniform(1, 33), dw = uniform(1, 45), dh = uniform(1, 45);
        TWin source(sw, sh), target(dw, dh), expected(dw, dh);
        FillRandom(source, random, uniform(1, 6) == 1 ? 2 : 12);
        FillRandom(target, random, 50);
        std::memcpy(expected.Bits, target.Bits, std::size_t(target.Stride) * dh);
        const std::vector<std::uint8_t> before = Bytes(target);

        Placement p;
        p.CentreX = uniform(-15, dw + 15);
        p.CentreY = uniform(-15, dh + 15);
        p.Angle = uniform(0, 2) == 0 ? tableAngles[uniform(0, std::size(tableAngles) - 1)] : real(-720, 720);
        p.ScaleX = uniform(0, 2) == 0 ? real(-3, 3) : scales[uniform(0, std::size(scales) - 1)];
        p.ScaleY = uniform(0, 2) == 0 ? real(-3, 3) : scales[uniform(0, std::size(scales) - 1)];
        p.ScaleStep = uniform(0, 3) == 0 ? real(-900, 900) : 0.0f;
        p.PivotDX = uniform(0, 2) == 0 ? uniform(-6, 6) : 0;
        p.PivotDY = uniform(0, 2) == 0 ? uniform(-6, 6) : 0;
        p.BlendCode = blendCodes[uniform(0, std::size(blendCodes) - 1)];
        if (uniform(0, 2) == 0) {
            p.Brightness = uniform(-60, 60);
            p.Gain = real(0.3, 1.8);
            p.Saturation = uniform(0, 1) ? real(-1, 1) : 0.0f;
            p.RedShift = uniform(-20, 20), p.GreenShift = uniform(-20, 20), p.BlueShift = uniform(-20, 20);
        }
        p.Clamp = uniform(-2, 2);
        if (uniform(0, 2) == 0) {
            p.InsetLeft = uniform(0, dw / 2), p.InsetRight = uniform(0, (dw - 1) / 2);
            p.InsetTop = uniform(0, dh / 2), p.InsetBottom = uniform(0, dh / 2);
        }
        if (p.TakesDirectCopy()) p.Clamp = -1;

        ReferenceScan(expected, source, p);
        p.Draw(target, source);
        const bool same = Bytes(target) == Bytes(expected);
        EXPECT_TRUE(same) << "trial " << trial << ": source " << sw << "x" << sh << ", target " << dw << "x" << dh
                          << ", centre " << p.CentreX << "," << p.CentreY << ", angle " << p.Angle << ", scales "
                          << p.ScaleX << "," << p.ScaleY << " step " << p.ScaleStep << ", pivot " << p.PivotDX << ","
                          << p.PivotDY << ", code " << p.BlendCode << ", clamp " << p.Clamp << ", insets "
                          << p.InsetLeft << "," << p.InsetTop << "," << p.InsetRight << "," << p.InsetBottom;
        if (!same && ++compared > 5) break;  // enough to debug by
        if (Bytes(expected) != before) ++drawnSomething;
    }
    EXPECT_GT(drawnSomething, 1000) << "the trials must mostly draw something";
}

TEST(PlaceRotatedScan, ChangingScalesForgetTheCachedSample) {
    // Narrow scans put a row's last sample point next to the following row's
    // first; with the scales changing between rows the same point may name
    // another source pixel, which a cache carried over would not notice.
    std::mt19937 random(7);
    TWin source(16, 16);
    FillRandom(source, random, 200);
    int carriedOverWouldDiffer = 0;
    for (float scaleStep : {-3000.0f, -900.0f, 400.0f, 2500.0f})
        for (float angle : {0.0f, 90.0f, 180.0f, 12.0f})
            for (float scale : {1.0f, 2.0f, 1.7f})
                for (int columns = 1; columns <= 3; ++columns) {
                    Placement p;
                    p.CentreX = p.CentreY = 15;
                    p.Angle = angle, p.ScaleX = p.ScaleY = scale, p.ScaleStep = scaleStep;
                    p.Clamp = -1;
                    p.InsetLeft = 14, p.InsetRight = 30 - 1 - 14 - columns;
                    TWin engine(30, 30), forgetting(30, 30), carrying(30, 30);
                    p.Draw(engine, source);
                    ReferenceScan(forgetting, source, p);
                    ReferenceScan(carrying, source, p, false);
                    EXPECT_EQ(Bytes(engine), Bytes(forgetting)) << scaleStep << " " << angle << " " << scale;
                    if (Bytes(carrying) != Bytes(forgetting)) ++carriedOverWouldDiffer;
                }
    EXPECT_GT(carriedOverWouldDiffer, 0) << "no case here reuses a sample across a change of scale";
}

// Every copy path the processor offers, not only the widest it has.
INSTANTIATE_TEST_SUITE_P(EveryPath, CopyWidth, ::testing::Values(16, 8, 1));

TEST_P(CopyWidth, PlaceRotatedMatchesThePlainScanOnWideImagesAtScaleOne) {
    // Rows longer than the strips the unscaled copy works in, both directions.
    std::mt19937 random(99);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int trial = 0; trial < 40; ++trial) {
        const int sw = uniform(200, 520), sh = uniform(20, 90), dw = uniform(200, 520), dh = uniform(20, 90);
        TWin source(sw, sh), target(dw, dh), expected(dw, dh);
        FillRandom(source, random, 250);
        Fill(target, {77, 88, 99});  // anything written beyond a run shows
        Fill(expected, {77, 88, 99});
        Placement p;
        p.CentreX = uniform(-40, dw + 40);
        p.CentreY = uniform(-10, dh + 10);
        p.Angle = uniform(0, 1) ? static_cast<float>(uniform(1, 360)) : std::uniform_real_distribution<float>(-400, 400)(random);
        p.ScaleX = uniform(0, 1) ? 1.0f : -1.0f;
        p.ScaleY = uniform(0, 1) ? 1.0f : -1.0f;
        p.BlendCode = uniform(0, 1) ? -256 : -128;
        p.PivotDX = uniform(-3, 3);
        if (p.TakesDirectCopy()) p.Clamp = -1;
        ReferenceScan(expected, source, p);
        p.Draw(target, source);
        ASSERT_EQ(Bytes(target), Bytes(expected)) << "trial " << trial << ": angle " << p.Angle << ", scales " << p.ScaleX
                                                  << "," << p.ScaleY << ", centre " << p.CentreX << "," << p.CentreY;
    }
}
