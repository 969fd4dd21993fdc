// The whole render (clear, placement, pattern) of a 4K image, beside a plain
// memcpy of the same raster in the same run: compare the ratios, not the times.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/bench_common.h"
#include "raster/render.h"

namespace {

constexpr int kWidth = 3840, kHeight = 2160;

TWin& Source() {
    static TWin image(kWidth, kHeight);
    static const bool filled = (FillLikeAPhotograph(image), true);
    (void)filled;
    return image;
}

void Memcpy(benchmark::State& state) { CopyRasterBytes(state, Source()); }

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
