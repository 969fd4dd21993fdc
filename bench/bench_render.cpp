// The whole render (clear, placement, pattern) of a 4K image, beside a plain
// memcpy of the same raster in the same run: compare the ratios, not the times.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "raster/render.h"

namespace {

constexpr int kWidth = 3840, kHeight = 2160;

// A photograph-like source: smooth gradients with noise, bright and dark parts.
TWin& Source() {
    static TWin image(kWidth, kHeight);
    static const bool filled = [] {
        std::mt19937 random(7);
        for (int y = 0; y < kHeight; ++y) {
            std::uint8_t* p = image.PixelAddress(0, y);
            for (int x = 0; x < kWidth; ++x, p += 3) {
                const int noise = static_cast<int>(random() % 48);
                p[0] = static_cast<std::uint8_t>((x * 255 / kWidth + noise) & 255);
                p[1] = static_cast<std::uint8_t>((y * 255 / kHeight + noise) & 255);
                p[2] = static_cast<std::uint8_t>(((x + y) * 128 / kHeight + noise) & 255);
            }
        }
        return true;
    }();
    (void)filled;
    return image;
}

void Memcpy(benchmark::State& state) {
    TWin& source = Source();
    const std::size_t bytes = static_cast<std::size_t>(source.Stride) * kHeight;
    std::vector<std::uint8_t> target(bytes);
    for (auto _ : state) {
        std::memcpy(target.data(), source.Bits, bytes);
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void Render(benchmark::State& state) {
    TWin& source = Source();
    TWin work(kWidth, kHeight);
    RenderSettings settings;
    settings.Pattern = static_cast<std::int32_t>(state.range(0));
    settings.Angle = static_cast<std::int32_t>(state.range(1));
    for (auto _ : state) {
        RenderPipeline(work, source, settings);
        benchmark::DoNotOptimize(work.Bits);
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(Render)->ArgNames({"pattern", "angle"})->ArgsProduct({{13, 33}, {0, 30, 45, 90, 360}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
