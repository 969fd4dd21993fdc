// Rendering a sweep into an animation on every core: frames render in parallel,
// a few at a time whatever their number, and reach the writer in order.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "files/atomic_file.h"
#include "motion/animation_writer.h"
#include "raster/win.h"
#include "settings/sweep.h"

namespace motion {

struct ExportRequest {
    Sweep sweep;
    std::int32_t scale = 1;  // every frame enlarged this many times by whole pixels, 1..8
    AnimationOptions options;  // width, height and frames are filled in from the source, scale and sweep
    std::string output;
};

// Called in frame order after each frame is written, from the thread that writes.
using ExportProgress = std::function<void(std::int32_t written, std::int32_t total)>;

// Renders every frame of the sweep from `source` and writes them to the output.
// Stops early, leaving nothing behind, when `cancel` becomes true (the result then
// is a failure whose error is kExportCancelled) or when the writer fails.
SaveResult ExportSweep(const TWin& source, const ExportRequest& request, std::vector<std::string>& notes,
                       const ExportProgress& progress = {}, const std::atomic<bool>* cancel = nullptr);

inline constexpr const char* kExportCancelled = "Cancelled";

// What an export held at its busiest.
struct ExportStats {
    std::int32_t tokens = 0;           // frames that may be in flight at once
    std::int32_t mostInFlight = 0;     // frames that were
    std::int64_t mostRasterBytes = 0;  // pixel bytes of the rasters held for frames in flight
};

// The same into a writer already open for request.options: the windows' own, or
// a test's. Finish is called only when every frame was written.
SaveResult ExportSweep(const TWin& source, const ExportRequest& request, AnimationWriter& writer,
                       const ExportProgress& progress = {}, const std::atomic<bool>* cancel = nullptr,
                       ExportStats* stats = nullptr);

// A frame enlarged `scale` times, each pixel a scale x scale block.
void Enlarge(const TWin& frame, std::int32_t scale, TWin& enlarged);

}  // namespace motion
