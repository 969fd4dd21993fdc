// Benchmark content that behaves like a photograph for the render: smooth
// gradients with noise, so that LED cells are both lit and unlit and neighbouring
// samples differ.
#pragma once

#include <cstdint>
#include <random>

#include "raster/win.h"

inline void FillLikeAPhotograph(TWin& image) {
    const int width = image.Width(), height = image.Height();
    std::mt19937 random(7);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = image.PixelAddress(0, y);
        for (int x = 0; x < width; ++x, p += 3) {
            const int noise = static_cast<int>(random() % 48);
            p[0] = static_cast<std::uint8_t>((x * 255 / width + noise) & 255);
            p[1] = static_cast<std::uint8_t>((y * 255 / height + noise) & 255);
            p[2] = static_cast<std::uint8_t>(((x + y) * 128 / height + noise) & 255);
        }
    }
}
