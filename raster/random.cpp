#include "raster/random.h"

namespace {
std::uint32_t seed = 0;
}

std::int32_t Random(std::int32_t Range) {
    seed = seed * 134775813u + 1u;
    const std::uint64_t product = static_cast<std::uint64_t>(seed) * static_cast<std::uint32_t>(Range);
    return static_cast<std::int32_t>(product >> 32);
}
