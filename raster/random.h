// The program's pseudo-random generator: a 32-bit linear congruential sequence
// that starts from seed 0 in every process and is never reseeded, so the noise
// effects draw the same numbers on every start.
#pragma once

#include <cstdint>

namespace random_detail {
extern std::uint32_t seed;  // process-wide, starts at 0
}

// A number from 0 to Range - 1 (Range taken as unsigned); advances the seed.
// Inline: the noise effects call it for every pixel.
inline std::int32_t Random(std::int32_t Range) {
    random_detail::seed = random_detail::seed * 134775813u + 1u;
    const std::uint64_t product = static_cast<std::uint64_t>(random_detail::seed) * static_cast<std::uint32_t>(Range);
    return static_cast<std::int32_t>(product >> 32);
}
