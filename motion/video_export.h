// A video through the effect: decoded in order, its frames rendered side by side
// on every core, and written in order with the input's timing and sound. Only a
// few frames are in flight whatever the video's length.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "files/atomic_file.h"
#include "motion/animation_writer.h"
#include "motion/export.h"
#include "motion/video_input.h"
#include "settings/sweep.h"

namespace motion {

struct VideoExportRequest {
    // The settings of the first frame (from) and the last (to). A setting that
    // moves is spread over the input's frame count (the count its file declares,
    // else its duration times its average rate); frames past that count keep the
    // last frame's settings. When neither is known every frame takes `from`, and
    // a note says so. sweep.frames is ignored.
    Sweep sweep;
    std::int32_t scale = 1;    // every frame enlarged this many times, 1..8
    AnimationOptions options;  // quality, loop, dither, audio; the rest comes from the reader
    std::string output;
};

// The frames the input is expected to have; 0 when unknown.
std::int64_t ExpectedFrames(const VideoFacts& facts);

// The average rate as whole frames a second for WebP, GIF and stills, within the
// writer's limits (1..120, 1..50 for a GIF); 25 when the input does not say.
std::int32_t WholeFrameRate(const VideoFacts& facts, OutputKind kind);

// Renders every frame `reader` gives into request.output. A failure of the input
// (damage without keepGoing, memory) sets `inputFailed`, so that the caller can
// name the input rather than the output. Cancel and writer failures behave as
// ExportSweep's; progress's total is ExpectedFrames (0 when unknown).
SaveResult ExportVideo(VideoReader& reader, const VideoExportRequest& request, std::vector<std::string>& notes,
                       const ExportProgress& progress = {}, const std::atomic<bool>* cancel = nullptr,
                       bool* inputFailed = nullptr, ExportStats* stats = nullptr);

}  // namespace motion
