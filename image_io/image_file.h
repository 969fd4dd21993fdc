// Loading and saving every image format into and out of a TWin. BMP files go
// through the raster's own reader and writer, byte for byte as always; every other
// format through Qt's image readers and writers. The windows and lumarq-render
// both load and save through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "raster/win.h"

namespace image_io {

// The formats Lumarq writes.
enum class FileFormat { Bmp, Png, Jpeg, Webp, Tiff, Avif, JpegXl };

// JPEG, WebP, AVIF and JPEG XL quality when none is asked for.
inline constexpr int kDefaultQuality = 92;

// Largest decoded image of a format other than BMP, in pixels.
inline constexpr std::uint64_t kMaxPixels = 256'000'000;

// The format a file of this name is written in, decided by its extension in any
// letter case; a name with any other extension, or none, is written as a BMP.
FileFormat FormatForFileName(std::string_view FileName);

// The format named by a word such as "png", "jpg", "jpeg", "webp", "tif", "tiff",
// "avif" or "jxl"
// (any letter case); nothing for other words.
std::optional<FileFormat> FormatNamed(std::string_view Name);

// The extension files of the format are given, without the dot: "bmp", "png",
// "jpg", "webp", "tiff", "avif", "jxl".
const char* Extension(FileFormat Format);

// Reads an image file into Image, which takes the file's width, height and pixels
// (rebuilt in place, so references to it stay valid). A file that starts with "BM",
// or that no image reader recognises by its content, goes to the BMP reader with
// its own messages; documents, drawings, camera raw files and videos are refused
// by name. Other images are decoded as a photo viewer shows them: turned upright
// by their orientation tag (or the HEIF file's own turns), converted from their
// colour profile or coded colours to sRGB (through LittleCMS), transparent parts
// composited over black, deeper channels rounded to 8 bits.
// Throws LoadError with the user's message; Image is then 0 x 0.
// When Copy is given it receives the same image: a BMP by reading the file again,
// a photo by copying the pixels decoded once. Copy is left alone when Image fails.
void LoadImageFile(const std::string& FileName, TWin& Image, TWin* Copy = nullptr);

// Whether a file's first bytes are those of a container that LoadImageFile refuses
// as a video (MP4, MOV, Matroska, WebM, AVI) rather than an image (HEIC, AVIF): the
// callers give those to the video reader instead.
bool IsVideoContainer(const std::uint8_t* head, std::size_t size);

// Writes Image in the format that FileName's extension names, through the same
// atomic save as the BMP writer: the file is either whole or untouched. Quality
// (1..100) applies to JPEG, WebP, AVIF and JPEG XL (100: lossless JPEG XL). Never throws.
SaveResult SaveImageFile(const TWin& Image, const std::string& FileName, int Quality = kDefaultQuality);

// Stops the decoders' own console warnings ("Corrupt JPEG data", libpng's notes):
// for a command-line tool that reports each file's failure in its own words.
void QuietDecoderWarnings();

// The Open dialog's filter, "description|patterns|..." pairs: bitmaps first (the
// one the dialog starts with), then every readable extension together, then one
// entry per other format, then all files.
std::string OpenDialogFilter();
// The Save dialog's filter: one entry per writable format, BMP first.
std::string SaveDialogFilter();

}  // namespace image_io
