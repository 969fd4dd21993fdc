#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "raster/reference/reference.h"
#include "tests/raster/test_util.h"

namespace {

struct Colours {
    int detector = 160;
    Rgb on{255, 0, 0};
    Rgb off{31, 0, 0};
    Rgb line{0, 0, 0};
};

struct Region {
    int x1 = -1, y1 = -2, x2 = -3, y2 = -4;  // the whole raster
};

void Apply(TWin& win, int pattern, const Colours& c = {}, const Region& r = {}) {
    win.ApplyPattern(pattern, c.detector, c.on[0], c.on[1], c.on[2], c.off[0], c.off[1], c.off[2], c.line[0],
                     c.line[1], c.line[2], r.x1, r.y1, r.x2, r.y2);
}

std::vector<std::uint8_t> Bytes(const TWin& win) {
    if (!win.HasPixels()) return {};
    return {win.Bits, win.Bits + static_cast<std::size_t>(win.Stride) * static_cast<std::size_t>(win.Height())};
}

void CopyPixels(const TWin& from, TWin& to) {
    std::memcpy(to.Bits, from.Bits, static_cast<std::size_t>(from.Stride) * static_cast<std::size_t>(from.Height()));
}

// The plain drawing in raster/reference; returns the samples that earlier cells
// had already changed, which the fast drawing relies on being none.
int PlainPattern(TWin& w, int P, const Colours& c, Region r) {
    return reference::ApplyPattern(w, P, c.detector, c.on[0], c.on[1], c.on[2], c.off[0], c.off[1], c.off[2],
                                   c.line[0], c.line[1], c.line[2], r.x1, r.y1, r.x2, r.y2);
}

void Fill(TWin& win, Rgb rgb) { win.FillBox(0, 0, win.Width() - 1, win.Height() - 1, rgb[0], rgb[1], rgb[2], 128); }

// Counts the pixels that changed, and checks that every changed pixel lies in the box.
int ChangedOutside(const TWin& before, const TWin& after, int x1, int y1, int x2, int y2) {
    int outside = 0;
    for (int y = 0; y < before.Height(); ++y)
        for (int x = 0; x < before.Width(); ++x)
            if (PixelAt(before, x, y) != PixelAt(after, x, y) && (x < x1 || x > x2 || y < y1 || y > y2)) ++outside;
    return outside;
}

}  // namespace

TEST(ApplyPattern, FinestGridOn129TurnsTheInsideToLines) {
    TWin before(129, 129), win(129, 129);
    FillWithCoordinates(before);
    FillWithCoordinates(win);
    Apply(win, 0);
    for (int y = 0; y < 129; ++y)
        for (int x = 0; x < 129; ++x) {
            const bool inside = x >= 1 && x <= 127 && y >= 1 && y <= 127;
            ASSERT_EQ(PixelAt(win, x, y), inside ? (Rgb{0, 0, 0}) : PixelAt(before, x, y)) << x << "," << y;
        }
}

TEST(ApplyPattern, CoarsestLedOn129IsOneFramedCell) {
    TWin win(129, 129), before(129, 129);
    Fill(win, {200, 10, 10});
    Fill(before, {200, 10, 10});
    Colours c;
    c.line = {1, 2, 3};
    Apply(win, 39, c);
    for (int y = 0; y < 129; ++y)
        for (int x = 0; x < 129; ++x) {
            Rgb want = PixelAt(before, x, y);
            if (x >= 1 && x <= 65 && y >= 1 && y <= 65)
                want = (x == 1 || x == 65 || y == 1 || y == 65) ? c.line : c.on;
            ASSERT_EQ(PixelAt(win, x, y), want) << x << "," << y;
        }

    // 200 wide: pitch 99, two touching cells, columns 1-99 and 100-198.
    TWin wide(200, 150);
    Fill(wide, {0, 0, 0});
    SetPixel(wide, 149, 38, {0, 0, 255});  // lights the right cell only
    Apply(wide, 39, c);
    EXPECT_EQ(PixelAt(wide, 99, 20), c.off);   // the left cell's own last column
    EXPECT_EQ(PixelAt(wide, 100, 20), c.line); // the right cell's left edge
    EXPECT_EQ(PixelAt(wide, 101, 20), c.on);
    EXPECT_EQ(PixelAt(wide, 197, 20), c.on);
    EXPECT_EQ(PixelAt(wide, 198, 20), c.line); // closing right edge
    EXPECT_EQ(PixelAt(wide, 199, 20), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelAt(wide, 150, 75), c.line); // closing bottom edge, row 38 + 37
    EXPECT_EQ(PixelAt(wide, 150, 76), (Rgb{0, 0, 0}));
}

