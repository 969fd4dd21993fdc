// Placeholder until the patterns land.
#include "raster/win.h"

void TWin::ApplyPattern(std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                        std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                        std::int32_t, std::int32_t, std::int32_t) {}
