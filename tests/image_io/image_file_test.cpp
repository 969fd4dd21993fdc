// Loading and saving the formats other than BMP, against the pixels the files in
// data/images were made from (scripts/make_image_test_files.py has the same rules).
#include <gtest/gtest.h>

#include <QImage>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>

#include "tests/image_io/image_test_util.h"
#include "tests/raster/bmp_builder.h"

namespace {

using image_io::LoadImageFile;
using image_io::SaveImageFile;

// The pictures, pixel by pixel.
// A 16-bit channel 257c + 129 rounds to c + 1, where cutting the low byte gives c.
int Deep(int c) { return static_cast<int>(std::lround(std::min(257 * c + 129, 65535) / 257.0)); }
Rgb DeepPattern(int x, int y) {
    const Rgb c = Pattern(x, y);
    return {Deep(c[0]), Deep(c[1]), Deep(c[2])};
}
Rgb Grey(int x, int y) { return {16 * x + y, 16 * x + y, 16 * x + y}; }
Rgb DeepGrey(int x, int y) { return {Deep(16 * x + y), Deep(16 * x + y), Deep(16 * x + y)}; }
Rgb Palette(int x, int y) {
    const int i = (x + y) % 16;
    return {i * 17, 255 - i * 17, (i * 85) & 255};
}
Rgb Mono(int x, int y) { return (x ^ y) & 1 ? Rgb{255, 255, 255} : Rgb{0, 0, 0}; }
// Red 200, green 16x + y, blue 100 at alpha 17x, over black.
Rgb OverBlack(int x, int y) {
    auto over = [&](int c) { return static_cast<int>(std::lround(c * 17 * x / 255.0)); };
    return {over(200), over(16 * x + y), over(100)};
}
// The pattern stored as linear light, shown in sRGB.
Rgb LinearToSrgb(int x, int y) {
    auto encode = [](int c) {
        const double v = c / 255.0;
        return static_cast<int>(std::lround(255 * (v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055)));
    };
    const Rgb c = Pattern(x, y);
    return {encode(c[0]), encode(c[1]), encode(c[2])};
}
// Four flat blocks of 16 x 12, for the lossy formats.
Rgb GreyQuadrants(int x, int y) {
    static const int levels[4] = {30, 100, 170, 240};
    const int v = levels[(y >= 12) * 2 + (x >= 16)];
    return {v, v, v};
}


TEST(ImageLoad, EveryFormatFamilyShowsThePixelsItWasMadeFrom) {
    const struct {
        const char* file;
        int width, height;
        std::function<Rgb(int, int)> expected;
        int tolerance;  // lossy formats only, and there only away from the blocks' edges
    } cases[] = {
        {"png-rgb8.png", 16, 12, Pattern, 0},
        {"png-rgb16.png", 16, 12, DeepPattern, 0},
        {"png-grey8.png", 16, 12, Grey, 0},
        {"png-grey16.png", 16, 12, DeepGrey, 0},
        {"png-palette.png", 16, 12, Palette, 0},
        {"png-mono.png", 16, 12, Mono, 0},
        {"png-alpha.png", 16, 12, OverBlack, 0},
        {"png-interlaced.png", 16, 12, Pattern, 0},
        // Qt converts colour profiles through tables: a step either way.
        {"png-linear-profile.png", 16, 12, LinearToSrgb, 1},
        {"jpeg-baseline.jpg", 32, 24, Quadrants, 8},
        {"jpeg-progressive.jpg", 32, 24, Quadrants, 8},
        {"jpeg-grey.jpg", 32, 24, GreyQuadrants, 8},
        {"jpeg-cmyk.jpg", 32, 24, Quadrants, 8},
        {"gif-animated.gif", 16, 12, Palette, 0},  // the first frame
        {"webp-lossy.webp", 32, 24, Quadrants, 8},
        {"webp-lossless.webp", 16, 12, Pattern, 0},
        {"webp-alpha.webp", 16, 12, OverBlack, 0},
        {"webp-animated.webp", 16, 12, Pattern, 0},  // the first frame
        {"tiff-rgb8-lzw.tif", 16, 12, Pattern, 0},
        {"tiff-rgb16-deflate.tif", 16, 12, DeepPattern, 0},
        {"ppm-rgb.ppm", 16, 12, Pattern, 0},
        {"pgm-grey.pgm", 16, 12, Grey, 0},
        // Stored turned or mirrored, each with the orientation tag that sets it upright.
        {"jpeg-orientation-1.jpg", 32, 24, Quadrants, 8},
        {"jpeg-orientation-2.jpg", 32, 24, Quadrants, 8},
        {"jpeg-orientation-3.jpg", 32, 24, Quadrants, 8},
        {"jpeg-orientation-4.jpg", 32, 24, Quadrants, 8},
        {"jpeg-orientation-5.jpg", 32, 24, Quadrants, 8},
        {"jpeg-orientation-6.jpg", 32, 24, Quadrants, 8},
        {"jpeg-orientation-7.jpg", 32, 24, Quadrants, 8},
        {"jpeg-orientation-8.jpg", 32, 24, Quadrants, 8},
        // The same tags in a PNG's and a WebP's own Exif chunk, losslessly.
        {"png-orientation-1.png", 32, 24, Quadrants, 0},
        {"png-orientation-2.png", 32, 24, Quadrants, 0},
        {"png-orientation-3.png", 32, 24, Quadrants, 0},
        {"png-orientation-4.png", 32, 24, Quadrants, 0},
        {"png-orientation-5.png", 32, 24, Quadrants, 0},
        {"png-orientation-6.png", 32, 24, Quadrants, 0},
        {"png-orientation-7.png", 32, 24, Quadrants, 0},
        {"png-orientation-8.png", 32, 24, Quadrants, 0},
        {"webp-orientation-6.webp", 32, 24, Quadrants, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        TWin image(1, 1);
        ASSERT_EQ(LoadAny(image, DataFile(c.file)), "");
        ASSERT_EQ(image.Width(), c.width);
        ASSERT_EQ(image.Height(), c.height);
        ExpectPixels(image, c.expected, c.tolerance, c.tolerance > 1);
    }
}

TEST(ImageLoad, ContentDecidesAndEveryFailureHasItsMessage) {
    ScratchFolder folder;
    const Bytes png = ReadAll(DataFile("png-rgb8.png"));
    const Bytes jpeg = ReadAll(DataFile("jpeg-baseline.jpg"));
    const Bytes gif = ReadAll(DataFile("gif-animated.gif"));
    // A JPEG header claiming 20000 x 15000 pixels.
    Bytes huge = jpeg;
    for (std::size_t i = 0; i + 8 < huge.size(); ++i)
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = 15000 >> 8, huge[i + 6] = 15000 & 255, huge[i + 7] = 20000 >> 8, huge[i + 8] = 20000 & 255;
            break;
        }
    // A GIF of a two-colour screen and frames (left, top, width, height) without pixels.
    auto gifScreen = [](int width, int height, std::initializer_list<std::array<int, 4>> frames, int data = 40) {
        auto word = [](Bytes& b, int v) { b.push_back(static_cast<std::uint8_t>(v)), b.push_back(static_cast<std::uint8_t>(v >> 8)); };
        Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
        word(b, width), word(b, height);
        b.insert(b.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255});
        for (const auto& f : frames) {
            b.push_back(0x2C);
            for (const int v : f) word(b, v);
            // Code size 2: a clear code and the end code, then room for as many pixels
            // as the frame claims, which no reader reaches.
            b.insert(b.end(), {0, 2, static_cast<std::uint8_t>(data), 0x2C});
            b.insert(b.end(), static_cast<std::size_t>(data - 1), 0);
            b.push_back(0);
        }
        b.push_back(0x3B);
        return b;
    };
    // A parameterless marker (TEM) before the frame: no length follows it.
    Bytes tem = jpeg;
    tem.insert(tem.begin() + 2, {0xFF, 0x01});
    const struct {
        const char* name;
        Bytes bytes;
        std::string message;  // "" when the file loads; a prefix otherwise
    } cases[] = {
        {"photo.bmp", jpeg, ""},  // a JPEG whatever its name
        {"tem.jpg", tem, ""},
        {"cut.png", Bytes(png.begin(), png.begin() + 60), "PNG image is damaged or incomplete ("},
        {"cut.jpg", Bytes(jpeg.begin(), jpeg.end() - 40),  // inside the scan data
         "JPEG image is incomplete: the file ends before the image data do"},
        {"cut.gif", Bytes(gif.begin(), gif.begin() + 110),  // inside the first frame
         "GIF image is incomplete: the file ends before the image data do"},
        {"text.png", Bytes(40, 'x'), "Bitmap image is not valid"},
        // A screen of a few megapixels is believed when its frames, a small first one
        // included, cover a fair part of it, and their data could paint that much.
        {"patches.gif", gifScreen(2100, 2100, {{0, 0, 1, 1}, {100, 100, 300, 300}}), ""},
        {"empty.gif", gifScreen(2100, 2100, {{0, 0, 1, 1}, {100, 100, 300, 300}}, 1),
         "GIF image is damaged or incomplete (a screen of 2100 x 2100 pixels around frames of 2732 pixels in all)"},
        {"speck.gif", gifScreen(2100, 2100, {{0, 0, 1, 1}, {5, 5, 200, 200}}),
         "GIF image is damaged or incomplete (a screen of 2100 x 2100 pixels around frames of 40001 pixels in all)"},
        {"huge.jpg", huge, "The image is 20000 x 15000 pixels (300 megapixels); Lumarq opens images of at most 256 megapixels"},
        // Files the BMP reader judges keep its messages.
        {"empty.png", {}, ""},
        {"short.png", {'P', 'N', 'G'}, "Stream read error"},
        {"short.bmp", {'B', 'M', 0, 0, 0}, "Stream read error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TWin image(8, 8), copy(8, 8);
        const std::string message = LoadAny(image, folder.Write(c.name, c.bytes), &copy);
        if (c.message.empty()) {
            EXPECT_EQ(message, "");
            continue;
        }
        EXPECT_EQ(message.substr(0, c.message.size()), c.message) << message;
        EXPECT_FALSE(image.HasPixels());
        EXPECT_EQ(copy.Width(), 8);  // the second raster is left as it was
    }
    TWin image(8, 8);
    EXPECT_EQ(LoadAny(image, folder / "missing.png"), "Cannot open file " + (folder / "missing.png"));
}

TEST(ImageLoad, EveryBitmapOfTheCorpusLoadsAsTheBitmapReaderLoadsIt) {
    // Whatever Qt's readers would make of them, bitmaps (and files that only claim
    // to be) keep the BMP reader's pixels and messages.
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(std::string(LUMARQ_TEST_DATA) + "/bmpsuite")) {
        if (entry.path().extension() != ".bmp") continue;
        SCOPED_TRACE(entry.path().string());
        ++files;
        TWin viaImageIo(1, 1), viaReader(1, 1);
        const std::string path = entry.path().string();
        ASSERT_EQ(LoadAny(viaImageIo, path), Load(viaReader, path));
        ASSERT_EQ(viaImageIo.Width(), viaReader.Width());
        ASSERT_EQ(viaImageIo.Height(), viaReader.Height());
        if (viaReader.HasPixels()) {
            const std::size_t bytes = static_cast<std::size_t>(viaReader.Stride) * viaReader.Height();
            EXPECT_EQ(std::memcmp(viaImageIo.Bits, viaReader.Bits, bytes), 0);
        }
    }
    EXPECT_GE(files, 90);  // the corpus is there
}

