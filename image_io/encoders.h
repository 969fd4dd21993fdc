// The encoders of the formats Qt does not write. Internal to image_io.
#pragma once

#include <cstdint>
#include <vector>

#include "raster/win.h"

namespace image_io {

// Each encodes the raster at quality 1..100 into `encoded`; false on failure.
bool EncodeAvif(const TWin& image, int quality, std::vector<std::uint8_t>& encoded);
// Quality 100 is lossless.
bool EncodeJpegXl(const TWin& image, int quality, std::vector<std::uint8_t>& encoded);

}  // namespace image_io
