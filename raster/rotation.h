// The geometry of PlaceRotated's transformed scan: the angle's code in hundredths
// of a degree, the 16.16 fixed-point sine and cosine coefficients, the scan's
// range and scales, and the run of drawable columns in each destination row.
// raster/reference/place_rotated.cpp walks the same scan one pixel at a time.
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

// What the processor's own truncation gives for a value beyond 32 bits (and NaN):
// the most negative integer. Avoids undefined conversions on wild settings.
std::int32_t TruncateToInt32(double value);
// Truncation for sizes and extents, held within +-limit so sums of them stay in 64 bits.
std::int64_t TruncateWithin(double value, std::int64_t limit);

// The scales' consequences for one row: the scaled pivot and the limits of the
// sample point. A row whose values leave +-2^30 is beyond any drawable size.
struct ScaledLimits {
    std::int64_t PU, PV, LU, LV;
    bool usable;
};

// Everything the scan works out before its first row.
struct ScanPlan {
    bool finite = false;    // false: a non-finite angle or scale, nothing is drawn
    bool mirrored = false;  // rows are written right to left
    bool empty = true;      // no row or no column to visit
    std::int64_t E = 0, F = 0;
    std::int64_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;  // columns x0..x1 - 1 (mirrored: x1..x0 + 1), rows y0..y1
    std::int64_t count = 0;                       // columns visited per row
    std::int64_t R0 = 0;                          // rx of the first visited column
    std::int32_t CentreY = 0, PivotDX = 0, PivotDY = 0;
    std::int64_t sw = 0, sh = 0, hw = 0, hh = 0;
    float ScaleX = 1, ScaleY = 1;  // before the first row's scale step
    bool stepping = false;         // the scales change from row to row
    float s = 0;                   // by this much
    ScaledLimits limits{};         // for ScaleX and ScaleY as they stand here
};

ScanPlan PlanScan(const TWin& target, const TWin& source, std::int32_t CentreX, std::int32_t CentreY, float Angle,
                  float ScaleX, float ScaleY, float ScaleStep, std::int32_t PivotDX, std::int32_t PivotDY, bool fullScan,
                  std::int64_t insetLeft, std::int64_t insetTop, std::int64_t insetRight, std::int64_t insetBottom);

ScaledLimits LimitsFor(const ScanPlan& plan, float scaleX, float scaleY);

// One row's drawable columns k = first..last (none when first > last), its sums at
// column 0 and the scaled pivot it was found with.
struct RowRun {
    std::int32_t y;
    std::int64_t first, last;
    std::int64_t startU, startV;
    std::int32_t PU, PV;
};

// The drawable columns are those whose 32-bit sums cannot wrap and whose sample
// point lies inside 1 <= u < LU, 1 <= v < LV: one unbroken run, the turned source
// rectangle being convex.
RowRun RunOfRow(const ScanPlan& plan, std::int64_t y, const ScaledLimits& limits);

// The sample point of visited column k of a run.
inline void SamplePoint(const ScanPlan& plan, const RowRun& run, std::int64_t k, std::int32_t& u, std::int32_t& v) {
    u = (static_cast<std::int32_t>(static_cast<std::uint32_t>(run.startU - k * plan.F)) >> 16) + run.PU;
    v = (static_cast<std::int32_t>(static_cast<std::uint32_t>(run.startV - k * plan.E)) >> 16) + run.PV;
}

// The destination column of visited column k.
inline std::int64_t ColumnOf(const ScanPlan& plan, std::int64_t k) { return plan.mirrored ? plan.x1 - k : plan.x0 + k; }

}  // namespace rotation
