// A 60-frame 1920 x 1080 sweep (pattern 48, X from 0 to -600) into lossless WebP,
// GIF and MP4: (a) the encoder alone on 60 frames rendered beforehand, (b) the
// whole export, renders and encoder together; `export_per_encoder` is b / a, near 1
// when the renders hide behind the encoder on the other cores. Memory in frames of
// 1920 x 1080 x 3 bytes: the pipeline's own rasters at their most
// (`pipeline_frames`), and the growth of the process's resident set during (a)
// and during (b) (`encoder_resident_frames`, `export_resident_frames`): what the
// export adds to the encoder's own is the difference. Wall-clock times.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_common.h"
#include "motion/export.h"
#include "raster/render.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080, kFrames = 60;
constexpr double kFrameBytes = 3.0 * kWidth * kHeight;
const char* const kKinds[] = {"webp", "gif", "mp4"};

const TWin& Source() {
    static TWin image(kWidth, kHeight);
    static const bool filled = (FillLikeAPhotograph(image), true);
    (void)filled;
    return image;
}

motion::ExportRequest Request(const std::string& kind) {
    motion::ExportRequest request;
    request.sweep.from.Pattern = request.sweep.to.Pattern = 48;
    request.sweep.to.XOffset = -600;
    request.sweep.frames = kFrames;
    request.options = {kWidth, kHeight, kFrames, 25, 0, 0, false};
    char name[] = "/tmp/lumarq-bench-motion-XXXXXX";
    static const std::string folder = ::mkdtemp(name) ? name : "/tmp";
    request.output = folder + "/sweep." + kind;
    return request;
}

long long ResidentBytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
    return 0;
}

// Runs `work` and returns its seconds; `growth` takes the most the resident set
// grew meanwhile, sampled every 2 milliseconds.
template <typename Work>
double Measure(Work&& work, double& growth) {
    const long long before = ResidentBytes();
    std::atomic<bool> done{false};
    std::atomic<long long> most{before};
    std::thread sampler([&] {
        while (!done.load()) {
            if (const long long now = ResidentBytes(); now > most.load()) most.store(now);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    work();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    done.store(true);
    sampler.join();
    growth = std::max(growth, static_cast<double>(most.load() - before));
    return seconds;
}

// Each iteration times the encoder alone and then the whole export one after the
// other, so that both meet the same load from anything else on the machine. The
// reported time is the export's.
void SweepToAnimation(benchmark::State& state) {
    const std::string kind = kKinds[state.range(0)];
    const motion::ExportRequest request = Request(kind);
    const TWin& source = Source();
    std::vector<std::unique_ptr<TWin>> frames;
    for (int i = 0; i < kFrames; ++i) {
        frames.push_back(std::make_unique<TWin>(kWidth, kHeight));
        TWin copy(kWidth, kHeight);
        FillLikeAPhotograph(copy);
        RenderPipeline(*frames.back(), copy, request.sweep.Frame(i));
    }
    double encoderSeconds = 0, exportSeconds = 0, encoderGrowth = 0, exportGrowth = 0, pipelineBytes = 0;
    for (auto _ : state) {
        SaveResult result;
        std::vector<std::string> notes;
        encoderSeconds += Measure(
            [&] {
                auto writer = motion::OpenAnimation(request.output, request.options, result, notes);
                for (int i = 0; writer && result && i < kFrames; ++i) result = writer->Add(*frames[i]);
                if (writer && result) result = writer->Finish();
            },
            encoderGrowth);
        if (!result) state.SkipWithError(result.Message().c_str());
        motion::ExportStats stats;
        const double seconds = Measure(
            [&] {
                auto writer = motion::OpenAnimation(request.output, request.options, result, notes);
                if (writer) result = motion::ExportSweep(source, request, *writer, {}, nullptr, &stats);
            },
            exportGrowth);
        if (!result) state.SkipWithError(result.Message().c_str());
        exportSeconds += seconds;
        state.SetIterationTime(seconds);
        pipelineBytes = std::max(pipelineBytes, static_cast<double>(stats.mostRasterBytes));
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["encoder_ms"] = 1000 * encoderSeconds / iterations;
    state.counters["export_ms"] = 1000 * exportSeconds / iterations;
    state.counters["export_per_encoder"] = exportSeconds / encoderSeconds;
    state.counters["pipeline_frames"] = pipelineBytes / kFrameBytes;
    state.counters["encoder_resident_frames"] = encoderGrowth / kFrameBytes;
    state.counters["export_resident_frames"] = exportGrowth / kFrameBytes;
}

}  // namespace

// WebP, GIF, MP4.
BENCHMARK(SweepToAnimation)->DenseRange(0, 2)->Iterations(3)->Unit(benchmark::kMillisecond)->UseManualTime();

BENCHMARK_MAIN();
