// HEIC and AVIF through libheif: the primary image, with the file's own turns,
// mirrors and crops (which libheif applies), its colour profile or coded colours.
#include <libheif/heif.h>

#include <cmath>
#include <memory>

#include "image_io/image_file.h"
#include "image_io/pixels.h"
#include "platform/gdi/gdi.h"

namespace image_io {
namespace {

struct ContextFreer {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleFreer {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageFreer {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsFreer {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

colour::Source ColourOf(const heif_image_handle* handle) {
    colour::Source source;
    switch (heif_image_handle_get_color_profile_type(handle)) {
        case heif_color_profile_type_prof:
        case heif_color_profile_type_rICC: {
            const std::size_t size = heif_image_handle_get_raw_color_profile_size(handle);
            source.icc.resize(size);
            if (size == 0 || heif_image_handle_get_raw_color_profile(handle, source.icc.data()).code != heif_error_Ok)
                source.icc.clear();
            break;
        }
        case heif_color_profile_type_nclx: {
            heif_color_profile_nclx* nclx = nullptr;
            // Unknown primaries are an error that still hands over the profile: free it either way.
            if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code == heif_error_Ok && nclx) {
                source.coded = true;
                source.primaries = nclx->color_primaries;
                source.transfer = nclx->transfer_characteristics;
            }
            if (nclx) heif_nclx_color_profile_free(nclx);
            break;
        }
        default: break;
    }
    return source;
}

}  // namespace

void LoadHeif(const std::vector<std::uint8_t>& file, const std::string& name, TWin& image) {
    const bool avif = name == "AVIF";
    auto fail = [&](const heif_error& error) {
        throw LoadError(DamagedImageError(name, error.message ? error.message : ""));
    };
    const std::unique_ptr<heif_context, ContextFreer> context(heif_context_alloc());
    if (!context) throw LoadError(kOutOfMemoryError);
    // libheif counts its limit as the square of a width.
    heif_context_set_maximum_image_size_limit(context.get(), static_cast<int>(std::sqrt(double(kMaxPixels))));
    heif_error error = heif_context_read_from_memory_without_copy(context.get(), file.data(), file.size(), nullptr);
    // libheif reports its size limit as a memory error of its own kind.
    if (error.subcode == heif_suberror_Security_limit_exceeded)
        throw LoadError(name + " image is larger than Lumarq opens (at most " + std::to_string(kMaxPixels / 1'000'000) +
                        " megapixels)");
    if (error.code == heif_error_Memory_allocation_error) throw LoadError(kOutOfMemoryError);
    if (error.code != heif_error_Ok) fail(error);
    heif_image_handle* rawHandle = nullptr;
    if ((error = heif_context_get_primary_image_handle(context.get(), &rawHandle)).code != heif_error_Ok) fail(error);
    const std::unique_ptr<heif_image_handle, HandleFreer> handle(rawHandle);
    CheckPixelCount(static_cast<std::uint64_t>(std::max(0, heif_image_handle_get_width(handle.get()))),
                    static_cast<std::uint64_t>(std::max(0, heif_image_handle_get_height(handle.get()))));
    if (!heif_have_decoder_for_format(avif ? heif_compression_AV1 : heif_compression_HEVC))
        throw LoadError(name + " images cannot be opened here: this system's libheif has no " +
                        (avif ? "AV1 decoder (dav1d or aom)" : "HEVC decoder (libde265)"));

    const bool alpha = heif_image_handle_has_alpha_channel(handle.get());
    const bool deep = heif_image_handle_get_luma_bits_per_pixel(handle.get()) > 8;
    // Asked before the decoder allocates the picture.
    if (!platform::gdi::ImageAllocationAllowed(static_cast<std::size_t>(heif_image_handle_get_width(handle.get())) *
                                               static_cast<std::size_t>(heif_image_handle_get_height(handle.get())) *
                                               (alpha ? 4 : 3) * (deep ? 2 : 1)))
        throw LoadError(kOutOfMemoryError);
    const heif_chroma chroma = deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                    : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    const std::unique_ptr<heif_decoding_options, OptionsFreer> options(heif_decoding_options_alloc());
    if (!options) throw LoadError(kOutOfMemoryError);
    options->strict_decoding = 1;  // a damaged picture is an error, not a picture with holes
    heif_image* rawImage = nullptr;
    error = heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, chroma, options.get());
    const std::unique_ptr<heif_image, ImageFreer> decoded(rawImage);
    if (error.code == heif_error_Memory_allocation_error) throw LoadError(kOutOfMemoryError);
    if (error.code != heif_error_Ok || !decoded) fail(error);

    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(decoded.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(decoded.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(decoded.get(), heif_channel_interleaved);
    if (!plane || width <= 0 || height <= 0) fail({heif_error_Decoder_plugin_error, heif_suberror_Unspecified, "no pixels"});
    CheckPixelCount(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height));
    if (deep) {
        // 10 and 12 bits to the full 16-bit range, rounded.
        const int bits = heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved);
        const std::uint32_t most = bits > 0 && bits < 16 ? (1u << bits) - 1 : 65535;
        const int samples = width * (alpha ? 4 : 3);
        for (int y = 0; y < height; ++y) {
            auto* row = reinterpret_cast<std::uint16_t*>(plane + static_cast<std::ptrdiff_t>(y) * stride);
            for (int i = 0; i < samples; ++i)
                row[i] = static_cast<std::uint16_t>((std::min<std::uint32_t>(row[i], most) * 65535u + most / 2) / most);
        }
    }
    TWin result(width, height);
    if (!result.HasPixels()) throw LoadError(kOutOfMemoryError);
    DecodedPixels pixels;
    pixels.width = width, pixels.height = height, pixels.alpha = alpha, pixels.bytesPerSample = deep ? 2 : 1;
    pixels.stride = static_cast<std::size_t>(stride), pixels.data = plane;
    PutPixels(pixels, ColourOf(handle.get()), result);
    image.Swap(result);
}

}  // namespace image_io
