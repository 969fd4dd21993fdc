// A GIF's one palette: the frames' own colours when they have 256 or fewer
// between them, otherwise libimagequant's choice over every frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct liq_attr;
struct liq_histogram;
struct liq_result;

namespace motion::writers {

struct PaletteColour {
    std::uint8_t red = 0, green = 0, blue = 0;
};

// Counts distinct colours as frames arrive, without allocating, and stops
// counting once there are more than 256.
class ExactColours {
public:
    // Pixels as blue-green-red triplets.
    void Add(const std::uint8_t* pixels, std::size_t count);
    bool Fit() const { return count_ <= 256; }
    // The colours in a fixed order; their indices are what Map gives.
    std::vector<PaletteColour> MakePalette();
    void Map(const std::uint8_t* pixels, std::size_t count, std::uint8_t* indices) const;

private:
    static constexpr std::size_t kSlots = 1024;  // at most a quarter full
    std::size_t Slot(std::uint32_t key) const;
    std::array<std::uint32_t, kSlots> keys_{};  // colour | 1 << 24; 0: free
    std::array<std::uint8_t, kSlots> indices_{};
    int count_ = 0;
};

// libimagequant's palette over the histogram of every frame given, then each
// frame remapped to it.
class QuantizedColours {
public:
    QuantizedColours();
    ~QuantizedColours();
    QuantizedColours(const QuantizedColours&) = delete;
    QuantizedColours& operator=(const QuantizedColours&) = delete;

    // False with `error` set when the library fails.
    bool AddToHistogram(const std::uint8_t* pixels, int width, int height);
    bool Quantize(bool dither, std::vector<PaletteColour>& palette);
    bool Remap(const std::uint8_t* pixels, int width, int height, std::uint8_t* indices);
    const std::string& Error() const { return error_; }

private:
    struct Image;
    bool Fail(const char* what, int code);
    const std::uint8_t* ToRgba(const std::uint8_t* pixels, std::size_t count);

    liq_attr* attributes_ = nullptr;
    liq_histogram* histogram_ = nullptr;
    liq_result* result_ = nullptr;
    std::vector<std::uint8_t> rgba_;
    std::string error_;
};

}  // namespace motion::writers
