// The render pipeline: what every slider change does to the working raster.
// Shared by the control panel and lumarq-render so both give identical bytes.
#pragma once

#include <cstdint>

#include "platform/threads/parallel.h"
#include "raster/win.h"

// The eight slider positions, which are the whole of the render settings.
struct RenderSettings {
    std::int32_t Pattern = 13;   // 0..65
    std::int32_t Detector = 160; // 0..255
    std::int32_t Red = 255;      // 0..255
    std::int32_t Green = 0;      // 0..255
    std::int32_t Blue = 0;       // 0..255
    std::int32_t XOffset = 0;    // -1500..1500
    std::int32_t YOffset = 0;    // -1500..1500
    std::int32_t Angle = 0;      // 0..360 degrees

    bool operator==(const RenderSettings&) const = default;
};

// How a render shares out its work. The bytes are the same whatever it says.
struct RenderThreads {
    int count = 0;  // 0: parallel::Threads(), that is every core unless told otherwise
    long long fewestPixelsToShare = parallel::kFewestPixelsToShare;
};

// Clears WorkRaster to black, places SourceRaster into it at the offsets and the
// angle, and applies the pattern over the whole raster.
void RenderPipeline(TWin& WorkRaster, TWin& SourceRaster, const RenderSettings& settings,
                    const RenderThreads& threads = {});
