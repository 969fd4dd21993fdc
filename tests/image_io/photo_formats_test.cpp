// HEIC, AVIF and JPEG XL, and colours through their profiles, against the pixels
// the files in data/images were made from (scripts/make_photo_test_files.py has
// the same pictures). Expected colours are worked out here from the colour
// maths, or were computed by LittleCMS's transicc where a profile is a table.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>

#include "tests/image_io/image_test_util.h"
#include "tests/raster/bmp_builder.h"

// libheif 1.15 leaks on two kinds of damaged AVIF: its dav1d decoder when the coded
// data are empty (fuzz-avif-empty-av1-data.avif), and the picture it has made when
// the nclx names unknown primaries (fuzz-avif-decode-unknown-primaries.avif). The
// library's faults, not ours: Lumarq makes no picture with heif_image_create when
// it reads.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdav1d.so\nleak:heif_image_create\n"; }

namespace {

// 10-bit samples 4c + (x+y) mod 4, rounded to 8 bits (not cut: 3 becomes 1, not 0).
Rgb Deep(int x, int y) {
    Rgb c = Pattern(x, y);
    for (int& v : c) v = static_cast<int>(std::lround(std::min(1023, 4 * v + (x + y) % 4) * 255 / 1023.0));
    return c;
}
Rgb OverBlack(int x, int y) {
    auto over = [&](int c) { return static_cast<int>(std::lround(c * 17 * x / 255.0)); };
    return {over(200), over(16 * x + y), over(100)};
}

double Decode(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
int Encode(double v) {
    v = std::clamp(v, 0.0, 1.0);
    return static_cast<int>(std::lround(255 * (v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055)));
}
Rgb LinearToSrgb(int x, int y) {
    const Rgb c = Pattern(x, y);
    return {Encode(c[0] / 255.0), Encode(c[1] / 255.0), Encode(c[2] / 255.0)};
}
// The pattern in Display P3 (sRGB's curve, D65): linear P3 to linear sRGB through
// XYZ, both with D65 white, so no adaptation; out-of-gamut channels clip.
Rgb P3ToSrgb(int x, int y) {
    static const double kP3ToSrgb[3][3] = {{1.2249, -0.2247, 0.0}, {-0.0420, 1.0419, 0.0}, {-0.0197, -0.0786, 1.0979}};
    const Rgb c = Pattern(x, y);
    const double linear[3] = {Decode(c[0] / 255.0), Decode(c[1] / 255.0), Decode(c[2] / 255.0)};
    Rgb out{};
    for (int i = 0; i < 3; ++i)
        out[i] = Encode(kP3ToSrgb[i][0] * linear[0] + kP3ToSrgb[i][1] * linear[1] + kP3ToSrgb[i][2] * linear[2]);
    return out;
}
// Grey blocks 30, 100, 170, 240 under a linear grey profile.
Rgb LinearGreyQuadrants(int x, int y) {
    static const int levels[4] = {30, 100, 170, 240};
    const int v = Encode(levels[(y >= 12) * 2 + (x >= 16)] / 255.0);
    return {v, v, v};
}
// The CMYK photo's block centres as transicc converts their stored inks through
// the embedded profile (perceptual): see the generating script.
Rgb CmykThroughProfile(int x, int y) {
    static const Rgb colours[4] = {{217, 83, 51}, {47, 200, 75}, {92, 85, 209}, {240, 240, 240}};
    return colours[(y >= 12) * 2 + (x >= 16)];
}

TEST(PhotoLoad, EachFileShowsItsPictureInSrgb) {
    const struct {
        const char* file;
        int width, height;
        std::function<Rgb(int, int)> expected;
        int tolerance;
        bool centres;  // only away from the edges of 16 x 12 blocks (lossy files)
    } cases[] = {
        {"heic-quadrants.heic", 32, 24, Quadrants, 10, true},
        // The file's own turn, mirror and crop, applied once; the Exif tag of the
        // turned one asks for another turn, which must not happen.
        {"avif-irot.avif", 32, 24, Quadrants, 0, false},
        {"avif-imir.avif", 32, 24, Quadrants, 0, false},
        {"avif-clap.avif", 32, 24, Quadrants, 0, false},
        {"avif-10bit.avif", 16, 12, Deep, 0, false},
        {"avif-alpha.avif", 16, 12, OverBlack, 0, false},
        {"avif-p3.avif", 16, 12, P3ToSrgb, 2, false},
        // Primaries no standard names (once leaked the colour description): sRGB.
        {"fuzz-avif-unknown-primaries.avif", 16, 12, Deep, 0, false},
        {"jxl-lossless.jxl", 16, 12, Pattern, 0, false},
        // The encoder rings by up to 17 next to the blocks' meeting point (djxl shows the same).
        {"jxl-lossy.jxl", 32, 24, Quadrants, 18, true},
        {"jxl-alpha.jxl", 16, 12, OverBlack, 0, false},
        // Within a block the stored inks still drift by a level or two, which moves
        // this profile's saturated colours by up to 6.
        {"jpeg-cmyk-profile.jpg", 32, 24, CmykThroughProfile, 6, true},
        {"jpeg-grey-profile.jpg", 32, 24, LinearGreyQuadrants, 3, true},
        // gAMA 1/2.2 with sRGB's or no chromaticities is sRGB, to the level.
        {"png-gamma-srgb.png", 16, 12, Pattern, 0, false},
        {"png-gamma-only.png", 16, 12, Pattern, 0, false},
        {"png-gamma-linear.png", 16, 12, LinearToSrgb, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        TWin image(1, 1);
        ASSERT_EQ(LoadAny(image, DataFile(c.file)), "");
        ASSERT_EQ(image.Width(), c.width);
        ASSERT_EQ(image.Height(), c.height);
        ExpectPixels(image, c.expected, c.tolerance, c.centres);
    }
}

// Sets a HEIF file's declared size (its ispe property) to width x height.
Bytes WithDeclaredSize(Bytes file, std::uint32_t width, std::uint32_t height) {
    for (std::size_t i = 0; i + 16 <= file.size(); ++i)
        if (std::memcmp(&file[i], "ispe", 4) == 0) {
            for (int b = 0; b < 4; ++b) file[i + 8 + b] = static_cast<std::uint8_t>(width >> (24 - 8 * b));
            for (int b = 0; b < 4; ++b) file[i + 12 + b] = static_cast<std::uint8_t>(height >> (24 - 8 * b));
        }
    return file;
}

TEST(PhotoLoad, BadAndUnsupportedFilesSayWhatTheyAre) {
    ScratchFolder folder;
    const Bytes heic = ReadAll(DataFile("heic-quadrants.heic"));
    const Bytes avif = ReadAll(DataFile("avif-alpha.avif"));
    const Bytes jxl = ReadAll(DataFile("jxl-lossy.jxl"));
    const Bytes cmyk = ReadAll(DataFile("jpeg-cmyk-profile.jpg"));
    auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    // A JPEG XL header alone: 100000 x 100000 pixels (18 bits, ratio 1:1),
    // default metadata, and nothing after it.
    const Bytes hugeJxl = {0xFF, 0x0A, 0xFC, 0x34, 0x2C, 0x01, 0x00, 0x00};
    const std::string huge = "The image is 100000 x 100000 pixels (10000 megapixels); Lumarq opens images of at most";
    const std::string instead = " are not supported; open a PNG, JPEG, HEIC, AVIF, JPEG XL, WebP, TIFF, GIF or BMP image instead";
    Bytes dng = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0xC6, 1, 0, 4, 0, 0, 0, 1, 4, 0, 0, 0, 0, 0, 0};
    const struct {
        const char* name;
        Bytes bytes;
        std::string message;  // a prefix
    } cases[] = {
        {"cut.heic", Bytes(heic.begin(), heic.begin() + heic.size() / 2), "HEIC image is damaged or incomplete ("},
        {"cut.avif", Bytes(avif.begin(), avif.end() - 60), "AVIF image is damaged or incomplete ("},
        {"cut.jxl", Bytes(jxl.begin(), jxl.end() - 40), "JPEG XL image is damaged or incomplete ("},
        {"empty-data.avif", ReadAll(DataFile("fuzz-avif-empty-av1-data.avif")), "AVIF image is damaged or incomplete ("},
        {"unknown-primaries.avif", ReadAll(DataFile("fuzz-avif-decode-unknown-primaries.avif")),
         "AVIF image is damaged or incomplete (Invalid input: Unknown NCLX color primaries"},
        {"cut-cmyk.jpg", Bytes(cmyk.begin(), cmyk.end() - 100), "JPEG image is incomplete: the file ends before the image data do"},
        {"huge.heic", WithDeclaredSize(heic, 100000, 100000), "HEIC image is larger than Lumarq opens (at most 256 megapixels)"},
        {"huge.avif", WithDeclaredSize(avif, 100000, 100000), "AVIF image is larger than Lumarq opens (at most 256 megapixels)"},
        {"huge.jxl", hugeJxl, huge},
        {"picture.psd", text("8BPS\0\1\0\0\0\0\0\0\0\3"), "Photoshop documents" + instead},
        {"drawing.svg", text("<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"/>"), "SVG drawings" + instead},
        {"bare.svg", text("\xEF\xBB\xBF  <svg width=\"1\"/>"), "SVG drawings" + instead},
        {"letter.pdf", text("%PDF-1.7\n"), "PDF documents" + instead},
        {"clip.mp4", text(std::string("\0\0\0\x18" "ftypisom\0\0\2\0isomiso2", 24)), "Videos" + instead},
        {"clip.mov", text(std::string("\0\0\0\x14" "ftypqt  \0\0\2\0qt  ", 20)), "Videos" + instead},
        {"clip.mkv", {0x1A, 0x45, 0xDF, 0xA3, 0x9F, 0x42, 0x86, 0x81}, "Videos" + instead},
        {"clip.avi", text(std::string("RIFF\0\0\0\0AVI LIST", 16)), "Videos" + instead},
        {"photo.cr2", text(std::string("II*\0\x10\0\0\0CR\x02\0", 12)), "Camera raw files" + instead},
        {"photo.cr3", text(std::string("\0\0\0\x18" "ftypcrx \0\0\0\1crx isom", 24)), "Camera raw files" + instead},
        {"photo.dng", dng, "Camera raw files" + instead},
        // Headers that declare far more than the file holds, refused before a reader allocates it.
        {"huge-screen.gif", ReadAll(DataFile("fuzz-gif-huge-logical-screen.gif")),
         "GIF image is damaged or incomplete (a screen of 65292 x 2569 pixels around frames of 0 pixels in all)"},
        {"little-data.png", ReadAll(DataFile("fuzz-png-huge-ihdr-little-data.png")),
         "PNG image is damaged or incomplete (16000 x 15000 pixels cannot come from 59 bytes of image data)"},
        {"rows-missing.png", ReadAll(DataFile("png-rows-missing.png")), "PNG image is damaged or incomplete ("},
        {"mng-signature.png", ReadAll(DataFile("fuzz-mng-signature-huge-ihdr.png")), "MNG and JNG images" + instead},
        // Unrecognised text stays the bitmap reader's.
        {"notes.heic", text("just some words, no picture"), "Bitmap image is not valid"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TWin image(8, 8);
        const auto start = std::chrono::steady_clock::now();
        const std::string message = LoadAny(image, folder.Write(c.name, c.bytes));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(message.substr(0, c.message.size()), c.message) << message;
        EXPECT_FALSE(image.HasPixels());
        EXPECT_LT(seconds, 0.5);  // refused before anything is decoded (0.1 s without sanitizers)
    }
}

TEST(PhotoSave, AvifAndJpegXlLoadBack) {
    ScratchFolder folder;
    TWin image(37, 23);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) SetPixel(image, x, y, {x * 6, y * 10, 128 + x * 2 - y * 3});
    const struct {
        const char* name;
        int quality;
        std::size_t magicAt;
        std::string magic;
        int tolerance;  // the largest channel difference anywhere
    } cases[] = {
        {"out.avif", 92, 4, "ftypavif", 12},
        {"OUT.JXL", 92, 0, "\xFF\x0A", 18},
        {"lossless.jxl", 100, 0, "\xFF\x0A", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder / c.name;
        ASSERT_TRUE(image_io::SaveImageFile(image, path, c.quality).ok);
        const Bytes bytes = ReadAll(path);
        ASSERT_GE(bytes.size(), c.magicAt + c.magic.size());
        EXPECT_EQ(std::string(bytes.begin() + c.magicAt, bytes.begin() + c.magicAt + c.magic.size()), c.magic);
        TWin back(0, 0);
        ASSERT_EQ(LoadAny(back, path), "");
        ASSERT_EQ(back.Width(), 37);
        ASSERT_EQ(back.Height(), 23);
        EXPECT_LE(WorstDifference(back, image), c.tolerance);
        // Quality reaches the encoder.
        if (c.quality < 100) {
            ASSERT_TRUE(image_io::SaveImageFile(image, folder / ("low-" + std::string(c.name)), 10).ok);
            EXPECT_LT(ReadAll(folder / ("low-" + std::string(c.name))).size(), bytes.size());
        }
    }
    EXPECT_EQ(image_io::SaveImageFile(TWin(0, 0), folder / "empty.avif").error, "Stream write error");
}

}  // namespace
