#include "raster/rotation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "raster/win.h"

namespace rotation {

namespace {

std::int64_t FloorDivide(std::int64_t a, std::int64_t b) {  // b != 0
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

std::int64_t CeilDivide(std::int64_t a, std::int64_t b) {  // b != 0
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) == (b < 0))) ++q;
    return q;
}

// Narrows [first, last] to the k for which lo <= start + k * step <= hi.
void Narrow(std::int64_t start, std::int64_t step, std::int64_t lo, std::int64_t hi, std::int64_t& first,
            std::int64_t& last) {
    if (lo > hi) {
        last = first - 1;
        return;
    }
    if (step == 0) {
        if (start < lo || start > hi) last = first - 1;
        return;
    }
    if (step > 0) {
        first = std::max(first, CeilDivide(lo - start, step));
        last = std::min(last, FloorDivide(hi - start, step));
    } else {
        first = std::max(first, CeilDivide(hi - start, step));
        last = std::min(last, FloorDivide(lo - start, step));
    }
}

// The half extents of box mode, across and down.
void BoxExtents(std::int64_t code, float scaleX, float scaleY, std::int64_t hw, std::int64_t hh, std::int64_t& G,
                std::int64_t& H) {
    constexpr std::int64_t kExtentLimit = std::int64_t{1} << 40;
    const std::int64_t across = TruncateWithin(static_cast<double>(scaleX) * static_cast<double>(hw), kExtentLimit);
    const std::int64_t down = TruncateWithin(static_cast<double>(scaleY) * static_cast<double>(hh), kExtentLimit);
    if (code == 0 || code == 18000) {
        G = across + 1;
        H = down + 1;
    } else if (code == 9000 || code == 27000) {
        G = down + 1;
        H = across + 1;
    } else {
        // Turned, the image reaches beyond its half sides: the box is 1.37 times
        // the larger one, which cuts the corners of a square turned near 45 degrees.
        G = H = TruncateWithin(1.37 * static_cast<double>(std::max(across + 3, down + 3)), kExtentLimit);
    }
}

}  // namespace

std::int64_t AngleCode(float Angle) {
    const double hundredths = static_cast<double>(Angle) * 100.0;
    constexpr std::int64_t kOutOfRange = std::numeric_limits<std::int64_t>::min() % 36000;
    if (!(std::fabs(hundredths) < 9.0e18)) return kOutOfRange;
    double rounded = std::floor(hundredths);
    const double fraction = hundredths - rounded;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0.0)) rounded += 1.0;
    return static_cast<std::int64_t>(rounded) % 36000;
}

Coefficients CoefficientsFor(float Angle) {
    switch (AngleCode(Angle)) {
        case 0: return {0, -65535};
        case 4500: return {-46340, -46340};
        case 9000: return {-65535, 0};
        case 13500: return {-46340, 46340};
        case 18000: return {0, 65535};
        case 22500: return {46340, 46340};
        case 27000: return {65535, 0};
        case 31500: return {46340, -46340};
        default: break;
    }
    const float theta = static_cast<float>((static_cast<double>(Angle) + 180.0) * std::numbers::pi / 180.0);
    return {TruncateToInt32(std::sin(static_cast<double>(theta)) * 65536.0),
            TruncateToInt32(std::cos(static_cast<double>(theta)) * 65536.0)};
}

std::int32_t TruncateToInt32(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

std::int64_t TruncateWithin(double value, std::int64_t limit) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(limit)) return limit;
    if (value <= -static_cast<double>(limit)) return -limit;
    return static_cast<std::int64_t>(value);
}

ScaledLimits LimitsFor(const ScanPlan& plan, float scaleX, float scaleY) {
    constexpr std::int64_t kLimit = std::int64_t{1} << 30;
    ScaledLimits limits{};
    limits.PU = TruncateWithin(static_cast<double>(plan.hw - plan.PivotDX) * scaleX, kLimit + 1);
    limits.PV = TruncateWithin(static_cast<double>(plan.hh - plan.PivotDY) * scaleY, kLimit + 1);
    limits.LU = TruncateWithin(static_cast<double>(plan.sw) * scaleX, kLimit + 1);
    limits.LV = TruncateWithin(static_cast<double>(plan.sh) * scaleY, kLimit + 1);
    limits.usable = std::abs(limits.PU) <= kLimit && std::abs(limits.PV) <= kLimit && std::abs(limits.LU) <= kLimit &&
                    std::abs(limits.LV) <= kLimit;
    return limits;
}

