// JPEG XL through libjxl: the first frame, turned upright by the decoder itself,
// its size checked before any pixel buffer is asked for.
#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>
#include <jxl/version.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "image_io/image_file.h"
#include "image_io/pixels.h"
#include "platform/gdi/gdi.h"
#include "platform/threads/parallel.h"

namespace image_io {
namespace {

struct DecoderFreer {
    void operator()(JxlDecoder* decoder) const { JxlDecoderDestroy(decoder); }
};
struct RunnerFreer {
    void operator()(void* runner) const { JxlThreadParallelRunnerDestroy(runner); }
};

// 0.8 dropped the pixel format argument of the colour queries.
#if JPEGXL_NUMERIC_VERSION < JPEGXL_COMPUTE_NUMERIC_VERSION(0, 8, 0)
#define LUMARQ_JXL_FORMAT nullptr,
#else
#define LUMARQ_JXL_FORMAT
#endif

// The colours of the decoded samples: coded primaries and curves where the file
// names ones we know, its ICC profile otherwise.
colour::Source ColourOf(JxlDecoder* decoder) {
    colour::Source source;
    JxlColorEncoding encoding{};
    if (JxlDecoderGetColorAsEncodedProfile(decoder, LUMARQ_JXL_FORMAT JXL_COLOR_PROFILE_TARGET_DATA, &encoding) ==
            JXL_DEC_SUCCESS &&
        encoding.white_point == JXL_WHITE_POINT_D65 && encoding.transfer_function != JXL_TRANSFER_FUNCTION_GAMMA &&
        encoding.transfer_function != JXL_TRANSFER_FUNCTION_UNKNOWN && encoding.transfer_function != JXL_TRANSFER_FUNCTION_DCI) {
        if (encoding.color_space == JXL_COLOR_SPACE_GRAY && encoding.transfer_function == JXL_TRANSFER_FUNCTION_SRGB)
            return source;
        if (encoding.color_space == JXL_COLOR_SPACE_RGB && encoding.primaries != JXL_PRIMARIES_CUSTOM) {
            source.coded = true;
            source.primaries = encoding.primaries == JXL_PRIMARIES_P3 ? 12 : static_cast<int>(encoding.primaries);
            source.transfer = static_cast<int>(encoding.transfer_function);
            return source;
        }
    }
    std::size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, LUMARQ_JXL_FORMAT JXL_COLOR_PROFILE_TARGET_DATA, &size) == JXL_DEC_SUCCESS &&
        size > 0) {
        source.icc.resize(size);
        if (JxlDecoderGetColorAsICCProfile(decoder, LUMARQ_JXL_FORMAT JXL_COLOR_PROFILE_TARGET_DATA, source.icc.data(),
                                           size) != JXL_DEC_SUCCESS)
            source.icc.clear();
    }
    return source;
}

// The common picture, 8-bit sRGB without alpha, is decoded straight into the
// raster's rows (4-byte aligned, as libjxl can pad them), red and blue then swapped
// in place: no second buffer, no second pass over memory.
void SwapRedAndBlue(TWin& image) {
    const int width = image.Width(), height = image.Height();
    auto rows = [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            std::uint8_t* p = image.PixelAddress(0, y);
            for (int x = 0; x < width; ++x, p += 3) std::swap(p[0], p[2]);
        }
    };
    constexpr int kBand = 64;
    if (static_cast<long long>(width) * height < parallel::kFewestPixelsToShare) return rows(0, height);
    parallel::RunOn(parallel::Threads(), [&] {
        parallel::ForEach((height + kBand - 1) / kBand,
                          [&](int band) { rows(band * kBand, std::min(height, (band + 1) * kBand)); });
    });
}

}  // namespace

