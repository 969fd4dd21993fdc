// A 60-frame 1920 x 1080 sweep (pattern 48, X from 0 to -600) into lossless WebP,
// GIF and MP4: (a) the encoder alone on 60 frames rendered beforehand, (b) the
// whole export, renders and encoder together. The export's counter `export_per_encoder`
// is b / a: near 1 when the renders hide behind the encoder on the other cores.
// Memory is counted twice, in frames of 1920 x 1080 x 3 bytes: the pipeline's own
// rasters at their most (`pipeline_frames`), and the growth of the process's
// resident set over the export, sampled every 2 milliseconds, encoder included
// (`resident_frames`). Wall-clock times, as the user waits.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
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

// The encoder alone's seconds for one output, by kind, for the export to compare with.
std::map<std::string, double>& EncoderSeconds() {
    static std::map<std::string, double> seconds;
    return seconds;
}

void EncoderAlone(benchmark::State& state) {
    const std::string kind = kKinds[state.range(0)];
    const motion::ExportRequest request = Request(kind);
    std::vector<std::unique_ptr<TWin>> frames;
    TWin source(kWidth, kHeight);
    FillLikeAPhotograph(source);
    for (int i = 0; i < kFrames; ++i) {
        frames.push_back(std::make_unique<TWin>(kWidth, kHeight));
        RenderPipeline(*frames.back(), source, request.sweep.Frame(i));
    }
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        SaveResult result;
        std::vector<std::string> notes;
        auto writer = motion::OpenAnimation(request.output, request.options, result, notes);
        for (int i = 0; writer && result && i < kFrames; ++i) result = writer->Add(*frames[i]);
        if (writer && result) result = writer->Finish();
        if (!writer || !result) state.SkipWithError(result.Message().c_str());
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    EncoderSeconds()[kind] = total / static_cast<double>(state.iterations());
    state.counters["frames_per_second"] = kFrames / EncoderSeconds()[kind];
}

void Export(benchmark::State& state) {
    const std::string kind = kKinds[state.range(0)];
    const motion::ExportRequest request = Request(kind);
    const TWin& source = Source();
    double total = 0, pipelineBytes = 0, residentGrowth = 0;
    for (auto _ : state) {
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
        SaveResult result;
        std::vector<std::string> notes;
        auto writer = motion::OpenAnimation(request.output, request.options, result, notes);
        motion::ExportStats stats;
        if (writer) result = motion::ExportSweep(source, request, *writer, {}, nullptr, &stats);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        done.store(true);
        sampler.join();
        if (!writer || !result) state.SkipWithError(result.Message().c_str());
        pipelineBytes = std::max(pipelineBytes, static_cast<double>(stats.mostRasterBytes));
        residentGrowth = std::max(residentGrowth, static_cast<double>(most.load() - before));
    }
    const double seconds = total / static_cast<double>(state.iterations());
    state.counters["frames_per_second"] = kFrames / seconds;
    if (EncoderSeconds().count(kind)) state.counters["export_per_encoder"] = seconds / EncoderSeconds()[kind];
    state.counters["pipeline_frames"] = pipelineBytes / kFrameBytes;
    state.counters["resident_frames"] = residentGrowth / kFrameBytes;
}

}  // namespace

// The encoders first, for the exports to compare with; each output a few times.
BENCHMARK(EncoderAlone)->DenseRange(0, 2)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Export)->DenseRange(0, 2)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
