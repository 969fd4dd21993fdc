// Small helpers shared by the raster tests.
#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <utility>

#include <gtest/gtest.h>

#include "raster/turned_copy.h"
#include "raster/win.h"

using Rgb = std::array<int, 3>;  // red, green, blue

inline Rgb PixelAt(const TWin& win, int x, int y) {
    const std::uint8_t* p = win.PixelAddress(x, y);
    return {p[2], p[1], p[0]};
}

inline void SetPixel(TWin& win, int x, int y, Rgb rgb) {
    std::uint8_t* p = win.PixelAddress(x, y);
    p[0] = static_cast<std::uint8_t>(rgb[2]);
    p[1] = static_cast<std::uint8_t>(rgb[1]);
    p[2] = static_cast<std::uint8_t>(rgb[0]);
}

// Pixels that differ from `background`, as (x, y) pairs.
inline std::set<std::pair<int, int>> PaintedPixels(const TWin& win, Rgb background) {
    std::set<std::pair<int, int>> painted;
    for (int y = 0; y < win.Height(); ++y)
        for (int x = 0; x < win.Width(); ++x)
            if (PixelAt(win, x, y) != background) painted.insert({x, y});
    return painted;
}

// Fills every pixel with a colour derived from its position, so moved pixels can be traced.
inline void FillWithCoordinates(TWin& win) {
    for (int y = 0; y < win.Height(); ++y)
        for (int x = 0; x < win.Width(); ++x) SetPixel(win, x, y, {x & 255, y & 255, (x * 7 + y * 13) & 255});
}

// Runs a test once per vector width of the turned copy (16, 8 and 1 pixels a
// step), so that every copy path runs on a processor that has the widest.
class CopyWidth : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { placement::CapCopyWidthForTesting(GetParam()); }
    void TearDown() override { placement::CapCopyWidthForTesting(16); }
};
