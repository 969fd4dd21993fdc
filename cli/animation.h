// lumarq-render --frames: one input swept into one animation.
#pragma once

#include <optional>
#include <string>

#include "cli/options.h"
#include "cli/report.h"
#include "raster/win.h"

// Renders the sweep the options describe from `source` into options.output, with
// a progress bar on a terminal and Ctrl+C (or SIGTERM) stopping it cleanly.
// Returns the exit status: 0, 1 for a failure, 128 + the signal when stopped.
int RenderAnimation(const RenderOptions& options, const TWin& source);

// Renders the video options.inputs[0] into options.output (a video, an animated
// WebP or GIF, or numbered stills), the same way: progress bar, Ctrl+C, status.
int RenderVideo(const RenderOptions& options);

// The same for one input of a batch: no bar, no signals; lines to print before
// the result go into `notes`.
std::optional<Failure> RenderVideoInBatch(const RenderOptions& options, const std::string& input,
                                          const std::string& output, std::string& notes);
