#include "raster/render.h"

#include "raster/place_rotated.h"

void RenderPipeline(TWin& WorkRaster, TWin& SourceRaster, const RenderSettings& s) {
    // The clear to black and the placement (weight 128, no key, full scan, clamp 1,
    // all else neutral) in one pass.
    ClearAndPlaceRotated(WorkRaster, SourceRaster, SourceRaster.Width() / 2 + s.XOffset,
                         SourceRaster.Height() / 2 + s.YOffset, static_cast<float>(s.Angle));
    WorkRaster.ApplyPattern(s.Pattern, s.Detector, s.Red, s.Green, s.Blue, s.Red / 8, s.Green / 8, s.Blue / 8, 0, 0,
                            0, -1, -2, -3, -4);
}
