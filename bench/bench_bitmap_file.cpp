// Loading, saving and clearing a 3840 x 2160 raster, each beside a plain memcpy or
// memset of the same number of bytes, so the ratios can be read off one run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "raster/win.h"

namespace {

constexpr int kWidth = 3840, kHeight = 2160;

// A 24-bit file in /tmp (normally in the page cache after the first read).
const std::string& SampleFile() {
    static const std::string path = [] {
        std::string name = "/tmp/lumarq-bench-" + std::to_string(getpid()) + ".bmp";
        TWin win(kWidth, kHeight);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                std::uint8_t* p = win.PixelAddress(x, y);
                p[0] = static_cast<std::uint8_t>(x), p[1] = static_cast<std::uint8_t>(y), p[2] = static_cast<std::uint8_t>(x + y);
            }
        win.SaveToFile(name);
        return name;
    }();
    return path;
}

std::size_t ImageBytes() { return static_cast<std::size_t>((3 * kWidth + 3) / 4 * 4) * kHeight; }

void LoadFromFile(benchmark::State& state) {
    const std::string& path = SampleFile();
    TWin win(1, 1);
    for (auto _ : state) {
        win.LoadFromFile(path);
        benchmark::DoNotOptimize(win.Bits);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * ImageBytes()));
}
BENCHMARK(LoadFromFile)->Unit(benchmark::kMillisecond);

void SaveToFile(benchmark::State& state) {
    TWin win(1, 1);
    win.LoadFromFile(SampleFile());
    const std::string out = SampleFile() + ".out.bmp";
    for (auto _ : state) benchmark::DoNotOptimize(win.SaveToFile(out).ok);
    unlink(out.c_str());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * ImageBytes()));
}
BENCHMARK(SaveToFile)->Unit(benchmark::kMillisecond);

void MemcpySameBytes(benchmark::State& state) {
    std::vector<std::uint8_t> from(ImageBytes(), 1), to(ImageBytes(), 2);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), to.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * ImageBytes()));
}
BENCHMARK(MemcpySameBytes)->Unit(benchmark::kMillisecond);

void ClearWithFillBox(benchmark::State& state) {
    TWin win(kWidth, kHeight);
    for (auto _ : state) {
        win.FillBox(0, 0, kWidth - 1, kHeight - 1, 0, 0, 0, 128);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * ImageBytes()));
}
BENCHMARK(ClearWithFillBox)->Unit(benchmark::kMillisecond);

void MemsetSameBytes(benchmark::State& state) {
    std::vector<std::uint8_t> bytes(ImageBytes(), 1);
    for (auto _ : state) {
        std::memset(bytes.data(), 0, bytes.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * ImageBytes()));
}
BENCHMARK(MemsetSameBytes)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    unlink(SampleFile().c_str());
    return 0;
}
