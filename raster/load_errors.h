// Every message a failed load can show the user, in one place: the BMP codec's
// own (product texts, kept word for word) and those of the other formats' loader.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

// A failed load; what() is the message shown to the user, Reason() the system's
// words for why where there are some ("No such file or directory"), else empty.
class LoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    LoadError(const std::string& message, std::string reason) : std::runtime_error(message), reason_(std::move(reason)) {}
    const std::string& Reason() const { return reason_; }

private:
    std::string reason_;
};

// What the program reports when the memory for an image, or for showing it, cannot
// be had (the BMP reader keeps the system's own wording for its pixel store).
inline constexpr const char* kOutOfMemoryError = "Out of memory";

// A file that is not a regular file, cannot be opened, or is locked by a writer.
inline std::string CannotOpenFileError(const std::string& name) { return "Cannot open file " + name; }

namespace raster::bitmap {

inline constexpr const char* kStreamReadError = "Stream read error";
inline constexpr const char* kNotValid = "Bitmap image is not valid";
// What a legal image reports when its pixel store cannot be had.
inline constexpr const char* kOutOfMemory =
    "System Error.  Code: 8.\r\nNot enough memory resources are available to process this command.";

}  // namespace raster::bitmap

// The other formats, read through their own decoders; `format` is the format's
// name as the user knows it ("PNG", "JPEG", ...).
inline std::string TooManyPixelsError(std::int64_t width, std::int64_t height, std::uint64_t mostPixels) {
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    return "The image is " + std::to_string(width) + " x " + std::to_string(height) + " pixels (" +
           std::to_string((pixels + 999'999) / 1'000'000) + " megapixels); Lumarq opens images of at most " +
           std::to_string(mostPixels / 1'000'000) + " megapixels";
}
inline std::string DamagedImageError(const std::string& format, const std::string& reason) {
    return format + " image is damaged or incomplete (" + reason + ")";
}
inline std::string TruncatedImageError(const std::string& format) {
    return format + " image is incomplete: the file ends before the image data do";
}
