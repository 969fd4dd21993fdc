// The transformed scan for any scale, key and colour stage: each visited pixel's
// sample point in 16.16 fixed point, the source read through a one-entry cache.
// raster/reference/place_rotated.cpp is the same scan written pixel by pixel.
#include "raster/placement.h"

namespace placement {

namespace {

// The one-entry sample cache: the last sample point, its colour's values and
// whether the colour was keyed out. It carries over from row to row.
struct SampleCache {
    std::int32_t u = -1, v = -1;
    bool keyed = false;
    std::int32_t values[3] = {0, 0, 0};
};

// Source pixel (u / ScaleX, v / ScaleY). u < LU <= sw x ScaleX, so u / ScaleX < sw;
// the guards only hold the last column and row against rounding.
const std::uint8_t* SampleAt(const rotation::ScanPlan& plan, const TWin& source, std::int32_t u, std::int32_t v,
                             float scaleX, float scaleY) {
    std::int64_t sx = u, sy = v;
    if (scaleX != 1.0f) {
        const double q = u / static_cast<double>(scaleX);
        sx = q >= static_cast<double>(plan.sw - 1) ? plan.sw - 1 : static_cast<std::int64_t>(q);
    }
    if (scaleY != 1.0f) {
        const double q = v / static_cast<double>(scaleY);
        sy = q >= static_cast<double>(plan.sh - 1) ? plan.sh - 1 : static_cast<std::int64_t>(q);
    }
    return source.Bits + sy * static_cast<std::ptrdiff_t>(source.Stride) + 3 * sx;
}

}  // namespace

void CachedScan(const TWin& target, const TWin& source, const rotation::ScanPlan& plan, const Key& key,
                const ColourStage& stage, bool copyBytes, std::uint8_t*& out, const std::uint8_t*& lastRead) {
    const std::int32_t step = plan.mirrored ? -3 : 3;
    float scaleX = plan.ScaleX, scaleY = plan.ScaleY;
    rotation::ScaledLimits limits = plan.limits;
    SampleCache cache;
    for (std::int64_t y = plan.y0; y <= plan.y1; ++y) {
        if (plan.stepping) {
            scaleX = static_cast<float>(static_cast<double>(scaleX) + plan.s);
            scaleY = static_cast<float>(static_cast<double>(scaleY) + plan.s);
            limits = rotation::LimitsFor(plan, scaleX, scaleY);
            // A sample read at the previous row's scale is not this row's colour.
            cache = SampleCache{};
        }
        const rotation::RowRun run = rotation::RunOfRow(plan, y, limits);
        if (run.first > run.last) continue;
        // Sums in 32 bits with wrap-around; inside the run they never wrap.
        auto sumU = static_cast<std::uint32_t>(run.startU - run.first * plan.F);
        auto sumV = static_cast<std::uint32_t>(run.startV - run.first * plan.E);
        const auto stepU = static_cast<std::uint32_t>(-plan.F), stepV = static_cast<std::uint32_t>(-plan.E);
        out = target.PixelAddress(static_cast<std::int32_t>(rotation::ColumnOf(plan, run.first)), run.y);
        for (std::int64_t i = run.first; i <= run.last; ++i, out += step) {
            const std::int32_t u = (static_cast<std::int32_t>(sumU) >> 16) + run.PU;
            const std::int32_t v = (static_cast<std::int32_t>(sumV) >> 16) + run.PV;
            sumU += stepU;
            sumV += stepV;
            if (u != cache.u || v != cache.v) {
                cache.u = u;
                cache.v = v;
                lastRead = SampleAt(plan, source, u, v, scaleX, scaleY);
                const std::int32_t blue = lastRead[0], green = lastRead[1], red = lastRead[2];
                cache.keyed = key.Matches(blue, green, red);
                if (!cache.keyed) stage.Values(blue, green, red, (blue + green + red) / 3, cache.values);
            }
            if (cache.keyed) continue;
            if (copyBytes) {
                out[0] = static_cast<std::uint8_t>(cache.values[0]);
                out[1] = static_cast<std::uint8_t>(cache.values[1]);
                out[2] = static_cast<std::uint8_t>(cache.values[2]);
            } else {
                stage.Write(out, cache.values);
            }
        }
    }
}

void PointersAfter(const TWin& target, const TWin& source, const rotation::ScanPlan& plan,
                   const rotation::RowRun& final, std::uint8_t*& out, const std::uint8_t*& lastRead) {
    const std::int32_t step = plan.mirrored ? -3 : 3;
    out = target.PixelAddress(static_cast<std::int32_t>(rotation::ColumnOf(plan, final.last)), final.y) + step;
    std::int32_t u, v;
    rotation::SamplePoint(plan, final, final.last, u, v);
    lastRead = source.Bits + v * static_cast<std::ptrdiff_t>(source.Stride) + 3 * static_cast<std::ptrdiff_t>(u);
}

}  // namespace placement
