// Encoding AVIF (libheif with its AV1 encoder) and JPEG XL (libjxl) into memory,
// for the same atomic save as the other formats.
#include <jxl/encode.h>
#include <jxl/thread_parallel_runner.h>
#include <libheif/heif.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "image_io/encoders.h"
#include "platform/threads/parallel.h"

namespace image_io {
namespace {

// Red-green-blue rows without padding, as both libraries take them.
std::vector<std::uint8_t> RgbRows(const TWin& image) {
    const int width = image.Width(), height = image.Height();
    std::vector<std::uint8_t> rgb(3 * static_cast<std::size_t>(width) * height);
    std::uint8_t* out = rgb.data();
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = image.PixelAddress(0, y);
        for (int x = 0; x < width; ++x, in += 3, out += 3) out[0] = in[2], out[1] = in[1], out[2] = in[0];
    }
    return rgb;
}

}  // namespace

bool EncodeAvif(const TWin& image, int quality, std::vector<std::uint8_t>& encoded) {
    struct ContextFreer {
        void operator()(heif_context* context) const { heif_context_free(context); }
    };
    struct EncoderFreer {
        void operator()(heif_encoder* encoder) const { heif_encoder_release(encoder); }
    };
    struct ImageFreer {
        void operator()(heif_image* picture) const { heif_image_release(picture); }
    };
    const std::unique_ptr<heif_context, ContextFreer> context(heif_context_alloc());
    if (!context) return false;
    heif_encoder* rawEncoder = nullptr;
    if (heif_context_get_encoder_for_format(context.get(), heif_compression_AV1, &rawEncoder).code != heif_error_Ok)
        return false;
    const std::unique_ptr<heif_encoder, EncoderFreer> encoder(rawEncoder);
    heif_encoder_set_lossy_quality(encoder.get(), quality);
    heif_image* rawPicture = nullptr;
    const int width = image.Width(), height = image.Height();
    if (heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &rawPicture).code != heif_error_Ok)
        return false;
    const std::unique_ptr<heif_image, ImageFreer> picture(rawPicture);
    if (heif_image_add_plane(picture.get(), heif_channel_interleaved, width, height, 8).code != heif_error_Ok) return false;
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(picture.get(), heif_channel_interleaved, &stride);
    if (!plane) return false;
    const std::vector<std::uint8_t> rgb = RgbRows(image);
    for (int y = 0; y < height; ++y)
        std::memcpy(plane + static_cast<std::ptrdiff_t>(y) * stride, &rgb[3 * static_cast<std::size_t>(width) * y], 3 * width);
    if (heif_context_encode_image(context.get(), picture.get(), encoder.get(), nullptr, nullptr).code != heif_error_Ok)
        return false;
    heif_writer writer{};
    writer.writer_api_version = 1;
    writer.write = [](heif_context*, const void* data, size_t size, void* target) {
        auto* bytes = static_cast<std::vector<std::uint8_t>*>(target);
        const auto* begin = static_cast<const std::uint8_t*>(data);
        bytes->insert(bytes->end(), begin, begin + size);
        return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
    };
    encoded.clear();
    return heif_context_write(context.get(), &writer, &encoded).code == heif_error_Ok && !encoded.empty();
}

bool EncodeJpegXl(const TWin& image, int quality, std::vector<std::uint8_t>& encoded) {
    struct EncoderFreer {
        void operator()(JxlEncoder* encoder) const { JxlEncoderDestroy(encoder); }
    };
    struct RunnerFreer {
        void operator()(void* runner) const { JxlThreadParallelRunnerDestroy(runner); }
    };
    const std::unique_ptr<JxlEncoder, EncoderFreer> encoder(JxlEncoderCreate(nullptr));
    const std::unique_ptr<void, RunnerFreer> runner(
        JxlThreadParallelRunnerCreate(nullptr, static_cast<std::size_t>(parallel::Threads())));
    if (!encoder || !runner) return false;
    JxlEncoder* e = encoder.get();
    const bool lossless = quality >= 100;
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = static_cast<std::uint32_t>(image.Width());
    info.ysize = static_cast<std::uint32_t>(image.Height());
    info.bits_per_sample = 8;
    info.num_color_channels = 3;
    info.uses_original_profile = lossless ? JXL_TRUE : JXL_FALSE;
    JxlColorEncoding srgb;
    JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
    if (JxlEncoderSetParallelRunner(e, JxlThreadParallelRunner, runner.get()) != JXL_ENC_SUCCESS ||
        JxlEncoderSetBasicInfo(e, &info) != JXL_ENC_SUCCESS || JxlEncoderSetColorEncoding(e, &srgb) != JXL_ENC_SUCCESS)
        return false;
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(e, nullptr);
    if (!settings) return false;
    // Quality as cjxl reads it: a Butteraugli distance, 1.0 at quality 90.
    const double distance = quality >= 30 ? 0.1 + (100 - quality) * 0.09 : 6.4 + std::pow(2.5, (30 - quality) / 5.0) / 6.25;
    if ((lossless ? JxlEncoderSetFrameLossless(settings, JXL_TRUE)
                  : JxlEncoderSetFrameDistance(settings, static_cast<float>(distance))) != JXL_ENC_SUCCESS)
        return false;
    const std::vector<std::uint8_t> rgb = RgbRows(image);
    const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    if (JxlEncoderAddImageFrame(settings, &format, rgb.data(), rgb.size()) != JXL_ENC_SUCCESS) return false;
    JxlEncoderCloseInput(e);
    encoded.assign(1 << 16, 0);
    std::size_t used = 0;
    for (;;) {
        std::uint8_t* next = encoded.data() + used;
        std::size_t available = encoded.size() - used;
        const JxlEncoderStatus status = JxlEncoderProcessOutput(e, &next, &available);
        used = static_cast<std::size_t>(next - encoded.data());
        if (status == JXL_ENC_SUCCESS) break;
        if (status != JXL_ENC_NEED_MORE_OUTPUT) return false;
        encoded.resize(encoded.size() * 2);
    }
    encoded.resize(used);
    return true;
}

}  // namespace image_io
