// The plain versions of the placement scan and of the patterns, written as the
// algorithms read: every pixel or cell in turn, no tricks. They are slow on
// purpose. The tests and the fuzz targets compare the fast code with them byte
// for byte; the fast code's comments point here for what it computes.
#pragma once

#include <cstdint>

#include "raster/win.h"

namespace reference {

// The 22 settings of one PlaceRotated call; the defaults are the control panel's.
struct Placement {
    std::int32_t CentreX = 0, CentreY = 0;
    float Angle = 0.0f, ScaleX = 1.0f, ScaleY = 1.0f, ScaleStep = 0.0f;
    std::int32_t PivotDX = 0, PivotDY = 0, BlendCode = -256, Brightness = 0;
    float Gain = 1.0f, Saturation = 0.0f;
    std::int32_t RedShift = 0, GreenShift = 0, BlueShift = 0, Effect = 0, Clamp = 1;
    std::int32_t InsetLeft = 0, InsetTop = 0, InsetRight = 0, InsetBottom = 0;

    // The fast operation, TWin::PlaceRotated, with these settings.
    void Draw(TWin& target, TWin& source) const;
    // Whether PlaceRotated takes its direct copy rather than the transformed scan.
    bool TakesDirectCopy() const;
};

// PlaceRotated's transformed scan, one destination pixel after another: the
// sample point in 32-bit arithmetic, the bounds test, the source read through a
// one-entry cache, the colour stage and Blend, the write address set at the row's
// first drawable pixel and stepped from there. Callers make sure the direct copy
// would not be taken. `forgetSampleWhenScalesChange` false keeps the cache across
// a change of scale, as first designed. Returns how many samples fell outside the
// source (none: the bounds test comes before any read).
int TransformedScan(TWin& target, const TWin& source, const Placement& p, bool forgetSampleWhenScalesChange = true);

// ApplyPattern cell by cell through FillBox and DrawLine, each cell sampled with
// PeekBlue, PeekGreen and PeekRed just before it is drawn. Returns how many
// samples an earlier cell had already changed: none, which is what lets the fast
// drawing work band by band in place.
int ApplyPattern(TWin& w, std::int32_t Pattern, std::int32_t Detector, std::int32_t OnRed, std::int32_t OnGreen,
                 std::int32_t OnBlue, std::int32_t OffRed, std::int32_t OffGreen, std::int32_t OffBlue,
                 std::int32_t LineRed, std::int32_t LineGreen, std::int32_t LineBlue, std::int32_t X1, std::int32_t Y1,
                 std::int32_t X2, std::int32_t Y2);

}  // namespace reference
