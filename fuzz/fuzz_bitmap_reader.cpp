// Feeds arbitrary bytes to the BMP reader's core, as LoadFromFile would a file.
#include <cstddef>
#include <cstdint>

#include "raster/bitmap_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    raster::bitmap::MemorySource source(data, size);
    // Legal headers may ask for 32767 x 32767 pixels; the fuzzer's memory cannot
    // hold many of those, so it stops well below.
    const raster::bitmap::Limits limits{.maxPixels = 4u << 20};
    try {
        const raster::bitmap::Image image = raster::bitmap::Decode(source, limits);
        if (image.width < 0 || image.height < 0 ||
            image.bits.size() != image.stride * static_cast<std::size_t>(image.height))
            __builtin_trap();
    } catch (const LoadError&) {
    }
    return 0;
}