TEST(ImageLoad, MemoryThatCannotBeHadIsOutOfMemory) {
    TWin image(8, 8);
    // Refuse the decoded picture, then only the raster it would be copied into.
    for (const std::size_t refused : {std::size_t{16 * 12 * 4}, std::size_t{48 * 12}}) {
        platform::gdi::SetImageAllocationFailureForTesting([&](std::size_t bytes) { return bytes == refused; });
        EXPECT_EQ(LoadAny(image, DataFile("png-rgb8.png")), kOutOfMemoryError);
        EXPECT_FALSE(image.HasPixels());
    }
    platform::gdi::SetImageAllocationFailureForTesting({});
}

TEST(ImageLoad, BothRastersGetTheSameImage) {
    for (const char* file : {"png-rgb8.png", "jpeg-orientation-6.jpg", "../bmpsuite/g/pal8.bmp"}) {
        SCOPED_TRACE(file);
        TWin first(0, 0), second(0, 0), alone(0, 0);
        ASSERT_EQ(LoadAny(first, DataFile(file), &second), "");
        ASSERT_EQ(LoadAny(alone, DataFile(file)), "");
        ASSERT_EQ(second.Width(), alone.Width());
        ASSERT_EQ(second.Height(), alone.Height());
        const std::size_t bytes = static_cast<std::size_t>(alone.Stride) * alone.Height();
        EXPECT_EQ(std::memcmp(first.Bits, alone.Bits, bytes), 0);
        EXPECT_EQ(std::memcmp(second.Bits, alone.Bits, bytes), 0);
    }
}

