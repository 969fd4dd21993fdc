// The view's most common reductions, 1/2, 1/3 and 1/4 into a window's 32-bit
// surface, with the processor's wide registers: the same bytes as the plain loops.
#pragma once

#include "platform/gdi/gdi.h"

namespace platform::gdi {

// View rows first..last - 1 of `clip` at 1/n, view pixel (x, y) into target pixel
// (x - left, y - top) of a 32-bit `dst`: each the exact mean of n x n image
// pixels, rounded to the nearest, halves up. False, and nothing drawn, where the
// processor or n (2 to 4) does not allow it.
bool AverageSmallBlocks(const Surface& dst, int left, int top, const Surface& src, const ClipBox& clip, int n,
                        int first, int last);

}  // namespace platform::gdi
