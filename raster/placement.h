// The two paths of PlaceRotated, shared by TWin::PlaceRotated and the render
// pipeline's clear-and-place: the direct copy and the transformed scan (the
// cached scan, and the copy of whole runs at scale 1 in raster/turned_copy.h).
#pragma once

#include <cstdint>
#include <vector>

#include "raster/colour_stage.h"
#include "raster/rotation.h"
#include "raster/win.h"

namespace placement {

struct Insets {
    std::int64_t left, top, right, bottom;
};

// The direct copy's block: source pixel (sx, sy) lands at (sx + ox, sy + oy);
// columns x0..x1 - 1 of rows y0..y1 - 1 are drawn. `reached` is false when the
// copy returns before its first row.
struct DirectBlock {
    std::int64_t ox, oy, x0, y0, x1, y1;
    bool reached;
    std::int64_t Columns() const { return x1 > x0 ? x1 - x0 : 0; }
};

DirectBlock DirectBlockFor(const TWin& target, const TWin& source, std::int32_t CentreX, std::int32_t CentreY,
                           const Insets& inset);

// The whole direct copy, row after row: key, effect, colour stage, Blend.
// `previous` is the colour the effects start from; it carries across rows.
void DirectCopy(TWin& target, TWin& source, const DirectBlock& block, const Key& key, const ColourStage& stage,
                std::int32_t Effect, std::int32_t previous[3]);

// Rows first..last - 1 of the control panel's direct copy onto a cleared raster:
// black around the block, the block's bytes copied. Touches no working pointer.
void CopyDirectRows(TWin& target, const TWin& source, const DirectBlock& block, std::int64_t first, std::int64_t last);

// Black in the given rows of the target, or outside columns x0..x1 - 1 where
// the row lies within y0..y1 - 1. Row padding stays as it is.
void ClearRowsAround(TWin& target, std::int64_t first, std::int64_t last, std::int64_t x0, std::int64_t y0,
                     std::int64_t x1, std::int64_t y1);

// The transformed scan pixel by pixel, with the one-entry sample cache, for any
// scale, key and colour stage. Leaves `out` past the last pixel visited in a run
// and `lastRead` on the last source pixel read (both untouched if none).
void CachedScan(const TWin& target, const TWin& source, const rotation::ScanPlan& plan, const Key& key,
                const ColourStage& stage, bool copyBytes, std::uint8_t*& out, const std::uint8_t*& lastRead);

// Where a row-by-row scan would have left the destination's Cursor and the
// source's Probe after `final`, the last row with a run.
void PointersAfter(const TWin& target, const TWin& source, const rotation::ScanPlan& plan,
                   const rotation::RowRun& final, std::uint8_t*& out, const std::uint8_t*& lastRead);

}  // namespace placement