TEST(ImageSave, EachFormatFollowsTheExtensionAndLoadsBack) {
    ScratchFolder folder;
    // An odd width, so that rows carry padding; smooth, so that lossy formats keep it close.
    TWin image(37, 23);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) SetPixel(image, x, y, {x * 6, y * 10, 128 + x * 2 - y * 3});
    const struct {
        const char* name;
        std::string magic;  // the file's first bytes
        int tolerance;      // 0: the raster comes back byte for byte
        int dpi = 0;        // the resolution field, as Qt reads it back; 0: not looked at
    } cases[] = {
        {"out.png", "\x89PNG", 0, 72},     {"out.TIFF", "II*", 0, 72},           {"out.Tif", "II*", 0},
        {"out.jpg", "\xFF\xD8\xFF", 10, 72}, {"out.JPEG", "\xFF\xD8\xFF", 10}, {"out.webp", "RIFF", 10},
        {"out.BMP", "BM", 0},          {"out.gif", "BM", 0},           {"out", "BM", 0},
        {".png", "BM", 0},  // a hidden name without an extension
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder / c.name;
        ASSERT_TRUE(SaveImageFile(image, path).ok);
        const Bytes bytes = ReadAll(path);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + c.magic.size()), c.magic);
        // Written as it is, not as the screen is (the windows and lumarq-render write the same file).
        if (c.dpi) {
            EXPECT_EQ(std::lround(QImage(QString::fromStdString(path)).dotsPerMeterX() * 0.0254), c.dpi);
        }
        TWin back(0, 0);
        ASSERT_EQ(LoadAny(back, path), "");
        ASSERT_EQ(back.Width(), 37);
        ASSERT_EQ(back.Height(), 23);
        EXPECT_LE(WorstDifference(back, image), c.tolerance);
    }
    // A picture large enough that the loader shares its conversion among threads.
    TWin large(601, 451);
    for (int y = 0; y < 451; ++y)
        for (int x = 0; x < 601; ++x) SetPixel(large, x, y, {x ^ y, x + 3 * y, 7 * x - y});
    ASSERT_TRUE(SaveImageFile(large, folder / "large.png").ok);
    TWin back(0, 0);
    ASSERT_EQ(LoadAny(back, folder / "large.png"), "");
    ASSERT_EQ(back.Width(), 601);
    ASSERT_EQ(back.Height(), 451);
    int differentRows = 0;
    for (int y = 0; y < 451; ++y) differentRows += std::memcmp(back.PixelAddress(0, y), large.PixelAddress(0, y), 3 * 601) != 0;
    EXPECT_EQ(differentRows, 0);

    // Quality reaches the encoder.
    ASSERT_TRUE(SaveImageFile(image, folder / "low.jpg", 5).ok);
    EXPECT_LT(ReadAll(folder / "low.jpg").size(), ReadAll(folder / "out.jpg").size());

    // Failures report as the BMP writer does and leave nothing behind.
    const std::string nowhere = folder / "no-folder/out.png";
    EXPECT_EQ(SaveImageFile(image, nowhere).error, "Cannot create file " + nowhere);
    EXPECT_EQ(SaveImageFile(TWin(0, 0), folder / "empty.png").error, "Stream write error");
    EXPECT_FALSE(std::filesystem::exists(folder / "empty.png"));
}

}  // namespace
