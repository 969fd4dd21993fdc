// Copying a run of pixels between 24- and 32-bit surfaces, as blits do.
#pragma once

#include <cstdint>

namespace platform::gdi {

// Copies `count` pixels from `in` (inBytes 3 or 4 a pixel) to `out` (outBytes 3 or
// 4). 24 to 32 bits adds a fourth byte of 255; 32 to 24 drops it. Nothing past the
// last pixel of either run is read or written. Same sizes may overlap, as memmove.
void CopyPixels(std::uint8_t* out, int outBytes, const std::uint8_t* in, int inBytes, int count);

}  // namespace platform::gdi
