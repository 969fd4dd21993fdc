// Feeds arbitrary bytes to the image loader as a file, the way the windows and
// lumarq-render open one: whichever reader the content picks (HEIC and AVIF through
// libheif, JPEG XL through libjxl, CMYK JPEGs through libjpeg-turbo, the other photo
// formats through Qt's readers, colours through LittleCMS, else the BMP reader)
// must give an image or a message. Seed it with tests/data/images.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/input_file.h"
#include "image_io/image_file.h"
#include "platform/gdi/gdi.h"

// libheif 1.15 leaks on two kinds of damaged AVIF: its dav1d decoder when the coded
// data are empty (fuzz-avif-empty-av1-data.avif), and the picture it has made when
// the nclx names unknown primaries (fuzz-avif-decode-unknown-primaries.avif). The
// library's faults, not ours: Lumarq makes no picture with heif_image_create when
// it reads.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdav1d.so\nleak:heif_image_create\n"; }

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::MakeInputFile("fuzz_image_file");
    image_io::QuietDecoderWarnings();
    // Headers may claim up to the loader's 256 megapixels; the fuzzer's memory
    // cannot hold many of those, so images above 16 MB fail as if memory ran out.
    platform::gdi::SetImageAllocationFailureForTesting([](std::size_t bytes) { return bytes > (16u << 20); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = fuzz::WriteInput(data, size);
    TWin image(1, 1);
    try {
        image_io::LoadImageFile(path, image);
        // An empty bitmap loads as a 0 x 0 image; anything else has its pixels.
        const bool loaded = image.Width() > 0 && image.Height() > 0 && image.HasPixels();
        const bool empty = image.Width() == 0 && image.Height() == 0 && !image.HasPixels();
        if (!loaded && !empty) __builtin_trap();
    } catch (const LoadError&) {
        if (image.Width() != 0 || image.Height() != 0) __builtin_trap();
    }
    return 0;
}
