// Loading and saving a 24-megapixel photograph-like image as PNG and JPEG, beside
// a plain memcpy of the raster, Qt's reader and writer on their own, and
// ImageMagick's convert on the same files, so the ratios can be read off one run.
//   Load*/Save*       image_io, what the windows and lumarq-render do
//   QtRead*/QtWrite*  Qt's decoder alone (into its own image) and its encoder alone
//                     (from its native 32-bit layout, into memory)
//   Convert*          convert FILE null: (decode) and convert BMP FILE (encode),
//                     one thread, process start included
#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>

#include "bench/bench_common.h"
#include "image_io/image_file.h"

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

const TWin& Photo() {
    static TWin photo(kWidth, kHeight);
    static const bool filled = (FillLikeAPhotograph(photo), true);
    benchmark::DoNotOptimize(filled);
    return photo;
}

std::string Scratch(const char* extension) {
    return "/tmp/lumarq-bench-formats-" + std::to_string(getpid()) + "." + extension;
}

// The photo written once in each format, for the loads.
std::map<std::string, std::string>& Samples() {
    static std::map<std::string, std::string> paths;
    return paths;
}
const std::string& Sample(const char* extension) {
    std::string& path = Samples()[extension];
    if (path.empty()) {
        path = Scratch(extension);
        image_io::SaveImageFile(Photo(), path);
    }
    return path;
}

std::int64_t PhotoBytes() { return static_cast<std::int64_t>(Photo().Stride) * kHeight; }

void Memcpy(benchmark::State& state) { CopyRasterBytes(state, Photo()); }

void Load(benchmark::State& state, const char* extension) {
    const std::string& path = Sample(extension);
    TWin image(0, 0);
    for (auto _ : state) {
        image_io::LoadImageFile(path, image);
        benchmark::DoNotOptimize(image.Bits);
    }
    state.SetBytesProcessed(state.iterations() * PhotoBytes());
}

void QtRead(benchmark::State& state, const char* extension) {
    const QString path = QString::fromStdString(Sample(extension));
    for (auto _ : state) {
        QImage image = QImageReader(path).read();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetBytesProcessed(state.iterations() * PhotoBytes());
}

void Save(benchmark::State& state, const char* extension) {
    const std::string path = Scratch(extension) + ".out." + extension;
    for (auto _ : state) benchmark::DoNotOptimize(image_io::SaveImageFile(Photo(), path).ok);
    unlink(path.c_str());
    state.SetBytesProcessed(state.iterations() * PhotoBytes());
}

void QtWrite(benchmark::State& state, const char* format) {
    const QImage native = QImage(Photo().Bits, kWidth, kHeight, Photo().Stride, QImage::Format_BGR888)
                              .convertToFormat(QImage::Format_RGB32);
    for (auto _ : state) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, format);
        if (QByteArray(format) == "jpeg") writer.setQuality(image_io::kDefaultQuality);  // PNG reads it as compression
        benchmark::DoNotOptimize(writer.write(native));
    }
    state.SetBytesProcessed(state.iterations() * PhotoBytes());
}

void ConvertCommand(benchmark::State& state, const std::string& command) {
    for (auto _ : state)
        if (std::system(("MAGICK_THREAD_LIMIT=1 " + command + " 2>/dev/null").c_str()) != 0)
            state.SkipWithError("convert failed");
    state.SetBytesProcessed(state.iterations() * PhotoBytes());
}

void ConvertRead(benchmark::State& state, const char* extension) {
    ConvertCommand(state, "convert " + Sample(extension) + " null:");
}

void ConvertWrite(benchmark::State& state, const char* extension) {
    const std::string out = Scratch(extension) + ".convert." + extension;
    // -quality means zlib level and filter to ImageMagick's PNG writer: JPEG only.
    const std::string quality = std::string(extension) == "jpg" ? " -quality 92 " : " ";
    ConvertCommand(state, "convert " + Sample("bmp") + quality + out);
    unlink(out.c_str());
}

BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Load, png, "png")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(QtRead, png, "png")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(ConvertRead, png, "png")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(Load, jpg, "jpg")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(QtRead, jpg, "jpg")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(ConvertRead, jpg, "jpg")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(Save, png, "png")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(QtWrite, png, "png")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(ConvertWrite, png, "png")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(Save, jpg, "jpg")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(QtWrite, jpg, "jpeg")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(ConvertWrite, jpg, "jpg")->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& sample : Samples()) unlink(sample.second.c_str());
    return 0;
}
