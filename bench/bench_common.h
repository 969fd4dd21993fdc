// What the render benchmarks share: photograph-like content and the plain
// memcpy every figure is compared with.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "raster/win.h"

// Smooth gradients with noise, so that LED cells are both lit and unlit and
// neighbouring samples differ.
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

// A plain copy of the raster's bytes: the yardstick for every ratio.
inline void CopyRasterBytes(benchmark::State& state, const TWin& source) {
    const std::size_t bytes = static_cast<std::size_t>(source.Stride) * source.Height();
    std::vector<std::uint8_t> target(bytes);
    for (auto _ : state) {
        std::memcpy(target.data(), source.Bits, bytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
