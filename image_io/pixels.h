// What the decoders that Qt does not provide (HEIF, JPEG XL, CMYK JPEG) share:
// their decoded samples, converted to sRGB into a TWin, and the file kinds
// recognised by their first bytes. Internal to image_io.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image_io/colour.h"
#include "raster/win.h"

namespace image_io {

// Decoded samples as a decoder hands them over: rows of interleaved channels,
// colours then alpha, 8 bits or 16 (native byte order, 0..65535).
struct DecodedPixels {
    int width = 0, height = 0;
    colour::Model model = colour::Model::Rgb;
    bool alpha = false;
    bool inverted = false;  // CMYK as Adobe stores it
    int bytesPerSample = 1;
    std::size_t stride = 0;
    const std::uint8_t* data = nullptr;
};

// Converts the samples from `source` to sRGB into `target` (already of their
// size), transparent parts over black. Large pictures share the work among the
// render's threads.
void PutPixels(const DecodedPixels& pixels, const colour::Source& source, TWin& target);

// Turns a raster by an Exif orientation tag (1..8) into the way it is shown.
// Throws LoadError(kOutOfMemoryError) when the turned copy cannot be had.
void ApplyOrientation(TWin& image, int orientation);

// Throws the loader's message for a picture larger than kMaxPixels.
void CheckPixelCount(std::uint64_t width, std::uint64_t height);

// The kinds of file told apart by their first bytes, before any reader is asked.
enum class Kind { Other, Heif, JpegXl, Unsupported };
struct Recognised {
    Kind kind = Kind::Other;
    std::string name;  // "HEIC", "AVIF", "JPEG XL"; for Unsupported the whole message
};
Recognised Recognise(const std::uint8_t* head, std::size_t size);

// What a JPEG's markers before its scan say: the channel count, Adobe's marker
// (its CMYK is stored inverted), the ICC profile (joined from its pieces) and the
// Exif block.
struct JpegFacts {
    int components = 0;
    bool adobe = false;
    std::vector<std::uint8_t> icc;
    std::vector<std::uint8_t> exif;
    bool scanFound = false;  // false when the data end before the scan
};
JpegFacts ScanJpeg(const std::uint8_t* data, std::size_t size);

// The decoders of the formats Qt does not read; each throws LoadError with a
// message naming its format. `Copy` as LoadImageFile's.
void LoadHeif(const std::vector<std::uint8_t>& file, const std::string& name, TWin& image);
void LoadJpegXl(const std::vector<std::uint8_t>& file, TWin& image);
// A JPEG of four channels (CMYK or YCCK) through its ICC profile, as stored:
// the caller turns it by its orientation tag.
void LoadCmykJpeg(const std::vector<std::uint8_t>& file, TWin& image);

}  // namespace image_io