ScanPlan PlanScan(const TWin& target, const TWin& source, std::int32_t CentreX, std::int32_t CentreY, float Angle,
                  float ScaleX, float ScaleY, float ScaleStep, std::int32_t PivotDX, std::int32_t PivotDY, bool fullScan,
                  std::int64_t insetLeft, std::int64_t insetTop, std::int64_t insetRight, std::int64_t insetBottom) {
    ScanPlan plan;
    if (!std::isfinite(Angle) || !std::isfinite(ScaleX) || !std::isfinite(ScaleY) || !std::isfinite(ScaleStep))
        return plan;
    plan.finite = true;
    if (ScaleY < 0) {
        ScaleY = -ScaleY;
        Angle = static_cast<float>(static_cast<double>(Angle) + 180.0);
        Angle = static_cast<float>(360.0 - static_cast<double>(Angle));
        plan.mirrored = true;
    }
    if (ScaleX < 0) {
        ScaleX = -ScaleX;
        Angle = static_cast<float>(360.0 - static_cast<double>(Angle));
        plan.mirrored = !plan.mirrored;
    }
    plan.sw = source.Width(), plan.sh = source.Height(), plan.hw = plan.sw / 2, plan.hh = plan.sh / 2;
    plan.CentreY = CentreY, plan.PivotDX = PivotDX, plan.PivotDY = PivotDY;
    const std::int64_t dw = target.Width(), dh = target.Height();
    const Coefficients coefficients = CoefficientsFor(Angle);
    plan.E = coefficients.E, plan.F = coefficients.F;

    bool noRows = false;
    if (!fullScan) {
        std::int64_t G, H;
        BoxExtents(AngleCode(Angle), ScaleX, ScaleY, plan.hw, plan.hh, G, H);
        plan.x0 = std::clamp<std::int64_t>(std::int64_t{CentreX} + PivotDX - G - 1 + insetLeft, 0, dw - 1);
        plan.x1 = std::clamp<std::int64_t>(std::int64_t{CentreX} + PivotDX + G - insetRight, 0, dw - 1);
        plan.y0 = std::clamp<std::int64_t>(std::int64_t{CentreY} + PivotDY - H + insetTop, 0, dh - 1);
        plan.y1 = std::clamp<std::int64_t>(std::int64_t{CentreY} + PivotDY + H - insetBottom, 0, dh - 1);
    } else {
        // Crossing insets draw nothing; clamping afterwards keeps every visit inside.
        noRows = insetTop > dh - 1 - insetBottom;
        plan.x0 = std::clamp<std::int64_t>(insetLeft, 0, dw - 1);
        plan.x1 = std::clamp<std::int64_t>(dw - 1 - insetRight, 0, dw - 1);
        plan.y0 = std::clamp<std::int64_t>(insetTop, 0, dh - 1);
        plan.y1 = std::clamp<std::int64_t>(dh - 1 - insetBottom, 0, dh - 1);
    }
    plan.stepping = ScaleStep != 0.0f;
    if (plan.stepping) {
        plan.s = static_cast<float>(static_cast<double>(ScaleStep) / 50000.0);
        ScaleX = static_cast<float>(static_cast<double>(ScaleX) - static_cast<double>(plan.hw) * plan.s);
        ScaleY = static_cast<float>(static_cast<double>(ScaleY) - static_cast<double>(plan.hh) * plan.s);
    }
    plan.ScaleX = ScaleX, plan.ScaleY = ScaleY;
    plan.limits = LimitsFor(plan, ScaleX, ScaleY);
    plan.count = plan.x1 - plan.x0;
    plan.R0 = std::int64_t{CentreX} - 2 - plan.x0;
    plan.empty = noRows || plan.y0 > plan.y1 || plan.count <= 0;
    return plan;
}

RowRun RunOfRow(const ScanPlan& plan, std::int64_t y, const ScaledLimits& limits) {
    // Column k of a row has rx = R0 - k; the sums step by -F and -E per column.
    const std::int64_t ry = std::int64_t{plan.CentreY} - 1 - y;
    RowRun run{static_cast<std::int32_t>(y), 0, plan.count - 1, plan.R0 * plan.F - ry * plan.E,
               plan.R0 * plan.E + ry * plan.F, static_cast<std::int32_t>(limits.PU), static_cast<std::int32_t>(limits.PV)};
    if (!limits.usable) {
        run.last = run.first - 1;
        return run;
    }
    constexpr std::int64_t kMin32 = std::numeric_limits<std::int32_t>::min(), kMax32 = std::numeric_limits<std::int32_t>::max();
    Narrow(run.startU, -plan.F, std::max(kMin32, (1 - limits.PU) * 65536),
           std::min(kMax32, (limits.LU - limits.PU) * 65536 - 1), run.first, run.last);
    Narrow(run.startV, -plan.E, std::max(kMin32, (1 - limits.PV) * 65536),
           std::min(kMax32, (limits.LV - limits.PV) * 65536 - 1), run.first, run.last);
    return run;
}

}  // namespace rotation
