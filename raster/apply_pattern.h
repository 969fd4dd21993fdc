// ApplyPattern's cells, worked out before anything is drawn, and drawn band by
// band: a band is one row of cells, and no band reads or writes a row of
// another, so the render pipeline draws bands side by side.
// raster/reference/apply_pattern.cpp draws the same picture the plain way.
#pragma once

#include <cstdint>

#include "raster/win.h"

namespace pattern {

// A colour as blue | green << 8 | red << 16, the byte order of a pixel.
using Packed = std::uint32_t;

enum class Fill { None, Mosaic, Led };

// The cell layout of one call: n cells across starting at column Left0, m bands
// down starting at row Top0, pitches SX, SY, half pitches HX, HY.
struct Grid {
    std::int32_t Left0, SX, HX, n;
    std::int32_t Top0, SY, HY, m;
    std::int32_t RowEnd() const { return Left0 + (n - 1) * SX + 2 * HX; }
};

struct Look {
    Fill kind;
    bool TopLine, LeftLine, RightClose, BottomClose;
    Packed Line;     // colour of the edge lines
    Packed On, Off;  // LED colours
    std::int32_t Detector;
};

class Layout {
public:
    // The cells of ApplyPattern with these arguments on a raster of this size.
    Layout(const TWin& raster, std::int32_t Pattern, std::int32_t Detector, std::int32_t OnRed, std::int32_t OnGreen,
           std::int32_t OnBlue, std::int32_t OffRed, std::int32_t OffGreen, std::int32_t OffBlue, std::int32_t LineRed,
           std::int32_t LineGreen, std::int32_t LineBlue, std::int32_t X1, std::int32_t Y1, std::int32_t X2,
           std::int32_t Y2);

    // How many bands there are; none when the pattern draws nothing.
    std::int32_t Bands() const { return drawn_ ? grid_.m : 0; }
    // Band b owns rows BandTop(b) to BandTop(b + 1) - 1 (the last one, to its
    // bottom edge); it reads and writes no other row.
    std::int32_t BandTop(std::int32_t b) const { return grid_.Top0 + b * grid_.SY; }
    // The band's last row: BandTop(b + 1) - 1, or the last band's bottom edge.
    std::int32_t BandBottom(std::int32_t b) const {
        return b + 1 == grid_.m ? BandTop(b) + 2 * grid_.HY : BandTop(b + 1) - 1;
    }
    // Whether a band overwrites every pixel of its rows in columns SpanLeft() to
    // SpanRight(), reading nothing there but the Samples() pixels of its row
    // BandTop(b) + HalfPitchDown(), from column FirstSample() on, SamplePitch() apart.
    // Then what lay there before matters only at those samples. The grid
    // overlay keeps the image between its lines and covers nothing.
    bool Covers() const { return Bands() > 0 && look_.kind != Fill::None; }
    std::int32_t SpanLeft() const { return grid_.Left0; }
    std::int32_t SpanRight() const { return grid_.RowEnd(); }
    std::int32_t HalfPitchDown() const { return grid_.HY; }
    std::int32_t FirstSample() const { return grid_.Left0 + grid_.HX; }
    std::int32_t SamplePitch() const { return grid_.SX; }
    std::int32_t Samples() const { return grid_.n; }
    // Where a pattern that covers nothing drew its lines: across row y where
    // LineRow(y), over the span; down columns SpanLeft() + k SamplePitch() for
    // k < LineColumns(), and down SpanRight() where ClosingColumn(), on the rows
    // of its bands.
    bool LineRow(std::int64_t y) const;
    std::int32_t LineColumns() const { return drawn_ && look_.LeftLine ? grid_.n : 0; }
    bool ClosingColumn() const { return drawn_ && look_.RightClose; }
    // Draws bands first..last - 1 into the raster the layout was made for.
    void DrawBands(TWin& raster, std::int32_t first, std::int32_t last) const;

private:
    bool drawn_ = false;
    Grid grid_{};
    Look look_{};
};

// Draws bands first..last - 1 (raster/pattern_bands.cpp).
void DrawBands(std::uint8_t* bits, std::ptrdiff_t stride, const Grid& g, const Look& look, std::int32_t first,
               std::int32_t last);

}  // namespace pattern
