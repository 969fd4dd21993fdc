// The processor-specific loops of the turned copy (raster/turned_copy.h), behind
// the one function that picks them.
#pragma once

#include <cstdint>

namespace placement::wide {

// The walk of one run: 16.16 sums of the sample point and their steps per pixel,
// the scaled pivot, and the source's pixels.
struct Walk {
    std::uint32_t sumU, sumV, stepU, stepV;
    std::int32_t PU, PV;
    const std::uint8_t* sourceBits;
    std::ptrdiff_t sourceStride;
};

// The widest copy this processor has, in pixels a step: 16, 8, or 1 (none).
int WidestCopy();

// Copies the first pixels of a run `width` at a time (16 only left to right),
// advancing `out` by `step` bytes a pixel and the walk along. Returns how many
// pixels remain for the plain loop; no write reaches past the pixels copied but
// for the eight-wide loop's, which spill onto the two pixels after its groups and
// so always leave at least those two. The source must be indexable with 32-bit
// offsets.
std::int64_t CopyWide(int width, std::uint8_t*& out, std::int32_t step, Walk& walk, std::int64_t count);

}  // namespace placement::wide
