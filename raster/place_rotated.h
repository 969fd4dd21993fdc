// The turn used by TWin::PlaceRotated: the angle's code in hundredths of a degree
// and the 16.16 fixed-point sine and cosine coefficients derived from it.
#pragma once

#include <cstdint>

class TWin;

namespace rotation {

// round(Angle x 100), ties to even, remainder of 36000 with the sign of the
// angle: a negative angle gives a negative code. An angle too large to round
// into 64 bits gives the code of the most negative 64-bit integer.
std::int64_t AngleCode(float Angle);

struct Coefficients {
    std::int32_t E;  // sine of (Angle + 180 degrees), times 65536
    std::int32_t F;  // cosine of (Angle + 180 degrees), times 65536
    bool operator==(const Coefficients&) const = default;
};

// The exact values for the eight multiples of 45 degrees (65535 at the axes),
// otherwise the sine and cosine of the angle stored as a 32-bit float.
Coefficients CoefficientsFor(float Angle);

// The most pixels the unscaled turned copy may move per vector step: 16, 8, or 1
// for the plain loop. The widest the processor has is used by default; tests
// lower it so that every copy path runs on a processor that has them all.
void LimitCopyWidth(int pixels);

}  // namespace rotation

// The control panel's placement onto a cleared raster: the same bytes and working
// pointers as FillBox to black over the whole of Target followed by PlaceRotated
// of Source at (CentreX, CentreY) and Angle with scale 1, BlendCode -256, Clamp 1
// and every other setting neutral, with each row written once instead of twice.
void ClearAndPlaceRotated(TWin& Target, TWin& Source, std::int32_t CentreX, std::int32_t CentreY, float Angle);
