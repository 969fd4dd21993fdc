// lumarq-render --frames: one input swept into one animation.
#pragma once

#include "cli/options.h"
#include "raster/win.h"

// Renders the sweep the options describe from `source` into options.output, with
// a progress bar on a terminal and Ctrl+C (or SIGTERM) stopping it cleanly.
// Returns the exit status: 0, 1 for a failure, 128 + the signal when stopped.
int RenderAnimation(const RenderOptions& options, const TWin& source);
