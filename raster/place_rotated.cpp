// TWin::PlaceRotated: draws a source raster into this one, turned, scaled and
// moved, through the colour stage and Blend. Two paths: the direct copy
// (raster/direct_copy.cpp) for the unturned, unscaled case and the transformed
// scan otherwise, which is the cached scan (raster/cached_scan.cpp) or, where
// the bytes are copied as they are at scale 1, the turned copy
// (raster/turned_copy.cpp).
#include <cmath>

#include "raster/placement.h"
#include "raster/rotation.h"
#include "raster/turned_copy.h"

namespace {

using namespace placement;

std::int64_t NonNegative(std::int32_t inset) { return inset < 0 ? 0 : inset; }

bool TakesDirectCopy(float Angle, float ScaleX, float ScaleY, float ScaleStep, std::int32_t PivotDX,
                     std::int32_t PivotDY, std::int32_t Clamp) {
    return std::trunc(static_cast<double>(ScaleX)) == 1.0 && std::trunc(static_cast<double>(ScaleY)) == 1.0 &&
           std::trunc(static_cast<double>(Angle)) == 0.0 && std::trunc(static_cast<double>(ScaleStep)) == 0.0 &&
           PivotDX == 0 && PivotDY == 0 && Clamp >= 0;
}

void TransformedScan(TWin& target, TWin& source, const rotation::ScanPlan& plan, const Key& key,
                     const ColourStage& stage) {
    if (!plan.finite) return;
    target.Step = plan.mirrored ? -3 : 3;
    if (plan.empty) return;
    // Drawing a raster into itself reads pixels already written: that goes the
    // cached way, exactly as the sample cache dictates.
    const bool copyBytes = stage.Identity() && key.packed == kNoKey && &source != &target;
    std::uint8_t* out = nullptr;
    const std::uint8_t* lastRead = nullptr;
    if (copyBytes && !plan.stepping && plan.ScaleX == 1.0f && plan.ScaleY == 1.0f) {
        std::vector<rotation::RowRun> runs;
        runs.reserve(static_cast<std::size_t>(plan.y1 - plan.y0 + 1));
        for (std::int64_t y = plan.y0; y <= plan.y1; ++y) {
            const rotation::RowRun run = rotation::RunOfRow(plan, y, plan.limits);
            if (run.first <= run.last) runs.push_back(run);
        }
        CopyRuns(target, source, plan, runs);
        if (!runs.empty()) PointersAfter(target, source, plan, runs.back(), out, lastRead);
    } else {
        CachedScan(target, source, plan, key, stage, copyBytes, out, lastRead);
    }
    if (out) target.Cursor = out;
    if (lastRead) source.Probe = const_cast<std::uint8_t*>(lastRead);
}

}  // namespace

void TWin::PlaceRotated(TWin& Source, std::int32_t CentreX, std::int32_t CentreY, float Angle, float ScaleX,
                        float ScaleY, float ScaleStep, std::int32_t PivotDX, std::int32_t PivotDY,
                        std::int32_t BlendCode, std::int32_t Brightness, float Gain, float Saturation,
                        std::int32_t RedShift, std::int32_t GreenShift, std::int32_t BlueShift, std::int32_t Effect,
                        std::int32_t Clamp, std::int32_t InsetLeft, std::int32_t InsetTop, std::int32_t InsetRight,
                        std::int32_t InsetBottom) {
    if (BlendCode == 0 || BlendCode < -256 || BlendCode > 256) return;
    // A raster without pixels (an empty or failed load) is neither read nor written.
    if (!HasPixels() || !Source.HasPixels()) return;

    std::int32_t previous[3];
    previous[0] = Source.PeekBlue(0, 0), previous[1] = Source.PeekGreen(), previous[2] = Source.PeekRed();
    const Key key{BlendCode > 0 ? Pack(previous[0], previous[1], previous[2]) : kNoKey};
    const std::int32_t magnitude = BlendCode < 0 ? -BlendCode : BlendCode;
    const std::int32_t weight = magnitude > 128 ? magnitude - 128 : magnitude;
    const bool fullScan = magnitude > 128;
    // Negative insets would reach outside the source or the destination: they count as 0.
    const Insets inset{NonNegative(InsetLeft), NonNegative(InsetTop), NonNegative(InsetRight), NonNegative(InsetBottom)};

    if (TakesDirectCopy(Angle, ScaleX, ScaleY, ScaleStep, PivotDX, PivotDY, Clamp)) {
        const ColourStage stage(weight, Clamp >= 1, Brightness, Gain, Saturation, RedShift, GreenShift, BlueShift);
        DirectCopy(*this, Source, DirectBlockFor(*this, Source, CentreX, CentreY, inset), key, stage, Effect, previous);
    } else {
        // The turned path clamps with the magnitude of Clamp: any nonzero value.
        const ColourStage stage(weight, Clamp != 0, Brightness, Gain, Saturation, RedShift, GreenShift, BlueShift);
        const rotation::ScanPlan plan = rotation::PlanScan(*this, Source, CentreX, CentreY, Angle, ScaleX, ScaleY,
                                                           ScaleStep, PivotDX, PivotDY, fullScan, inset.left,
                                                           inset.top, inset.right, inset.bottom);
        TransformedScan(*this, Source, plan, key, stage);
    }
}
