// The rotated placement on a 4K image, beside a plain memcpy of the same raster:
// the panel's settings at angle 0 (row copy) and at other angles (turned scan).
#include <benchmark/benchmark.h>

#include <cstring>

#include "raster/render.h"
#include "raster/win.h"

namespace {

constexpr int kWidth = 3840, kHeight = 2160;

struct Images {
    TWin source{kWidth, kHeight};
    TWin work{kWidth, kHeight};
    Images() {
        for (int y = 0; y < kHeight; ++y) {
            std::uint8_t* p = source.PixelAddress(0, y);
            for (int x = 0; x < kWidth; ++x, p += 3) {
                p[0] = static_cast<std::uint8_t>(x);
                p[1] = static_cast<std::uint8_t>(y);
                p[2] = static_cast<std::uint8_t>(x ^ y);
            }
        }
    }
};

Images& Shared() {
    static Images images;
    return images;
}

void Place(Images& images, int angle) {
    TWin& s = images.source;
    images.work.PlaceRotated(s, s.Width() / 2, s.Height() / 2, static_cast<float>(angle), 1.0f, 1.0f, 0.0f, 0, 0,
                             -256, 0, 1.0f, 0.0f, 0, 0, 0, 0, 1, 0, 0, 0, 0);
}

void SetBytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * Shared().source.Stride * kHeight);
}

void BM_Memcpy(benchmark::State& state) {
    Images& images = Shared();
    const std::size_t bytes = static_cast<std::size_t>(images.source.Stride) * kHeight;
    for (auto _ : state) {
        std::memcpy(images.work.Bits, images.source.Bits, bytes);
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

void BM_Placement(benchmark::State& state) {
    Images& images = Shared();
    for (auto _ : state) {
        Place(images, static_cast<int>(state.range(0)));
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_Placement)->Arg(0)->Arg(30)->Arg(90)->Arg(360)->Unit(benchmark::kMillisecond);

void BM_ClearAndPlacement(benchmark::State& state) {
    Images& images = Shared();
    for (auto _ : state) {
        images.work.FillBox(0, 0, kWidth - 1, kHeight - 1, 0, 0, 0, 128);
        Place(images, static_cast<int>(state.range(0)));
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_ClearAndPlacement)->Arg(0)->Arg(30)->Unit(benchmark::kMillisecond);

// The whole pipeline; its pattern step is whatever ApplyPattern does at pattern 13.
void BM_RenderPipeline(benchmark::State& state) {
    Images& images = Shared();
    RenderSettings settings;
    settings.Angle = static_cast<int>(state.range(0));
    for (auto _ : state) {
        RenderPipeline(images.work, images.source, settings);
        benchmark::ClobberMemory();
    }
    SetBytes(state);
}
BENCHMARK(BM_RenderPipeline)->Arg(0)->Arg(30)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