void LoadJpegXl(const std::vector<std::uint8_t>& file, TWin& image) {
    auto fail = [](const std::string& why) { throw LoadError(DamagedImageError("JPEG XL", why)); };
    const std::unique_ptr<JxlDecoder, DecoderFreer> decoder(JxlDecoderCreate(nullptr));
    const std::unique_ptr<void, RunnerFreer> runner(
        JxlThreadParallelRunnerCreate(nullptr, static_cast<std::size_t>(parallel::Threads())));
    if (!decoder || !runner) throw LoadError(kOutOfMemoryError);
    JxlDecoder* d = decoder.get();
    if (JxlDecoderSubscribeEvents(d, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetParallelRunner(d, JxlThreadParallelRunner, runner.get()) != JXL_DEC_SUCCESS ||
        JxlDecoderSetKeepOrientation(d, JXL_FALSE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetUnpremultiplyAlpha(d, JXL_TRUE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(d, file.data(), file.size()) != JXL_DEC_SUCCESS)
        throw LoadError(kOutOfMemoryError);
    JxlDecoderCloseInput(d);

    JxlBasicInfo info{};
    JxlPixelFormat format{};
    colour::Source source;
    // Not zeroed: a file that declares a large picture and then ends costs no
    // more than the pages its decoded part touches.
    std::unique_ptr<std::uint8_t[]> buffer;
    std::size_t bufferSize = 0;
    DecodedPixels pixels;
    TWin direct(0, 0);  // the raster the decoder writes into, on the direct path
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(d);
        if (status == JXL_DEC_ERROR) fail("the decoder refused it");
        if (status == JXL_DEC_NEED_MORE_INPUT) fail("the file ends early");
        if (status == JXL_DEC_SUCCESS) fail("no picture in it");
        if (status == JXL_DEC_BASIC_INFO) {
            if (JxlDecoderGetBasicInfo(d, &info) != JXL_DEC_SUCCESS) fail("no header");
            CheckPixelCount(info.xsize, info.ysize);
            pixels.model = info.num_color_channels == 1 ? colour::Model::Grey : colour::Model::Rgb;
            pixels.alpha = info.alpha_bits > 0;
            pixels.bytesPerSample = info.bits_per_sample > 8 ? 2 : 1;
            format = {static_cast<std::uint32_t>((info.num_color_channels == 1 ? 1 : 3) + (pixels.alpha ? 1 : 0)),
                      pixels.bytesPerSample == 2 ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
            // Asked before the decoder sets up its own buffers for the whole frame.
            if (!platform::gdi::ImageAllocationAllowed(static_cast<std::size_t>(info.xsize) * info.ysize *
                                                       format.num_channels * pixels.bytesPerSample))
                throw LoadError(kOutOfMemoryError);
        } else if (status == JXL_DEC_COLOR_ENCODING) {
            source = ColourOf(d);
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            std::size_t size = 0;
            if (JxlDecoderImageOutBufferSize(d, &format, &size) != JXL_DEC_SUCCESS) fail("no pixel layout");
            // Upright: a turned picture swaps its sides.
            const bool turned = info.orientation >= JXL_ORIENT_TRANSPOSE;
            pixels.width = static_cast<int>(turned ? info.ysize : info.xsize);
            pixels.height = static_cast<int>(turned ? info.xsize : info.ysize);
            if (!pixels.alpha && pixels.bytesPerSample == 1 && pixels.model == colour::Model::Rgb &&
                colour::IsSrgb(source)) {
                TWin(pixels.width, pixels.height).Swap(direct);
                if (!direct.HasPixels()) throw LoadError(kOutOfMemoryError);
                format.align = 4;
                const std::size_t rasterSize = static_cast<std::size_t>(direct.Stride) * direct.Height();
                if (JxlDecoderImageOutBufferSize(d, &format, &size) != JXL_DEC_SUCCESS || size > rasterSize ||
                    JxlDecoderSetImageOutBuffer(d, &format, direct.Bits, size) != JXL_DEC_SUCCESS)
                    fail("no pixel layout");
                continue;
            }
            if (!platform::gdi::ImageAllocationAllowed(size)) throw LoadError(kOutOfMemoryError);
            buffer.reset(new std::uint8_t[size]);
            bufferSize = size;
            if (JxlDecoderSetImageOutBuffer(d, &format, buffer.get(), size) != JXL_DEC_SUCCESS) fail("no pixel layout");
        } else if (status == JXL_DEC_FULL_IMAGE) {
            break;  // the first frame is the picture
        }
    }
    if (direct.HasPixels()) {
        SwapRedAndBlue(direct);
        image.Swap(direct);
        return;
    }
    if (!buffer || pixels.height <= 0) fail("no picture in it");
    pixels.data = buffer.get();
    pixels.stride = bufferSize / static_cast<std::size_t>(pixels.height);
    TWin result(pixels.width, pixels.height);
    if (!result.HasPixels()) throw LoadError(kOutOfMemoryError);
    PutPixels(pixels, source, result);
    image.Swap(result);
}

}  // namespace image_io
