#include "motion/gif_colours.h"

#include <libimagequant.h>

#include <algorithm>

namespace motion::writers {

std::size_t ExactColours::Slot(std::uint32_t key) const {
    std::size_t slot = (key * 2654435761u) >> 22;  // the top ten bits: 0..1023
    while (keys_[slot] != 0 && keys_[slot] != key) slot = (slot + 1) % kSlots;
    return slot;
}

void ExactColours::Add(const std::uint8_t* pixels, std::size_t count) {
    std::uint32_t last = 0;
    for (const std::uint8_t* end = pixels + 3 * count; pixels < end && count_ <= 256; pixels += 3) {
        const std::uint32_t key = (1u << 24) | pixels[0] | pixels[1] << 8 | pixels[2] << 16;
        if (key == last) continue;  // runs of one colour are the common case
        last = key;
        const std::size_t slot = Slot(key);
        if (keys_[slot] == 0) {
            keys_[slot] = key;
            ++count_;
        }
    }
}

std::vector<PaletteColour> ExactColours::MakePalette() {
    std::vector<std::uint32_t> keys;
    for (const std::uint32_t key : keys_)
        if (key != 0) keys.push_back(key);
    std::sort(keys.begin(), keys.end());
    std::vector<PaletteColour> palette;
    for (const std::uint32_t key : keys) {
        indices_[Slot(key)] = static_cast<std::uint8_t>(palette.size());
        palette.push_back({static_cast<std::uint8_t>(key >> 16), static_cast<std::uint8_t>(key >> 8),
                           static_cast<std::uint8_t>(key)});
    }
    return palette;
}

void ExactColours::Map(const std::uint8_t* pixels, std::size_t count, std::uint8_t* indices) const {
    std::uint32_t last = 0;
    std::uint8_t index = 0;
    for (const std::uint8_t* end = pixels + 3 * count; pixels < end; pixels += 3) {
        const std::uint32_t key = (1u << 24) | pixels[0] | pixels[1] << 8 | pixels[2] << 16;
        if (key != last) {
            last = key;
            index = indices_[Slot(key)];
        }
        *indices++ = index;
    }
}

// An image over the shared RGBA buffer, destroyed with the scope.
struct QuantizedColours::Image {
    liq_image* image;
    ~Image() {
        if (image) liq_image_destroy(image);
    }
};

QuantizedColours::QuantizedColours() : attributes_(liq_attr_create()) {
    if (attributes_) histogram_ = liq_histogram_create(attributes_);
}

QuantizedColours::~QuantizedColours() {
    if (result_) liq_result_destroy(result_);
    if (histogram_) liq_histogram_destroy(histogram_);
    if (attributes_) liq_attr_destroy(attributes_);
}

bool QuantizedColours::Fail(const char* what, int code) {
    error_ = std::string("libimagequant could not ") + what + (code == LIQ_OUT_OF_MEMORY ? ": out of memory" : "");
    return false;
}

const std::uint8_t* QuantizedColours::ToRgba(const std::uint8_t* pixels, std::size_t count) {
    if (rgba_.size() < 4 * count) rgba_.resize(4 * count);
    std::uint8_t* out = rgba_.data();
    for (const std::uint8_t* end = pixels + 3 * count; pixels < end; pixels += 3, out += 4) {
        out[0] = pixels[2];
        out[1] = pixels[1];
        out[2] = pixels[0];
        out[3] = 255;
    }
    return rgba_.data();
}

bool QuantizedColours::AddToHistogram(const std::uint8_t* pixels, int width, int height) {
    if (!histogram_) return Fail("start", LIQ_OUT_OF_MEMORY);
    const Image image{liq_image_create_rgba(attributes_, ToRgba(pixels, std::size_t(width) * height), width,
                                            height, 0)};
    if (!image.image) return Fail("read a frame", LIQ_OUT_OF_MEMORY);
    const liq_error added = liq_histogram_add_image(histogram_, attributes_, image.image);
    return added == LIQ_OK || Fail("count a frame's colours", added);
}

bool QuantizedColours::Quantize(bool dither, std::vector<PaletteColour>& palette) {
    const liq_error quantized = liq_histogram_quantize(histogram_, attributes_, &result_);
    if (quantized != LIQ_OK) return Fail("choose a palette", quantized);
    liq_set_dithering_level(result_, dither ? 1.0f : 0.0f);
    const liq_palette* chosen = liq_get_palette(result_);
    palette.clear();
    for (unsigned i = 0; i < chosen->count; ++i)
        palette.push_back({chosen->entries[i].r, chosen->entries[i].g, chosen->entries[i].b});
    return true;
}

bool QuantizedColours::Remap(const std::uint8_t* pixels, int width, int height, std::uint8_t* indices) {
    const std::size_t count = std::size_t(width) * height;
    const Image image{liq_image_create_rgba(attributes_, ToRgba(pixels, count), width, height, 0)};
    if (!image.image) return Fail("read a frame", LIQ_OUT_OF_MEMORY);
    const liq_error remapped = liq_write_remapped_image(result_, image.image, indices, count);
    return remapped == LIQ_OK || Fail("map a frame to the palette", remapped);
}

}  // namespace motion::writers
