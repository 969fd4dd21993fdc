// Colours to sRGB through LittleCMS: embedded ICC profiles of every kind (RGB,
// grey, CMYK; v2 and v4), coded primaries and transfer curves (HEIF's nclx), and a
// PNG's gamma and chromaticities. Internal to image_io.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace image_io::colour {

// What the samples are, whatever their profile says.
enum class Model { Grey, Rgb, Cmyk };

// Where a picture's colours come from; nothing set means sRGB.
struct Source {
    std::vector<std::uint8_t> icc;  // an embedded profile
    // Coded colour (ITU-T H.273 numbers): primaries and transfer characteristics.
    bool coded = false;
    int primaries = 2, transfer = 2;
    // A PNG's gAMA (the encoding exponent, e.g. 0.45455) and cHRM (white, red,
    // green, blue as x, y pairs); 0 and empty when absent.
    double gamma = 0;
    std::vector<double> chromaticities;
};

inline Source FromProfile(std::vector<std::uint8_t> icc) {
    Source source;
    source.icc = std::move(icc);
    return source;
}

// True when the source describes sRGB (or nothing): the samples need no conversion.
// A gamma of 1/2.2 with sRGB's or no chromaticities counts as sRGB, as browsers show it.
bool IsSrgb(const Source& source);

// A conversion of pixels in one LittleCMS layout into another, to sRGB. Safe to
// apply from several threads at once.
class ToSrgb {
public:
    // From `source` for samples of `model` in layout `input`, into layout `output`.
    // Empty when the source is sRGB and `evenForSrgb` is false, or when its profile
    // cannot be used for such samples (a damaged profile, a CMYK profile on RGB
    // samples): those pictures show as sRGB, as browsers show them. `copyAlpha`
    // carries an alpha channel from input to output.
    ToSrgb(const Source& source, Model model, std::uint32_t input, std::uint32_t output, bool copyAlpha,
           bool evenForSrgb = false);
    ~ToSrgb();
    ToSrgb(const ToSrgb&) = delete;
    ToSrgb& operator=(const ToSrgb&) = delete;

    explicit operator bool() const { return transform_ != nullptr; }
    void Apply(const void* in, void* out, std::size_t pixels) const;

private:
    void* transform_ = nullptr;
};

// The LittleCMS layout word for 8- or 16-bit samples of `model`, with or without
// alpha; CMYK `inverted` as Adobe's JPEGs store it (0 is full ink).
std::uint32_t Layout(Model model, int bytesPerSample, bool alpha, bool inverted = false);

}  // namespace image_io::colour
