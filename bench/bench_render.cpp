// The whole render (clear, placement, pattern) of a 4K image on one and on two
// threads, beside a plain single-threaded memcpy of the same raster in the same
// run: compare the ratios, not the times. Wall-clock times, as the user waits.
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
    const RenderThreads threads{static_cast<int>(state.range(2))};
    for (auto _ : state) {
        RenderPipeline(work, source, settings, threads);
        benchmark::DoNotOptimize(work.Bits);
        benchmark::ClobberMemory();
    }
}

// Where sharing out starts to pay: small rasters on one and on two threads, each
// shared whatever its size (the pipeline keeps those under 256 K pixels on one).
void SmallRender(benchmark::State& state) {
    TWin source(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    FillLikeAPhotograph(source);
    TWin work(source.Width(), source.Height());
    RenderSettings settings;
    settings.Pattern = 33;
    settings.Angle = 30;
    const RenderThreads threads{static_cast<int>(state.range(2)), 0};
    for (auto _ : state) {
        RenderPipeline(work, source, settings, threads);
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(SmallRender)->ArgNames({"width", "height", "threads"})
    ->ArgsProduct({{256, 512, 1024}, {256}, {1, 2}})->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond);
// threads 0: every core, the default.
BENCHMARK(Render)->ArgNames({"pattern", "angle", "threads"})->ArgsProduct({{13, 33}, {0, 30, 45, 90, 360}, {1, 2}})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
