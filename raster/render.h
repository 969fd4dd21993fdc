// The render pipeline: what every slider change does to the working raster.
// Shared by the control panel and lumarq-render so both give identical bytes.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/threads/parallel.h"
#include "raster/win.h"
#include "settings/render_settings.h"

// How a render shares out its work. The bytes are the same whatever it says.
struct RenderThreads {
    int count = 0;  // 0: parallel::Threads(), that is every core unless told otherwise
    long long fewestPixelsToShare = parallel::kFewestPixelsToShare;
};

// Called with rows first..last - 1 of the working raster as soon as they hold
// their final bytes, on the thread that drew them, while they are still in its
// cache; never twice at once for the same rows.
using RowsRendered = std::function<void(int first, int last)>;

// Clears WorkRaster to black, places SourceRaster into it at the offsets and the
// angle, and applies the pattern over the whole raster. `holding`, where the
// caller knows it: the settings of the render WorkRaster holds, of this source,
// untouched since. When that render was at the same place and angle and its
// pattern drew lines only, the placement is there but under those lines, and only
// they are placed again: the bytes are the same.
void RenderPipeline(TWin& WorkRaster, TWin& SourceRaster, const RenderSettings& settings,
                    const RenderThreads& threads = {}, const RowsRendered& rowsRendered = {},
                    const RenderSettings* holding = nullptr);
