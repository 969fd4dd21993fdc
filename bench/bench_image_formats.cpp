// Loading and saving a 24-megapixel photograph-like image as PNG and JPEG, beside
// a plain memcpy of the raster, Qt's reader and writer on their own, and
// ImageMagick's convert on the same files, so the ratios can be read off one run.
//   Load*/Save*       image_io, what the windows and lumarq-render do
//   QtRead*/QtWrite*  Qt's decoder alone (into its own image) and its encoder alone
//                     (from its native 32-bit layout, into memory)
//   Convert*          convert FILE null: (decode) and convert BMP FILE (encode),
//                     one thread, process start included
//   Load*/Library*    for HEIC, AVIF and JPEG XL: a 12-megapixel photo (made by
//                     heif-enc, avifenc and cjxl) through image_io, and through
//                     libheif or libjxl alone into their own RGB buffer, with the
//                     same threads
#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>

#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>
#include <libheif/heif.h>

#include <vector>

#include "bench/bench_common.h"
#include "image_io/image_file.h"
#include "platform/threads/parallel.h"

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

// The photo formats at 12 megapixels, each made once by its own encoder.
constexpr int kPhotoWidth = 4000, kPhotoHeight = 3000;
const std::string& PhotoSample(const char* extension) {
    std::string& path = Samples()[std::string("photo.") + extension];
    if (!path.empty()) return path;
    TWin photo(kPhotoWidth, kPhotoHeight);
    FillLikeAPhotograph(photo);
    const std::string png = Scratch("photo.png");
    image_io::SaveImageFile(photo, png);
    path = Scratch(extension);
    const std::string ext(extension);
    const std::string command = ext == "heic"   ? "heif-enc -q 80 -p preset=ultrafast -o " + path + " " + png
                                : ext == "avif" ? "avifenc -s 10 -j 2 " + png + " " + path
                                                : "cjxl -e 3 " + png + " " + path;
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) path.clear();
    unlink(png.c_str());
    return path;
}
std::int64_t PhotoFormatBytes() { return std::int64_t{3} * kPhotoWidth * kPhotoHeight; }

void LoadPhoto(benchmark::State& state, const char* extension) {
    const std::string& path = PhotoSample(extension);
    if (path.empty()) return state.SkipWithError("the encoder failed");
    TWin image(0, 0);
    for (auto _ : state) {
        image_io::LoadImageFile(path, image);
        benchmark::DoNotOptimize(image.Bits);
    }
    state.SetBytesProcessed(state.iterations() * PhotoFormatBytes());
}

void LibraryHeif(benchmark::State& state, const char* extension) {
    const std::string& path = PhotoSample(extension);
    if (path.empty()) return state.SkipWithError("the encoder failed");
    for (auto _ : state) {
        heif_context* context = heif_context_alloc();
        heif_image_handle* handle = nullptr;
        heif_image* image = nullptr;
        if (heif_context_read_from_file(context, path.c_str(), nullptr).code != heif_error_Ok ||
            heif_context_get_primary_image_handle(context, &handle).code != heif_error_Ok ||
            heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code != heif_error_Ok)
            state.SkipWithError("libheif failed");
        int stride = 0;
        if (image) benchmark::DoNotOptimize(heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride));
        heif_image_release(image);
        heif_image_handle_release(handle);
        heif_context_free(context);
    }
    state.SetBytesProcessed(state.iterations() * PhotoFormatBytes());
}

void LibraryJxl(benchmark::State& state, const char* extension) {
    const std::string& path = PhotoSample(extension);
    if (path.empty()) return state.SkipWithError("the encoder failed");
    for (auto _ : state) {
        // From the file, as libheif reads its own and image_io reads every file.
        std::vector<std::uint8_t> file;
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            std::fseek(f, 0, SEEK_END);
            file.resize(static_cast<std::size_t>(std::ftell(f)));
            std::fseek(f, 0, SEEK_SET);
            if (std::fread(file.data(), 1, file.size(), f) != file.size()) state.SkipWithError("cannot read");
            std::fclose(f);
        }
        JxlDecoder* decoder = JxlDecoderCreate(nullptr);
        void* runner = JxlThreadParallelRunnerCreate(nullptr, static_cast<std::size_t>(parallel::Threads()));
        JxlDecoderSetParallelRunner(decoder, JxlThreadParallelRunner, runner);
        JxlDecoderSubscribeEvents(decoder, JXL_DEC_FULL_IMAGE);
        JxlDecoderSetInput(decoder, file.data(), file.size());
        JxlDecoderCloseInput(decoder);
        const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
        std::vector<std::uint8_t> pixels;
        for (JxlDecoderStatus status; (status = JxlDecoderProcessInput(decoder)) != JXL_DEC_FULL_IMAGE;) {
            if (status != JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
                state.SkipWithError("libjxl failed");
                break;
            }
            std::size_t size = 0;
            JxlDecoderImageOutBufferSize(decoder, &format, &size);
            pixels.resize(size);
            JxlDecoderSetImageOutBuffer(decoder, &format, pixels.data(), size);
        }
        benchmark::DoNotOptimize(pixels.data());
        JxlThreadParallelRunnerDestroy(runner);
        JxlDecoderDestroy(decoder);
    }
    state.SetBytesProcessed(state.iterations() * PhotoFormatBytes());
}

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
BENCHMARK_CAPTURE(LoadPhoto, heic, "heic")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(LibraryHeif, heic, "heic")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(LoadPhoto, avif, "avif")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(LibraryHeif, avif, "avif")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(LoadPhoto, jxl, "jxl")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(LibraryJxl, jxl, "jxl")->Unit(benchmark::kMillisecond)->Iterations(3);
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