TEST(ApplyPattern, Shift7On640HasPitch4And159OverlappingCells) {
    TWin before(640, 480);
    FillWithCoordinates(before);
    const int y = 2;  // rows 1-3 are the first band, its centre row 2
    for (int pattern : {0, 7, 14, 33}) {
        TWin win(640, 480);
        FillWithCoordinates(win);
        Colours c;
        c.line = {9, 8, 7};
        c.detector = -1;  // every LED lit
        Apply(win, pattern, c);
        for (int k = 0; k < 159; ++k) {
            const int left = 1 + 4 * k;
            const Rgb centre = PixelAt(before, left + 2, y);
            for (int x = left; x < left + 4; ++x) {
                Rgb want = pattern == 0 ? PixelAt(before, x, y) : pattern == 33 ? c.on : centre;
                if (pattern != 14 && x == left) want = c.line;
                ASSERT_EQ(PixelAt(win, x, y), want) << pattern << " cell " << k << " x " << x;
            }
        }
        // Column 637 ends the last cell (centre 635): a line, or the last cell's colour without a grid.
        EXPECT_EQ(PixelAt(win, 637, y), pattern == 14 ? PixelAt(before, 635, y) : c.line) << pattern;
        EXPECT_EQ(PixelAt(win, 638, y), PixelAt(before, 638, y)) << pattern;
        EXPECT_EQ(PixelAt(win, 0, y), PixelAt(before, 0, y)) << pattern;
    }
}

TEST(ApplyPattern, FixedPitchCellsOn129) {
    TWin win(129, 129);
    Fill(win, {255, 255, 255});
    Colours c;
    c.detector = 100;
    c.on = {0, 200, 0};
    Apply(win, 41, c);  // 3 x 3 cells from column 3, 42 across, the last 126-128
    for (int k = 0; k < 42; ++k) {
        EXPECT_EQ(PixelAt(win, 3 + 3 * k, 5), (Rgb{0, 0, 0}));
        EXPECT_EQ(PixelAt(win, 4 + 3 * k, 5), c.on);
        EXPECT_EQ(PixelAt(win, 5 + 3 * k, 5), c.on);
    }
    EXPECT_EQ(PixelAt(win, 2, 5), (Rgb{255, 255, 255}));
    EXPECT_EQ(PixelAt(win, 5, 2), (Rgb{255, 255, 255}));
    EXPECT_EQ(PixelAt(win, 5, 3), (Rgb{0, 0, 0}));

    TWin grid(129, 129), plain(129, 129);
    Fill(grid, {0, 0, 0});
    for (int x = 0; x < 129; ++x)
        if (x % 4 == 3) SetPixel(grid, x, 3, {150, 0, 0});  // lights every other cell of the first band
    CopyPixels(grid, plain);
    c.line = {5, 5, 60};  // unlit cells take the line colour; the edges stay black
    Apply(grid, 40, c);   // 3-pixel cells at pitch 2 from column 2, 63 across, the last 126-128
    Apply(plain, 53, c);
    for (int x = 2; x <= 128; ++x) {
        const int k = x == 128 ? 62 : (x - 2) / 2;
        const Rgb fill = k % 2 == 0 ? c.on : c.line;
        EXPECT_EQ(PixelAt(grid, x, 3), (x % 2 == 0 && x != 128) ? (Rgb{0, 0, 0}) : fill) << x;
        EXPECT_EQ(PixelAt(plain, x, 3), fill) << x;
        EXPECT_EQ(PixelAt(grid, x, 2), (Rgb{0, 0, 0})) << x;  // top edges
        EXPECT_EQ(PixelAt(plain, x, 2), fill) << x;
    }
    EXPECT_EQ(PixelAt(grid, 1, 3), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelAt(plain, 1, 3), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelAt(grid, 5, 128), c.line);  // the last band keeps its bottom row, no closing edge
}

TEST(ApplyPattern, DetectorIsStrictlyExceededByAnyChannel) {
    struct Case {
        Rgb centre;
        int detector;
        bool lit;
    };
    const Case cases[] = {
        {{160, 160, 160}, 160, false}, {{0, 0, 161}, 160, true},  {{161, 0, 0}, 160, true},
        {{0, 161, 0}, 160, true},      {{255, 255, 255}, 255, false}, {{0, 0, 1}, 0, true},
        {{0, 0, 0}, 0, false},
    };
    for (const Case& t : cases) {
        for (int pattern : {39, 53}) {
            TWin win(129, 129);
            SetPixel(win, 33, 33, t.centre);  // the centre of pattern 39's only cell
            SetPixel(win, 3, 3, t.centre);    // the centre of pattern 53's first cell
            Colours c;
            c.detector = t.detector;
            c.on = {10, 20, 30};
            c.off = {40, 50, 60};
            c.line = {70, 80, 90};
            Apply(win, pattern, c);
            const Rgb unlit = pattern == 39 ? c.off : c.line;
            EXPECT_EQ(PixelAt(win, 3, 3), t.lit ? c.on : unlit)
                << pattern << " " << t.centre[0] << "," << t.centre[1] << "," << t.centre[2] << " > " << t.detector;
        }
    }
}

TEST(ApplyPattern, NoEffectAndUnknownNumbersLeaveTheRaster) {
    for (int pattern : {13, -1, 66, 1000, -2147483647 - 1}) {
        TWin win(130, 131);
        FillWithCoordinates(win);
        const auto before = Bytes(win);
        Apply(win, pattern);
        EXPECT_EQ(Bytes(win), before) << pattern;
    }
}

