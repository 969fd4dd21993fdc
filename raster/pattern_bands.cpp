// ApplyPattern's drawing: grid overlays, mosaics and LED panels over the working
// raster. The picture is the one raster/reference/apply_pattern.cpp draws cell by
// cell with FillBox and DrawLine, later writes winning; that writes most pixels two
// or three times, too slow for the finest grids on a 4K raster. So the result is
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
// stores spill one byte into the following pixel.
#include <bit>
#include <cstring>

#include "raster/apply_pattern.h"

namespace pattern {

namespace {

static_assert(std::endian::native == std::endian::little, "pixels are packed as little-endian words");

// Writes one pixel exactly.
inline void Put3(std::uint8_t* p, Packed c) {
    p[0] = static_cast<std::uint8_t>(c);
    p[1] = static_cast<std::uint8_t>(c >> 8);
    p[2] = static_cast<std::uint8_t>(c >> 16);
}

// Writes one pixel and spills one byte into the next pixel; only for pixels whose
// right neighbour is written afterwards.
inline void Put4(std::uint8_t* p, Packed c) { std::memcpy(p, &c, 4); }

// Five pixels of one colour and the first byte of a sixth, stored as two words.
struct Strip {
    std::uint64_t low, high;  // bytes 0-7 start with blue, bytes 8-15 with red
    explicit Strip(Packed c) {
        const std::uint64_t colour = c & 0xFFFFFFu;
        low = colour | colour << 24 | colour << 48;
        high = colour >> 16 | colour << 8 | colour << 32 | colour << 56;
    }
    void Store(std::uint8_t* p) const {
        std::memcpy(p, &low, 8);
        std::memcpy(p + 8, &high, 8);
    }
};

// Writes a run of at least five pixels of one colour and spills one byte into the
// next pixel, like Put4: strips five pixels apart, the last one ending the run.
inline void PutRun(std::uint8_t* p, std::int32_t count, Packed c) {
    const Strip strip(c);
    for (std::int32_t i = 0; i + 5 < count; i += 5) strip.Store(p + 3 * i);
    strip.Store(p + 3 * (count - 5));
}

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
        if (fixedRun == 0 && runLength >= 5) {
            PutRun(p, runLength, cell);
            p += 3 * static_cast<std::ptrdiff_t>(runLength);
        } else {
            for (std::int32_t i = 0; i < runLength; ++i, p += 3) Put4(p, cell);
        }
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
void DrawCells(std::uint8_t* bits, std::ptrdiff_t stride, const Grid& g, const Look& look, std::int32_t firstBand,
               std::int32_t lastBand) {
    const std::int32_t rowEnd = g.RowEnd();
    const std::ptrdiff_t spanOffset = 3 * static_cast<std::ptrdiff_t>(g.Left0);
    const std::ptrdiff_t spanPixels = rowEnd - g.Left0 + 1;
    const auto spanBytes = static_cast<std::size_t>(3 * spanPixels);
    auto rowAt = [&](std::int32_t y) { return bits + y * stride; };

    for (std::int32_t b = firstBand; b < lastBand; ++b) {
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

}  // namespace

void DrawBands(std::uint8_t* bits, std::ptrdiff_t stride, const Grid& g, const Look& look, std::int32_t first,
               std::int32_t last) {
    switch (look.kind) {
        case Fill::None:
            DrawCells<Fill::None>(bits, stride, g, look, first, last);
            break;
        case Fill::Mosaic:
            DrawCells<Fill::Mosaic>(bits, stride, g, look, first, last);
            break;
        case Fill::Led:
            DrawCells<Fill::Led>(bits, stride, g, look, first, last);
            break;
    }
}

}  // namespace pattern
