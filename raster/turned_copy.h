// The transformed scan at scale 1 with the bytes copied as they are (no key, no
// colour change, source and destination apart), as the control panel places
// every turned image: each drawable pixel is one source pixel and nothing
// depends on the order of the writes, so whole runs are copied, several pixels a
// step where the processor allows, in strips of columns that keep the source,
// walked across its rows at a turn, in the caches.
#pragma once

#include <vector>

#include "raster/rotation.h"
#include "raster/win.h"

namespace placement {

// Copies the runs (each with first <= last) of rows of one scan.
void CopyRuns(const TWin& target, const TWin& source, const rotation::ScanPlan& plan,
              const std::vector<rotation::RowRun>& runs);

// The one test seam of the copy loops: caps the pixels copied per vector step
// (16, 8, or 1 for the plain loop) so that tests run every path on a processor
// that has the widest. Production code never calls it; the widest available is
// used by default.
void CapCopyWidthForTesting(int pixels);

}  // namespace placement
