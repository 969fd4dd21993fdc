// ApplyPattern: grid overlays, mosaics and LED panels drawn over the working raster.
//
// The picture is defined as a sequence of opaque box fills and edge lines, cell by
// cell, later writes winning where cells share a column or row. Drawing it that way
// costs a function call with clamping per cell and writes most pixels two or three
// times, which is too slow for the finest grids on a 4K raster. So the result is
// produced band by band instead, writing every pixel once:
//
//   * Within a band of cells (one cell row), all rows below the top edge look
//     alike: a line pixel at each cell's left column, the cell's colour up to the
//     next cell's left column, a line pixel at the closing right edge. One such row
//     is built from the band's samples; the band's other rows are copies of it.
//   * The band's top row is all line colour (the top edges, then the next cell's
//     fill overwritten again by its own top edge).
//   * With an even pitch a cell's last row or column is the next cell's first, and
//     the next cell wins there; so a band ends one row before the next band starts,
//     and a cell's colour stops one column before the next cell's left column.
//   * The last band ends with the closing bottom edge where the family has one.
//
// Each cell's sample is its centre pixel, which no earlier cell or line reaches:
// cells reach at most half a pitch right of their centre and never down to the
// next band's centre row. The row builder works in place on the centre row and
// reads the next cell's sample before it writes the current cell, because its
// four-byte stores spill one byte into the following pixel.
#include <bit>
#include <cstring>

#include "raster/win.h"

namespace {

static_assert(std::endian::native == std::endian::little, "pixels are packed as little-endian words");

// A colour as blue | green << 8 | red << 16, the byte order of a pixel.
using Packed = std::uint32_t;

Packed Pack(std::int32_t Red, std::int32_t Green, std::int32_t Blue) {
    return static_cast<Packed>(Blue & 255) | static_cast<Packed>(Green & 255) << 8 |
           static_cast<Packed>(Red & 255) << 16;
}

// Writes one pixel exactly.
inline void Put3(std::uint8_t* p, Packed c) {
    p[0] = static_cast<std::uint8_t>(c);
    p[1] = static_cast<std::uint8_t>(c >> 8);
    p[2] = static_cast<std::uint8_t>(c >> 16);
}

// Writes one pixel and spills one byte into the next pixel; only for pixels whose
// right neighbour is written afterwards.
inline void Put4(std::uint8_t* p, Packed c) { std::memcpy(p, &c, 4); }

// Writes `count` pixels of one colour, touching nothing past the last one.
void PaintRun(std::uint8_t* p, std::ptrdiff_t count, Packed c) {
    if (count <= 0) return;
    const auto blue = static_cast<std::uint8_t>(c);
    if (c == (blue * 0x010101u)) {
        std::memset(p, blue, static_cast<std::size_t>(3 * count));
        return;
    }
    if (count <= 16) {
        for (std::ptrdiff_t i = 0; i < count - 1; ++i) Put4(p + 3 * i, c);
        Put3(p + 3 * (count - 1), c);
        return;
    }
    // Eight pixels by hand, then double the written stretch until the run is full.
    for (int i = 0; i < 8; ++i) Put4(p + 3 * i, c);
    std::ptrdiff_t done = 8;
    while (2 * done <= count) {
        std::memcpy(p + 3 * done, p, static_cast<std::size_t>(3 * done));
        done *= 2;
    }
    std::memcpy(p + 3 * done, p, static_cast<std::size_t>(3 * (count - done)));
}

enum class Fill { None, Mosaic, Led };

// The cell layout of one call: n cells across starting at column Left0, m bands
// down starting at row Top0, pitches SX, SY, half pitches HX, HY.
struct Grid {
    std::int32_t Left0, SX, HX, n;
    std::int32_t Top0, SY, HY, m;
    std::int32_t RowEnd() const { return Left0 + (n - 1) * SX + 2 * HX; }
};

struct Look {
    bool TopLine, LeftLine, RightClose, BottomClose;
    Packed Line;      // colour of the edge lines
    Packed On, Off;   // LED colours
    std::int32_t Detector;
};

// What a cell's centre pixel turns it into. The colours live in locals so that the
// pixel stores, which may alias anything, do not force them to be reloaded.
template <Fill kind>
struct CellRule {
    Packed On, Off;
    std::int32_t Detector;

