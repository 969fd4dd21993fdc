// Placeholder until the rotated placement lands.
#include "raster/win.h"

void TWin::PlaceRotated(TWin&, std::int32_t, std::int32_t, float, float, float, float, std::int32_t, std::int32_t,
                        std::int32_t, std::int32_t, float, float, std::int32_t, std::int32_t, std::int32_t,
                        std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {}
