// ApplyPattern: which cells a pattern number gives on a raster. The drawing is in
// raster/pattern_bands.cpp.
#include "raster/apply_pattern.h"

namespace pattern {

namespace {

Packed Pack(std::int32_t Red, std::int32_t Green, std::int32_t Blue) {
    return static_cast<Packed>(Blue & 255) | static_cast<Packed>(Green & 255) << 8 |
           static_cast<Packed>(Red & 255) << 16;
}

// Number of centres c0, c0 + pitch, ... below `limit`.
std::int32_t CountCentres(std::int32_t c0, std::int32_t pitch, std::int32_t limit) {
    return c0 < limit ? (limit - 1 - c0) / pitch + 1 : 0;
}

struct FixedPitch {
    std::int32_t Columns, Rows;
};
constexpr FixedPitch kFixedPitches[13] = {{2, 2}, {3, 3}, {4, 4},   {5, 5}, {6, 6}, {7, 7}, {8, 8},
                                          {19, 19}, {2, 4}, {4, 2}, {4, 8}, {8, 4}, {12, 6}};

// Fixed pitch: the cells sit at fixed places from the raster's corner; the region
// takes no part.
Grid FixedGrid(std::int32_t Pattern, std::int32_t W, std::int32_t H) {
    const FixedPitch pitch = kFixedPitches[(Pattern - 40) % 13];
    Grid g{};
    g.SX = pitch.Columns;
    g.HX = g.SX / 2;
    g.Left0 = g.SX - 2 * g.HX + 2;  // the first centre, SX - HX + 2, less HX
    g.n = CountCentres(g.SX - g.HX + 2, g.SX, W - g.HX);
    g.SY = pitch.Rows;
    g.HY = g.SY / 2;
    g.Top0 = g.SY - 2 * g.HY + 2;
    g.m = CountCentres(g.SY - g.HY + 2, g.SY, H - g.HY);
    return g;
}

// The proportional families: the fill and the shifts that divide the region into cells.
void ProportionalFamily(std::int32_t Pattern, Fill& kind, bool& lines, std::int32_t& columnShift,
                        std::int32_t& rowShift) {
    lines = true;
    if (Pattern <= 6) {
        columnShift = rowShift = 7 - Pattern;
        kind = Fill::None;
    } else if (Pattern <= 12) {
        columnShift = rowShift = 14 - Pattern;
        kind = Fill::Mosaic;
    } else if (Pattern <= 20) {
        columnShift = rowShift = 21 - Pattern;
        kind = Fill::Mosaic;
        lines = false;
    } else {
        kind = Fill::Led;
        if (Pattern <= 26) {
            columnShift = 27 - Pattern;
            rowShift = 28 - Pattern;
        } else if (Pattern <= 32) {
            columnShift = 34 - Pattern;
            rowShift = 33 - Pattern;
        } else {
            columnShift = rowShift = 40 - Pattern;
        }
    }
}

}  // namespace

Layout::Layout(const TWin& raster, std::int32_t Pattern, std::int32_t Detector, std::int32_t OnRed,
               std::int32_t OnGreen, std::int32_t OnBlue, std::int32_t OffRed, std::int32_t OffGreen,
               std::int32_t OffBlue, std::int32_t LineRed, std::int32_t LineGreen, std::int32_t LineBlue,
               std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2) {
    if (Pattern < 0 || Pattern > 65 || Pattern == 13 || !raster.HasPixels()) return;
    const std::int32_t W = raster.Width(), H = raster.Height();
    const Packed line = Pack(LineRed, LineGreen, LineBlue), on = Pack(OnRed, OnGreen, OnBlue);
    if (Pattern >= 40) {
        // Unlit cells take the line colour; the lines are black.
        grid_ = FixedGrid(Pattern, W, H);
        const bool lines = Pattern <= 52;
        look_ = Look{Fill::Led, lines, lines, false, false, 0, on, line, Detector};
        drawn_ = grid_.n > 0 && grid_.m > 0;
        return;
    }
    // Proportional grid over the region; negative corners mean the raster's edges.
    if (X1 < 0) X1 = 0;
    if (Y1 < 0) Y1 = 0;
    if (X2 < 0) X2 = W - 1;
    if (Y2 < 0) Y2 = H - 1;
    // A region reaching past the raster is cut at its edge; one left empty draws nothing.
    if (X2 > W - 1) X2 = W - 1;
    if (Y2 > H - 1) Y2 = H - 1;
    if (X1 > X2 || Y1 > Y2) return;
    Fill kind;
    bool lines;
    std::int32_t columnShift, rowShift;
    ProportionalFamily(Pattern, kind, lines, columnShift, rowShift);
    grid_.SX = static_cast<std::int32_t>(static_cast<std::uint32_t>(X2 - X1) >> columnShift);
    grid_.SY = static_cast<std::int32_t>(static_cast<std::uint32_t>(Y2 - Y1) >> rowShift);
    // A region too small for its shift has no cells; its loops would never advance.
    if (grid_.SX == 0 || grid_.SY == 0) return;
    grid_.HX = grid_.SX / 2;
    grid_.HY = grid_.SY / 2;
    grid_.Left0 = X1 + 1;
    grid_.Top0 = Y1 + 1;
    grid_.n = CountCentres(X1 + grid_.HX + 1, grid_.SX, X2 - grid_.HX);
    grid_.m = CountCentres(Y1 + grid_.HY + 1, grid_.SY, Y2 - grid_.HY);
    look_ = Look{kind, lines, lines, lines, lines, line, on, Pack(OffRed, OffGreen, OffBlue), Detector};
    drawn_ = grid_.n > 0 && grid_.m > 0;
}

bool Layout::LineRow(std::int64_t y) const {
    if (!drawn_) return false;
    const std::int64_t fromTop = y - grid_.Top0;
    if (look_.TopLine && fromTop >= 0 && fromTop % grid_.SY == 0 && fromTop / grid_.SY < grid_.m) return true;
    return look_.BottomClose && y == BandBottom(grid_.m - 1);
}

void Layout::DrawBands(TWin& raster, std::int32_t first, std::int32_t last) const {
    if (!drawn_ || first >= last) return;
    pattern::DrawBands(raster.Bits, static_cast<std::ptrdiff_t>(raster.Stride), grid_, look_, first, last);
}

}  // namespace pattern

void TWin::ApplyPattern(std::int32_t Pattern, std::int32_t Detector, std::int32_t OnRed, std::int32_t OnGreen,
                        std::int32_t OnBlue, std::int32_t OffRed, std::int32_t OffGreen, std::int32_t OffBlue,
                        std::int32_t LineRed, std::int32_t LineGreen, std::int32_t LineBlue, std::int32_t X1,
                        std::int32_t Y1, std::int32_t X2, std::int32_t Y2) {
    const pattern::Layout layout(*this, Pattern, Detector, OnRed, OnGreen, OnBlue, OffRed, OffGreen, OffBlue, LineRed,
                                 LineGreen, LineBlue, X1, Y1, X2, Y2);
    layout.DrawBands(*this, 0, layout.Bands());
}