    Packed operator()(const std::uint8_t* sample) const {
        if constexpr (kind == Fill::Mosaic) {
            return static_cast<Packed>(sample[0]) | static_cast<Packed>(sample[1]) << 8 |
                   static_cast<Packed>(sample[2]) << 16;
        } else {
            const std::int32_t d = Detector;
            const bool lit = (sample[0] > d) | (sample[1] > d) | (sample[2] > d);
            return lit ? On : Off;
        }
    }
};

// Builds the band's common row in place on its centre row `row`. `fixedRun` is the
// number of fill pixels per cell when known at compile time (0: use the run-time one).
template <Fill kind, bool leftLine, int fixedRun>
void BuildRow(std::uint8_t* row, const Grid& g, const Look& look) {
    const CellRule<kind> rule{look.On, look.Off, look.Detector};
    const Packed lineColour = look.Line;
    const bool rightClose = look.RightClose;
    const std::int32_t n = g.n, HX = g.HX;
    const std::ptrdiff_t sampleStep = 3 * static_cast<std::ptrdiff_t>(g.SX);
    const std::uint8_t* sample = row + 3 * static_cast<std::ptrdiff_t>(g.Left0 + HX);
    std::uint8_t* p = row + 3 * static_cast<std::ptrdiff_t>(g.Left0);
    const std::int32_t runLength = fixedRun > 0 ? fixedRun : (leftLine ? g.SX - 1 : g.SX);
    Packed next = rule(sample);
    for (std::int32_t k = 0; k + 1 < n; ++k) {
        const Packed cell = next;
        sample += sampleStep;
        next = rule(sample);
        if constexpr (leftLine) {
            Put4(p, lineColour);
            p += 3;
        }
        for (std::int32_t i = 0; i < runLength; ++i, p += 3) Put4(p, cell);
    }
    // The last cell keeps its full width; its right column may be the closing edge.
    const std::int32_t last = 2 * HX;
    for (std::int32_t j = 0; j < last; ++j) Put4(p + 3 * j, (leftLine && j == 0) ? lineColour : next);
    Put3(p + 3 * last, (rightClose || (leftLine && last == 0)) ? lineColour : next);
}

template <Fill kind, bool leftLine>
void BuildRow(std::uint8_t* row, const Grid& g, const Look& look) {
    // The finest grids have millions of cells; give their short runs a fixed length.
    switch (leftLine ? g.SX - 1 : g.SX) {
        case 1: return BuildRow<kind, leftLine, 1>(row, g, look);
        case 2: return BuildRow<kind, leftLine, 2>(row, g, look);
        case 3: return BuildRow<kind, leftLine, 3>(row, g, look);
        case 4: return BuildRow<kind, leftLine, 4>(row, g, look);
        default: return BuildRow<kind, leftLine, 0>(row, g, look);
    }
}

template <Fill kind>
void DrawCells(std::uint8_t* bits, std::ptrdiff_t stride, const Grid& g, const Look& look) {
    const std::int32_t rowEnd = g.RowEnd();
    const std::ptrdiff_t spanOffset = 3 * static_cast<std::ptrdiff_t>(g.Left0);
    const std::ptrdiff_t spanPixels = rowEnd - g.Left0 + 1;
    const auto spanBytes = static_cast<std::size_t>(3 * spanPixels);
    auto rowAt = [&](std::int32_t y) { return bits + y * stride; };

    for (std::int32_t b = 0; b < g.m; ++b) {
        const std::int32_t top = g.Top0 + b * g.SY;
        const bool lastBand = b + 1 == g.m;
        const std::int32_t bottom = lastBand ? top + 2 * g.HY : top + g.SY - 1;
        const bool closeBottom = lastBand && look.BottomClose;
        const std::int32_t first = top + (look.TopLine ? 1 : 0);
        const std::int32_t lastCommon = closeBottom ? bottom - 1 : bottom;

        if constexpr (kind == Fill::None) {
            // Grid overlay: only the line pixels change, the image stays between them.
            const Packed lineColour = look.Line;
            const std::int32_t n = g.n;
            const std::ptrdiff_t pitchBytes = 3 * static_cast<std::ptrdiff_t>(g.SX);
            const std::ptrdiff_t closeOffset = 3 * static_cast<std::ptrdiff_t>(rowEnd);
            for (std::int32_t y = first; y <= lastCommon; ++y) {
                std::uint8_t* p = rowAt(y) + spanOffset;
                for (std::int32_t k = 0; k < n; ++k, p += pitchBytes) Put3(p, lineColour);
                if (look.RightClose) Put3(rowAt(y) + closeOffset, lineColour);
            }
        } else if (first <= lastCommon) {
            const std::int32_t centre = top + g.HY;
            std::uint8_t* model = rowAt(centre);
            if (look.LeftLine)
                BuildRow<kind, true>(model, g, look);
            else
                BuildRow<kind, false>(model, g, look);
            for (std::int32_t y = first; y <= lastCommon; ++y)
                if (y != centre) std::memcpy(rowAt(y) + spanOffset, model + spanOffset, spanBytes);
        }
        if (look.TopLine) PaintRun(rowAt(top) + spanOffset, spanPixels, look.Line);
        if (closeBottom) PaintRun(rowAt(bottom) + spanOffset, spanPixels, look.Line);
    }
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

}  // namespace

void TWin::ApplyPattern(std::int32_t Pattern, std::int32_t Detector, std::int32_t OnRed, std::int32_t OnGreen,
                        std::int32_t OnBlue, std::int32_t OffRed, std::int32_t OffGreen, std::int32_t OffBlue,
                        std::int32_t LineRed, std::int32_t LineGreen, std::int32_t LineBlue, std::int32_t X1,
                        std::int32_t Y1, std::int32_t X2, std::int32_t Y2) {
    if (Pattern < 0 || Pattern > 65 || Pattern == 13 || !HasPixels()) return;
    const std::int32_t W = Width(), H = Height();
    std::uint8_t* const bits = Bits;
    const auto stride = static_cast<std::ptrdiff_t>(Stride);
    const Packed line = Pack(LineRed, LineGreen, LineBlue);
    const Packed on = Pack(OnRed, OnGreen, OnBlue);

    if (Pattern >= 40) {
        // Fixed pitch: the cells sit at fixed places from the raster's corner; the
        // region takes no part. Unlit cells take the line colour, the lines are black.
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
        if (g.n == 0 || g.m == 0) return;
        const bool lines = Pattern <= 52;
        const Look look{lines, lines, false, false, 0, on, line, Detector};
        DrawCells<Fill::Led>(bits, stride, g, look);
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

    std::int32_t columnShift, rowShift;
    Fill kind;
    bool lines = true;
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
    Grid g{};
    g.SX = static_cast<std::int32_t>(static_cast<std::uint32_t>(X2 - X1) >> columnShift);
    g.SY = static_cast<std::int32_t>(static_cast<std::uint32_t>(Y2 - Y1) >> rowShift);
    // A region too small for its shift has no cells; its loops would never advance.
    if (g.SX == 0 || g.SY == 0) return;
    g.HX = g.SX / 2;
    g.HY = g.SY / 2;
    g.Left0 = X1 + 1;
    g.Top0 = Y1 + 1;
    g.n = CountCentres(X1 + g.HX + 1, g.SX, X2 - g.HX);
    g.m = CountCentres(Y1 + g.HY + 1, g.SY, Y2 - g.HY);
    if (g.n == 0 || g.m == 0) return;
    const Look look{lines, lines, lines, lines, line, on, Pack(OffRed, OffGreen, OffBlue), Detector};
    switch (kind) {
        case Fill::None:
            DrawCells<Fill::None>(bits, stride, g, look);
            break;
        case Fill::Mosaic:
            DrawCells<Fill::Mosaic>(bits, stride, g, look);
            break;
        case Fill::Led:
            DrawCells<Fill::Led>(bits, stride, g, look);
            break;
    }
}