TEST(ApplyPattern, DegenerateRastersAndRegionsStaySafe) {
    // Too narrow for shift 7: pitch 0, nothing drawn (and no endless loop).
    for (int pattern : {0, 7, 14, 27, 33}) {
        TWin win(128, 300);
        FillWithCoordinates(win);
        const auto before = Bytes(win);
        Apply(win, pattern);
        EXPECT_EQ(Bytes(win), before) << pattern;
    }
    // A region wholly right of the raster, or inside out, draws nothing.
    for (const Region r : {Region{200, 0, 400, 128}, Region{100, 0, 20, 128}, Region{0, 100, 128, 20}}) {
        TWin win(129, 129);
        FillWithCoordinates(win);
        const auto before = Bytes(win);
        for (int pattern = 0; pattern < 40; ++pattern) Apply(win, pattern, {}, r);
        EXPECT_EQ(Bytes(win), before);
    }
    // A region reaching past the raster is cut at its edges.
    for (int pattern : {0, 10, 20, 39}) {
        TWin cut(150, 140), whole(150, 140);
        FillWithCoordinates(cut);
        FillWithCoordinates(whole);
        Apply(cut, pattern, {}, Region{5, 6, 100000, 2147483647});
        Apply(whole, pattern, {}, Region{5, 6, 149, 139});
        EXPECT_EQ(Bytes(cut), Bytes(whole)) << pattern;
    }
    // A sub-region: nothing changes outside it, even at the finest pitch.
    for (int pattern : {0, 7, 26, 27}) {
        TWin before(400, 300), win(400, 300);
        FillWithCoordinates(before);
        FillWithCoordinates(win);
        Apply(win, pattern, {}, Region{50, 40, 300, 250});
        EXPECT_EQ(ChangedOutside(before, win, 51, 41, 299, 249), 0) << pattern;
        EXPECT_NE(Bytes(win), Bytes(before)) << pattern;
    }
    // Empty and tiny rasters: below 3 x 3 no grid has a pitch, and fixed grids find
    // no room below 5 x 5; the differential test checks 3 x 3 and up byte for byte.
    for (int size : {0, 1, 2}) {
        TWin win(size, size);
        if (win.HasPixels()) Fill(win, {255, 255, 255});
        const auto before = Bytes(win);
        for (int pattern = 0; pattern < 66; ++pattern) Apply(win, pattern);
        EXPECT_EQ(Bytes(win), before) << size;
    }
}

// The fast band-wise drawing must give exactly the bytes of the plain cell-by-cell one.
TEST(ApplyPattern, MatchesThePlainCellByCellDrawing) {
    struct Size {
        int w, h;
    };
    const Size sizes[] = {{129, 129}, {130, 131}, {200, 150}, {640, 480}, {257, 133}, {7, 300}, {21, 21}, {5, 6}, {3, 4}};
    std::mt19937 random(20261208);
    auto next = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    int compared = 0;
    for (const Size size : sizes) {
        for (int variant = 0; variant < 4; ++variant) {
            TWin image(size.w, size.h);
            if (variant == 0) {
                FillWithCoordinates(image);
            } else {
                // Noise with patches near the detector, so lit and unlit cells mix.
                for (int y = 0; y < size.h; ++y)
                    for (int x = 0; x < size.w; ++x)
                        SetPixel(image, x, y, {next(0, 255), next(140, 180), ((x / 7 + y / 5) % 3) * 100});
            }
            Colours c;
            Region r;
            if (variant >= 2) {
                c.detector = next(120, 200);
                c.on = {next(0, 255), next(0, 255), next(0, 255)};
                c.off = {c.on[0] / 8, c.on[1] / 8, c.on[2] / 8};
                c.line = {next(0, 255), next(0, 255), next(0, 255)};
            }
            if (variant == 2) {
                // Anywhere inside; narrow ones leave some shifts without a pitch.
                r.x1 = next(0, size.w / 3);
                r.y1 = next(0, size.h / 3);
                r.x2 = next(r.x1, size.w - 1);
                r.y2 = next(r.y1, size.h - 1);
            } else if (variant == 3) {
                r = {next(0, 9), next(0, 9), size.w + next(0, 50), size.h + next(0, 50)};
            }
            for (int pattern = -1; pattern <= 67; ++pattern) {
                TWin fast(size.w, size.h), plain(size.w, size.h);
                CopyPixels(image, fast);
                CopyPixels(image, plain);
                Apply(fast, pattern, c, r);
                ASSERT_EQ(PlainPattern(plain, pattern, c, r), 0) << "samples overwritten by earlier cells";
                ASSERT_EQ(Bytes(fast), Bytes(plain))
                    << "pattern " << pattern << " on " << size.w << "x" << size.h << " variant " << variant;
                ++compared;
            }
        }
    }
    EXPECT_EQ(compared, 9 * 4 * 69);
}
