#include "raster/random.h"

namespace random_detail {
std::uint32_t seed = 0;
}
