// Blend: the one rule for mixing a channel value into another in 128ths.
#pragma once

#include <array>
#include <cstdint>

namespace blend_detail {

// For weight w the arm multiplies Old by (128 - w) / 2^t and New by w / 2^t and
// shifts right by 7 - t, where 2^t is the largest power of two dividing w; no
// division happens at run time.
struct Arm {
    std::uint32_t oldFactor;
    std::uint32_t newFactor;
    int shift;
};

constexpr std::array<Arm, 129> MakeArms() {
    std::array<Arm, 129> arms{};
    arms[0] = {1, 0, 0};
    for (int w = 1; w <= 128; ++w) {
        int t = 0;
        while ((w >> (t + 1)) << (t + 1) == w) ++t;
        arms[w] = {static_cast<std::uint32_t>((128 - w) >> t), static_cast<std::uint32_t>(w >> t), 7 - t};
    }
    return arms;
}

inline constexpr std::array<Arm, 129> kArms = MakeArms();

}  // namespace blend_detail

// Mixes New into Old with Weight in 128ths (0 keeps Old, 128 takes New, anything
// outside 0..128 takes New). ClampNew >= 1 first pulls New into 0..255. The sum
// wraps in 32 bits and the shift rounds toward minus infinity, as the arms do.
inline std::int32_t Blend(std::int32_t Old, std::int32_t New, std::int32_t Weight, std::int32_t ClampNew) {
    if (ClampNew >= 1) {
        if (New >= 255) New = 255;
        else if (New < 0) New = 0;
    }
    if (static_cast<std::uint32_t>(Weight) > 128u) return New;
    const blend_detail::Arm arm = blend_detail::kArms[static_cast<std::uint32_t>(Weight)];
    const std::uint32_t sum = static_cast<std::uint32_t>(Old) * arm.oldFactor + static_cast<std::uint32_t>(New) * arm.newFactor;
    return static_cast<std::int32_t>(sum) >> arm.shift;
}
