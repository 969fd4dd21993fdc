// The program's pseudo-random generator: a 32-bit linear congruential sequence
// that starts from seed 0 in every process and is never reseeded, so the noise
// effects draw the same numbers on every start.
#pragma once

#include <cstdint>

// A number from 0 to Range - 1 (Range taken as unsigned); advances the seed.
std::int32_t Random(std::int32_t Range);
