// Cost of each pattern on a 4K working raster, against a plain copy of the same bytes.
//
// Every slider move re-renders the whole raster, so each pattern is timed alone on
// a freshly restored image. The restore is itself a plain memcpy of the raster; it
// is timed separately in the same iteration and each pattern reports its cost as a
// multiple of it ("x_memcpy"), which holds up better than absolute times on a
// shared machine. BM_Memcpy times the copy on its own for reference.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "raster/win.h"

namespace {

constexpr int kWidth = 3840, kHeight = 2160;

// A diagonal colour gradient with noise: at the default detector (160) large parts
// are lit and large parts unlit, and neighbouring cells differ.
TWin& Image() {
    static TWin* image = [] {
        auto* win = new TWin(kWidth, kHeight);
        std::mt19937 random(7);
        std::uniform_int_distribution<int> noise(-40, 40);
        for (int y = 0; y < kHeight; ++y) {
            std::uint8_t* p = win->PixelAddress(0, y);
            for (int x = 0; x < kWidth; ++x, p += 3) {
                p[0] = static_cast<std::uint8_t>(std::clamp((x + y) * 255 / (kWidth + kHeight) + noise(random), 0, 255));
                p[1] = static_cast<std::uint8_t>(std::clamp(y * 255 / kHeight + noise(random), 0, 255));
                p[2] = static_cast<std::uint8_t>(std::clamp(x * 255 / kWidth + noise(random), 0, 255));
            }
        }
        return win;
    }();
    return *image;
}

std::size_t RasterBytes(const TWin& win) { return static_cast<std::size_t>(win.Stride) * win.Height(); }

using Clock = std::chrono::steady_clock;

void BM_Memcpy(benchmark::State& state) {
    const TWin& image = Image();
    TWin work(kWidth, kHeight);
    for (auto _ : state) {
        std::memcpy(work.Bits, image.Bits, RasterBytes(image));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * RasterBytes(image)));
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

void BM_ApplyPattern(benchmark::State& state) {
    const int pattern = static_cast<int>(state.range(0));
    const TWin& image = Image();
    TWin work(kWidth, kHeight);
    double copySeconds = 0, patternSeconds = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        std::memcpy(work.Bits, image.Bits, RasterBytes(image));
        benchmark::ClobberMemory();
        const auto t1 = Clock::now();
        // The render pipeline's arguments with its initial colour sliders.
        work.ApplyPattern(pattern, 160, 255, 0, 0, 255 / 8, 0, 0, 0, 0, 0, -1, -2, -3, -4);
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        const double copy = std::chrono::duration<double>(t1 - t0).count();
        const double draw = std::chrono::duration<double>(t2 - t1).count();
        copySeconds += copy;
        patternSeconds += draw;
        state.SetIterationTime(draw);
    }
    state.counters["x_memcpy"] = copySeconds > 0 ? patternSeconds / copySeconds : 0;
}
// A fixed number of iterations: the coarse grids take a fraction of the restore
// copy, so a minimum measured time would run thousands of untimed copies.
BENCHMARK(BM_ApplyPattern)->DenseRange(0, 65)->Iterations(100)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
