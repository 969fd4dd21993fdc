#include "raster/render.h"

void RenderPipeline(TWin& WorkRaster, TWin& SourceRaster, const RenderSettings& s) {
    WorkRaster.FillBox(0, 0, WorkRaster.Width() - 1, WorkRaster.Height() - 1, 0, 0, 0, 128);
    WorkRaster.PlaceRotated(SourceRaster, SourceRaster.Width() / 2 + s.XOffset, SourceRaster.Height() / 2 + s.YOffset,
                            static_cast<float>(s.Angle), 1.0f, 1.0f, 0.0f, 0, 0, -256, 0, 1.0f, 0.0f, 0, 0, 0, 0, 1,
                            0, 0, 0, 0);
    WorkRaster.ApplyPattern(s.Pattern, s.Detector, s.Red, s.Green, s.Blue, s.Red / 8, s.Green / 8, s.Blue / 8, 0, 0,
                            0, -1, -2, -3, -4);
}
