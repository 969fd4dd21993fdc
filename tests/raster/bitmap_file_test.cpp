#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>

#include "raster/bitmap_decoder.h"
#include "tests/raster/bmp_builder.h"
#include "tests/raster/test_util.h"

// Specs name only the fields that matter; the rest keep their defaults on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

const std::string kNotValid = "Bitmap image is not valid";
const std::string kReadError = "Stream read error";

// Set while a test wants the disk to refuse every flush, as a failing disk does.
std::atomic<bool> flushesFail{false};

std::string LoadBytes(TWin& win, const Bytes& bytes) {
    ScratchFolder folder;
    return Load(win, folder.Write("image.bmp", bytes));
}

std::string LoadMessage(const Bytes& bytes) {
    TWin win(4, 4);
    const std::string message = LoadBytes(win, bytes);
    if (!message.empty()) {
        EXPECT_FALSE(win.HasPixels()) << message;
        EXPECT_EQ(win.Width(), 0);
        EXPECT_EQ(win.Height(), 0);
    }
    return message;
}

// A bottom-up 24-bit file of `width` x `height` from a colour rule.
Bytes Make24(int width, int height, bool topDown = false) {
    BmpSpec s{.width = width, .height = topDown ? -height : height};
    const std::size_t stride = (3 * width + 3) / 4 * 4;
    s.pixels.assign(stride * height, 0);
    s.sizeImage = static_cast<std::uint32_t>(stride * height);
    for (int row = 0; row < height; ++row) {
        const int y = topDown ? row : height - 1 - row;
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &s.pixels[row * stride + 3 * x];
            p[0] = static_cast<std::uint8_t>(x * 3 + y);  // blue
            p[1] = static_cast<std::uint8_t>(y * 5);
            p[2] = static_cast<std::uint8_t>(x ^ y);
        }
    }
    return MakeBmp(s);
}

Rgb Expected24(int x, int y) { return {(x ^ y) & 255, (y * 5) & 255, (x * 3 + y) & 255}; }

BmpSpec Paletted8() {
    BmpSpec s{.width = 3, .height = 2, .bitCount = 8};
    s.palette = {{0, 0, 0}, {10, 20, 30}, {40, 50, 60}, {70, 80, 90}};
    s.coloursUsed = 4;
    s.pixels = {1, 2, 3, 0, /* top row: */ 3, 2, 1, 0};
    return s;
}

}  // namespace

// This program's fsync, found before the C library's: a flush the test can fail.
extern "C" int fsync(int fd) {
    if (flushesFail) {
        errno = EIO;
        return -1;
    }
    return static_cast<int>(syscall(SYS_fsync, fd));
}

TEST(BitmapLoad, MessagesInTheOrderTheFileIsChecked) {
    ScratchFolder folder;
    TWin win(5, 5);
    const TWin* same = &win;
    EXPECT_EQ(Load(win, folder / "missing.bmp"), "Cannot open file " + (folder / "missing.bmp"));
    EXPECT_EQ(&win, same);
    EXPECT_FALSE(win.HasPixels());
    EXPECT_EQ(Load(win, folder / ""), "Cannot open file " + (folder / ""));  // a folder

    EXPECT_EQ(LoadMessage({}), "");  // empty file: 0 x 0, no error
    EXPECT_EQ(LoadMessage({'B'}), kReadError);
    EXPECT_EQ(LoadMessage(Bytes(13, 'B')), kReadError);
    EXPECT_EQ(LoadMessage(Bytes(14, 0)), kNotValid);
    Bytes notBm = Make24(2, 2);
    notBm[1] = 'A';
    EXPECT_EQ(LoadMessage(notBm), kNotValid);

    // Ends inside the info header, or a header size that is no header.
    const Bytes good = Make24(2, 2);
    EXPECT_EQ(LoadMessage(Bytes(good.begin(), good.begin() + 16)), kNotValid);
    EXPECT_EQ(LoadMessage(Bytes(good.begin(), good.begin() + 40)), kNotValid);
    Bytes odd = good;
    Put32(odd, 14, 15);  // too short to hold the bit count
    EXPECT_EQ(LoadMessage(odd), kNotValid);
    Put32(odd, 14, 0xFFFFFFF0);
    EXPECT_EQ(LoadMessage(odd), kNotValid);

    BmpSpec planes = Paletted8();
    planes.planes = 2;
    EXPECT_EQ(LoadMessage(MakeBmp(planes)), kNotValid);

    // Ending inside the masks or the implied colour table is a read error...
    BmpSpec masked{.width = 1, .height = 1, .bitCount = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F}};
    const Bytes masks = MakeBmp(masked);
    EXPECT_EQ(LoadMessage(Bytes(masks.begin(), masks.begin() + 54 + 10)), kReadError);
    BmpSpec table = Paletted8();
    table.coloursUsed = 0;
    table.palette.resize(100);
    table.pixels.clear();
    EXPECT_EQ(LoadMessage(MakeBmp(table)), kReadError);
    // ...but a stated colour count the file could never hold is not a bitmap.
    table.coloursUsed = 0x40000000;
    EXPECT_EQ(LoadMessage(MakeBmp(table)), kNotValid);
}

TEST(BitmapLoad, HeadersThatCannotDescribeAnImageAreRefusedBeforeAllocating) {
    auto with = [](auto change) {
        BmpSpec s = Paletted8();
        change(s);
        return LoadMessage(MakeBmp(s));
    };
    EXPECT_EQ(with([](BmpSpec& s) { s.width = 0; }), kNotValid);
    EXPECT_EQ(with([](BmpSpec& s) { s.height = 0; }), kNotValid);
    EXPECT_EQ(with([](BmpSpec& s) { s.width = -3; }), kNotValid);
    EXPECT_EQ(with([](BmpSpec& s) { s.width = 32768; }), kNotValid);
    EXPECT_EQ(with([](BmpSpec& s) { s.height = -32768; }), kNotValid);
    EXPECT_EQ(with([](BmpSpec& s) { s.height = INT32_MIN; }), kNotValid);
    for (std::uint16_t bits : {0, 2, 3, 15, 48, 64, 0xFFFF})
        EXPECT_EQ(with([&](BmpSpec& s) { s.bitCount = bits; }), kNotValid) << bits;
    // Compressions that do not fit the depth, and the embedded-image ones.
    const std::pair<std::uint16_t, std::uint32_t> misfits[] = {{4, 1}, {8, 2}, {24, 1}, {24, 3}, {8, 3},
                                                              {16, 1}, {24, 4}, {24, 5}, {32, 7}, {8, 6}};
    for (auto [bits, compression] : misfits)
        EXPECT_EQ(with([&](BmpSpec& s) { s.bitCount = bits, s.compression = compression; }), kNotValid)
            << bits << "/" << compression;
    EXPECT_EQ(with([](BmpSpec& s) { s.compression = 1, s.height = -2; }), kNotValid);  // top-down RLE
    // Bit fields with a header too short to hold the masks and none after it.
    EXPECT_EQ(with([](BmpSpec& s) { s.bitCount = 32, s.compression = 3, s.headerSize = 44; }), kNotValid);
    // Masks whose bits are not one run.
    EXPECT_EQ(with([](BmpSpec& s) { s.bitCount = 16, s.compression = 3, s.masks = {0xF00F, 0x07E0, 0x1F}; }),
              kNotValid);

    // The largest legal size passes the header checks without allocating (and is
    // then refused for want of data); a caller's pixel limit turns it into the
    // out-of-memory report first.
    BmpSpec big{.width = 32767, .height = -32767};
    const Bytes bytes = MakeBmp(big);
    raster::bitmap::MemorySource source(bytes.data(), bytes.size());
    EXPECT_EQ(LoadMessage(bytes), "Image too large for its file: 32767 x 32767 pixels in 54 bytes");
    try {
        raster::bitmap::ReadLayout(source, {.maxPixels = 1 << 20});
        ADD_FAILURE() << "no error";
    } catch (const LoadError& e) {
        EXPECT_STREQ(e.what(), raster::bitmap::kOutOfMemory);
    }
}

TEST(BitmapLoad, MemoryThatCannotBeHadIsASystemErrorNotACrash) {
    ScratchFolder folder;
    const std::string path = folder.Write("fine.bmp", Make24(300, 200));
    platform::gdi::SetImageAllocationFailureForTesting([](std::size_t) { return true; });
    TWin win(2, 2);
    const std::string message = Load(win, path);
    platform::gdi::SetImageAllocationFailureForTesting({});
    EXPECT_EQ(message, "System Error.  Code: 8.\r\nNot enough memory resources are available to process this command.");
    EXPECT_FALSE(win.HasPixels());
    EXPECT_EQ(Load(win, path), "");  // and the same file loads once memory is there
}

// Above 8192 x 8192 pixels the file must hold the data; below, short files load as before.
TEST(BitmapLoad, HugeImagesMustBeBackedByTheirFile) {
    struct Case {
        std::int32_t width, height;
        std::uint32_t compression;
        std::size_t dataBytes;
        bool loads;
    };
    const Case cases[] = {
        {32767, 32767, 0, 4, false},
        {8192, 8193, 0, 1000, false},
        {8192, 8192, 0, 4, true},                     // at the limit: a short file loads, the rest black
        {8193, 8192, 1, 8193 * 8192 / 128 - 1, false},  // run-length: one byte per 128 pixels at least
        {8193, 8192, 1, 8193 * 8192 / 128, true},
    };
    for (const Case& c : cases) {
        BmpSpec s{.width = c.width, .height = c.height, .bitCount = static_cast<std::uint16_t>(c.compression ? 8 : 24),
                  .compression = c.compression};
        if (c.compression) s.palette.assign(256, {0, 0, 0});
        s.pixels.assign(c.dataBytes, 0);
        const Bytes file = MakeBmp(s);
        if (c.loads) {
            EXPECT_EQ(LoadMessage(file), "") << c.width << " x " << c.height;
        } else {
            EXPECT_EQ(LoadMessage(file), "Image too large for its file: " + std::to_string(c.width) + " x " +
                                             std::to_string(c.height) + " pixels in " + std::to_string(file.size()) +
                                             " bytes");
        }
    }
}

TEST(Win, ARowTooWideForTheStrideIsRefusedNotWrapped) {
    TWin wide(1'500'000'000, 1);
    EXPECT_FALSE(wide.HasPixels());
    EXPECT_EQ(wide.Width(), 0);
    EXPECT_EQ(wide.Stride, 0u);
}

TEST(BitmapLoad, ExclusivelyLockedFileCannotBeOpened) {
    ScratchFolder folder;
    const std::string path = folder.Write("locked.bmp", Make24(2, 2));
    const int fd = open(path.c_str(), O_RDONLY);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    TWin win(1, 1);
    EXPECT_EQ(Load(win, path), "Cannot open file " + path);
    flock(fd, LOCK_UN);
    EXPECT_EQ(Load(win, path), "");
    close(fd);
}

TEST(BitmapLoad, TwentyFourBitBottomUpTopDownAndShortData) {
    for (bool topDown : {false, true}) {
        TWin win(1, 1);
        const TWin* same = &win;
        ASSERT_EQ(LoadBytes(win, Make24(5, 3, topDown)), "");
        EXPECT_EQ(&win, same);
        ASSERT_EQ(win.Width(), 5);
        ASSERT_EQ(win.Height(), 3);
        EXPECT_EQ(win.Info.biHeight, -3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) EXPECT_EQ(PixelAt(win, x, y), Expected24(x, y)) << x << "," << y;
    }
    // Pixel data that stop early: the full size, unread pixels (and a pixel read in part) black.
    Bytes bytes = Make24(5, 3);
    bytes.resize(54 + 16 + 7);  // bottom row (16 bytes) and two pixels and a byte of the middle row
    TWin win(1, 1);
    ASSERT_EQ(LoadBytes(win, bytes), "");
    ASSERT_EQ(win.Height(), 3);
    EXPECT_EQ(PixelAt(win, 4, 2), Expected24(4, 2));
    EXPECT_EQ(PixelAt(win, 1, 1), Expected24(1, 1));
    EXPECT_EQ(PixelAt(win, 2, 1), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelAt(win, 4, 0), (Rgb{0, 0, 0}));
    // A stated image size smaller than the data limits what is read.
    Bytes stated = Make24(5, 3);
    Put32(stated, 34, 16);
    ASSERT_EQ(LoadBytes(win, stated), "");
    EXPECT_EQ(PixelAt(win, 3, 2), Expected24(3, 2));
    EXPECT_EQ(PixelAt(win, 3, 1), (Rgb{0, 0, 0}));
}

TEST(BitmapLoad, PalettedDepthsTablesAndIndexesBeyondTheTable) {
    TWin win(1, 1);
    ASSERT_EQ(LoadBytes(win, MakeBmp(Paletted8())), "");
    EXPECT_EQ(PixelAt(win, 0, 0), (Rgb{90, 80, 70}));
    EXPECT_EQ(PixelAt(win, 2, 0), (Rgb{30, 20, 10}));
    EXPECT_EQ(PixelAt(win, 0, 1), (Rgb{30, 20, 10}));
    EXPECT_EQ(PixelAt(win, 1, 1), (Rgb{60, 50, 40}));

    // An index past a short table is black, never a read beyond it.
    BmpSpec shortTable = Paletted8();
    shortTable.pixels = {200, 1, 255, 0, 4, 3, 3, 0};
    ASSERT_EQ(LoadBytes(win, MakeBmp(shortTable)), "");
    EXPECT_EQ(PixelAt(win, 0, 1), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelAt(win, 2, 1), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelAt(win, 0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelAt(win, 1, 0), (Rgb{90, 80, 70}));

    // biClrUsed 0 reads the full table: 256 entries for 8 bits.
    BmpSpec full{.width = 1, .height = 1, .bitCount = 8};
    for (int i = 0; i < 256; ++i) full.palette.push_back({std::uint8_t(i), std::uint8_t(255 - i), 7});
    full.pixels = {200, 0, 0, 0};
    ASSERT_EQ(LoadBytes(win, MakeBmp(full)), "");
    EXPECT_EQ(PixelAt(win, 0, 0), (Rgb{7, 55, 200}));

    // 1 and 4 bits, most significant bits first, a width that ends mid-byte.
    BmpSpec one{.width = 10, .height = 1, .bitCount = 1, .palette = {{0, 0, 255}, {255, 0, 0}}};
    one.pixels = {0b10110000, 0b01000000, 0, 0};
    ASSERT_EQ(LoadBytes(win, MakeBmp(one)), "");
    const int ones[10] = {1, 0, 1, 1, 0, 0, 0, 0, 0, 1};
    for (int x = 0; x < 10; ++x) EXPECT_EQ(PixelAt(win, x, 0), (ones[x] ? Rgb{0, 0, 255} : Rgb{255, 0, 0})) << x;
    BmpSpec four{.width = 3, .height = 1, .bitCount = 4};
    for (int i = 0; i < 16; ++i) four.palette.push_back({0, 0, std::uint8_t(i * 10)});
    four.pixels = {0x5A, 0xF0, 0, 0};
    ASSERT_EQ(LoadBytes(win, MakeBmp(four)), "");
    EXPECT_EQ(PixelAt(win, 0, 0)[0], 50);
    EXPECT_EQ(PixelAt(win, 1, 0)[0], 100);
    EXPECT_EQ(PixelAt(win, 2, 0)[0], 150);

    // The core header: 16-bit sizes and 3-byte colour entries.
    BmpSpec core = Paletted8();
    core.headerSize = 12;
    core.coloursUsed = 0;
    core.palette.resize(256);
    ASSERT_EQ(LoadBytes(win, MakeBmp(core)), "");
    EXPECT_EQ(PixelAt(win, 1, 1), (Rgb{60, 50, 40}));
    EXPECT_EQ(PixelAt(win, 0, 0), (Rgb{90, 80, 70}));

    // A 16-byte OS/2 2.x header: the fields it leaves out are 0, the colour
    // entries are 4 bytes as after any header but the core one.
    BmpSpec shortHeader = Paletted8();
    shortHeader.headerSize = 16;
    shortHeader.palette.resize(256);
    ASSERT_EQ(LoadBytes(win, MakeBmp(shortHeader)), "");
    EXPECT_EQ(PixelAt(win, 1, 1), (Rgb{60, 50, 40}));
    EXPECT_EQ(PixelAt(win, 0, 0), (Rgb{90, 80, 70}));

    // A core header whose pixel offset shows a shortened table.
    core.palette.resize(4);
    ASSERT_EQ(LoadBytes(win, MakeBmp(core)), "");
    EXPECT_EQ(PixelAt(win, 0, 0), (Rgb{90, 80, 70}));
}

TEST(BitmapLoad, PixelOffsetIsHonouredOnlyPastTheTableAndInsideTheFile) {
    TWin win(1, 1);
    BmpSpec gap = Paletted8();
    gap.gap = 6;
    ASSERT_EQ(LoadBytes(win, MakeBmp(gap)), "");
    EXPECT_EQ(PixelAt(win, 0, 0), (Rgb{90, 80, 70}));
    // Pointing into the table, or past the end: pixels come right after the table.
    for (std::uint32_t offset : {60u, 100000u}) {
        BmpSpec s = Paletted8();
        s.offBits = offset;
        ASSERT_EQ(LoadBytes(win, MakeBmp(s)), "");
        EXPECT_EQ(PixelAt(win, 0, 0), (Rgb{90, 80, 70})) << offset;
        EXPECT_EQ(PixelAt(win, 1, 1), (Rgb{60, 50, 40})) << offset;
    }
}

TEST(BitmapLoad, RunLengthEncodings) {
    TWin win(1, 1);
    BmpSpec rle{.width = 6, .height = 3, .bitCount = 8, .compression = 1};
    for (int i = 0; i < 256; ++i) rle.palette.push_back({0, 0, std::uint8_t(i)});
    rle.pixels = {
        3, 7,              // bottom row: three of 7
        0, 3, 1, 2, 3, 0,  // absolute run of three, padded
        0, 0,              // end of line
        0, 2, 2, 1,        // delta: 2 right, 1 up -> (2, top row)
        9, 5,              // a run past the row's end is clipped
        0, 1,              // end of bitmap
        4, 4,              // never reached
    };
    ASSERT_EQ(LoadBytes(win, MakeBmp(rle)), "");
    auto red = [&](int x, int y) { return PixelAt(win, x, y)[0]; };
    const int bottom[6] = {7, 7, 7, 1, 2, 3};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(red(x, 2), bottom[x]);
    for (int x = 0; x < 6; ++x) EXPECT_EQ(red(x, 1), 0);  // skipped: stays black
    const int top[6] = {0, 0, 5, 5, 5, 5};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(red(x, 0), top[x]);

    // A delta taken from the middle of a row moves on from there.
    rle.pixels = {2, 9, 0, 2, 1, 1, 1, 4, 0, 1};  // two of 9, delta 1 right 1 up, one of 4
    ASSERT_EQ(LoadBytes(win, MakeBmp(rle)), "");
    EXPECT_EQ(PaintedPixels(win, {0, 0, 0}), (std::set<std::pair<int, int>>{{0, 2}, {1, 2}, {3, 1}}));
    EXPECT_EQ(red(3, 1), 4);

    // Deltas and runs that leave the picture write nothing outside it.
    rle.pixels = {0, 2, 255, 255, 200, 9, 0, 0, 0, 255, 1, 2, 3, 4};
    ASSERT_EQ(LoadBytes(win, MakeBmp(rle)), "");
    EXPECT_TRUE(PaintedPixels(win, {0, 0, 0}).empty());
    // An absolute run across the right edge keeps what fits; the first pixel past
    // the edge would land in the row's padding and the next row's first byte.
    rle.pixels = {0, 2, 4, 1, 0, 4, 1, 2, 3, 4, 0, 1};
    ASSERT_EQ(LoadBytes(win, MakeBmp(rle)), "");
    EXPECT_EQ(PaintedPixels(win, {0, 0, 0}), (std::set<std::pair<int, int>>{{4, 1}, {5, 1}}));

    BmpSpec rle4{.width = 7, .height = 2, .bitCount = 4, .compression = 2};
    for (int i = 0; i < 16; ++i) rle4.palette.push_back({0, 0, std::uint8_t(i)});
    rle4.pixels = {
        5, 0x12,           // 1 2 1 2 1
        0, 3, 0x34, 0x50,  // absolute 3 4 5 (two bytes, already even)
        0, 0,              // end of line
        0, 5, 0x67, 0x89, 0xA0, 0,  // absolute 6 7 8 9 10, three bytes padded to four
        0, 1,
    };
    ASSERT_EQ(LoadBytes(win, MakeBmp(rle4)), "");
    const int bottom4[7] = {1, 2, 1, 2, 1, 3, 4};  // the 5 falls off the row
    for (int x = 0; x < 7; ++x) EXPECT_EQ(red(x, 1), bottom4[x]) << x;
    const int top4[7] = {6, 7, 8, 9, 10, 0, 0};
    for (int x = 0; x < 7; ++x) EXPECT_EQ(red(x, 0), top4[x]) << x;

    // Data that end in the middle of an escape simply stop.
    rle4.pixels = {2, 0x11, 0, 2, 1};
    ASSERT_EQ(LoadBytes(win, MakeBmp(rle4)), "");
    EXPECT_EQ(red(1, 1), 1);
    EXPECT_EQ(red(2, 1), 0);
}

TEST(BitmapLoad, SixteenAndThirtyTwoBitChannels) {
    TWin win(1, 1);
    // Default 16-bit: 5-5-5, the top bit ignored; the largest value is 255.
    BmpSpec s16{.width = 3, .height = 1, .bitCount = 16};
    s16.pixels = {0x00, 0xFC, 0xE0, 0x03, 0x1F, 0x80, 0, 0};  // red 31 (+ top bit), green 31, blue 31
    ASSERT_EQ(LoadBytes(win, MakeBmp(s16)), "");
    EXPECT_EQ(PixelAt(win, 0, 0), (Rgb{255, 0, 0}));
    EXPECT_EQ(PixelAt(win, 1, 0), (Rgb{0, 255, 0}));
    EXPECT_EQ(PixelAt(win, 2, 0), (Rgb{0, 0, 255}));

    // 5-6-5 masks after a 40-byte header: 6-bit 63 -> 255, 6-bit 32 -> 130, 5-bit 16 -> 132.
    BmpSpec s565{.width = 2, .height = 1, .bitCount = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F}};
    s565.pixels = {0xE0, 0x07, 0x10, 0x84};  // green 63; red 16, green 32, blue 16
    ASSERT_EQ(LoadBytes(win, MakeBmp(s565)), "");
    EXPECT_EQ(PixelAt(win, 0, 0), (Rgb{0, 255, 0}));
    EXPECT_EQ(PixelAt(win, 1, 0), (Rgb{132, 130, 132}));

    // 32-bit default: blue, green, red, unused.
    BmpSpec s32{.width = 1, .height = 1, .bitCount = 32, .pixels = {10, 20, 30, 99}};
    ASSERT_EQ(LoadBytes(win, MakeBmp(s32)), "");
    EXPECT_EQ(PixelAt(win, 0, 0), (Rgb{30, 20, 10}));
    // Data that stop inside a pixel: that pixel stays black.
    BmpSpec short32{.width = 2, .height = 1, .bitCount = 32, .pixels = {10, 20, 30, 99, 40, 50}};
    ASSERT_EQ(LoadBytes(win, MakeBmp(short32)), "");
    EXPECT_EQ(PixelAt(win, 0, 0), (Rgb{30, 20, 10}));
    EXPECT_EQ(PixelAt(win, 1, 0), (Rgb{0, 0, 0}));

    // Masks inside a V5 header, with channels of 10 and 2 bits and one of none.
    BmpSpec v5{.width = 1, .height = 1, .bitCount = 32, .compression = 3, .headerSize = 124};
    v5.masks = {0x000003FF, 0x00000C00, 0, 0xFF000000};
    v5.pixels = {0xFF, 0x0B, 0, 0};  // red 1023, green 2 of 3
    ASSERT_EQ(LoadBytes(win, MakeBmp(v5)), "");
    EXPECT_EQ(PixelAt(win, 0, 0), (Rgb{255, 170, 0}));
    // ...which a plain 40-byte header with compression 0 would not use.
    v5.compression = 0;
    ASSERT_EQ(LoadBytes(win, MakeBmp(v5)), "");
    EXPECT_EQ(PixelAt(win, 0, 0), (Rgb{0, 11, 255}));

    // Alpha bit fields after a 40-byte header: four masks, the alpha one ignored.
    BmpSpec alpha{.width = 1, .height = 1, .bitCount = 32, .compression = 6};
    alpha.masks = {0xFF, 0xFF00, 0xFF0000, 0xFF000000};
    alpha.pixels = {1, 2, 3, 4};
    ASSERT_EQ(LoadBytes(win, MakeBmp(alpha)), "");
    EXPECT_EQ(PixelAt(win, 0, 0), (Rgb{1, 2, 3}));
}

TEST(BitmapSave, LayoutRoundTripAndSize) {
    ScratchFolder folder;
    TWin win(1, 1);
    const Bytes original = Make24(5, 3);
    const std::string source = folder.Write("in.bmp", original);
    ASSERT_EQ(Load(win, source), "");
    const SaveResult saved = win.SaveToFile(folder / "out.bmp");
    EXPECT_TRUE(saved.ok) << saved.error;
    EXPECT_EQ(ReadAll(folder / "out.bmp"), original);  // same header values, same rows, zero padding

    // A top-down file comes back bottom-up with a positive height.
    ASSERT_EQ(Load(win, folder.Write("down.bmp", Make24(5, 3, true))), "");
    ASSERT_TRUE(win.SaveToFile(folder / "up.bmp").ok);
    EXPECT_EQ(ReadAll(folder / "up.bmp"), original);

    TWin big(129, 129);
    FillWithCoordinates(big);
    big.Bits[387] = 0xAB;  // row padding in memory is not the file's business
    ASSERT_TRUE(big.SaveToFile(folder / "big.bmp").ok);
    const Bytes bytes = ReadAll(folder / "big.bmp");
    ASSERT_EQ(bytes.size(), 50106u);
    EXPECT_EQ(Get32(bytes, 2), 50106u);
    EXPECT_EQ(Get32(bytes, 10), 54u);
    EXPECT_EQ(Get32(bytes, 14), 40u);
    EXPECT_EQ(Get32(bytes, 22), 129u);
    EXPECT_EQ(Get32(bytes, 34), 388u * 129);
    EXPECT_EQ(Get32(bytes, 6), 0u);
    EXPECT_EQ(Get32(bytes, 30), 0u);
    EXPECT_EQ(Get32(bytes, 46), 0u);
    // First stored row is the bottom one; padding is zero even if the raster's is not.
    EXPECT_EQ(bytes[54 + 2], static_cast<std::uint8_t>(0));  // red of (0, 128) = x & 255
    EXPECT_EQ(bytes[54 + 1], 128);
    EXPECT_EQ(bytes[54 + 387], 0);
    TWin back(1, 1);
    ASSERT_EQ(Load(back, folder / "big.bmp"), "");
    for (int y : {0, 64, 128})
        for (int x : {0, 77, 128}) EXPECT_EQ(PixelAt(back, x, y), PixelAt(big, x, y));

    // Rows go out in chunks of about a megabyte: an image of several chunks comes
    // back row for row.
    TWin large(1000, 1100);
    FillWithCoordinates(large);
    for (int y = 0; y < 1100; ++y) large.PixelAddress(0, y)[0] = static_cast<std::uint8_t>(y * 7);
    ASSERT_TRUE(large.SaveToFile(folder / "large.bmp").ok);
    ASSERT_EQ(Load(back, folder / "large.bmp"), "");
    ASSERT_EQ(back.Height(), 1100);
    for (int y = 0; y < 1100; ++y)
        ASSERT_EQ(std::memcmp(back.PixelAddress(0, y), large.PixelAddress(0, y), 3000), 0) << "row " << y;
}

TEST(BitmapSave, FailuresLeaveTheExistingFileAloneAndNoLitter) {
    ScratchFolder folder;
    TWin win(3, 2);
    // A folder that does not exist: nothing is written.
    const std::string nowhere = folder / "no/such/folder/x.bmp";
    SaveResult result = win.SaveToFile(nowhere);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "Cannot create file " + nowhere);
    EXPECT_FALSE(std::filesystem::exists(folder / "no"));
    // A target that is a folder.
    std::filesystem::create_directory(folder / "dir.bmp");
    result = win.SaveToFile(folder / "dir.bmp");
    EXPECT_EQ(result.error, "Cannot create file " + (folder / "dir.bmp"));
    // A 0 x 0 raster is reported, and the existing file stays.
    const std::string existing = folder.Write("keep.bmp", Make24(2, 2));
    TWin empty(0, 0);
    result = empty.SaveToFile(existing);
    EXPECT_EQ(result.error, "Stream write error");
    EXPECT_EQ(ReadAll(existing), Make24(2, 2));

    // A write that fails part way (file size limit) keeps the old file whole.
    TWin large(300, 300);
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{10000, 10000};
        setrlimit(RLIMIT_FSIZE, &limit);
        const SaveResult r = large.SaveToFile(existing);
        _exit(!r.ok && r.error == "Stream write error" ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadAll(existing), Make24(2, 2));
    // A flush the disk refuses: the data may not be on it, so the old file stays.
    flushesFail = true;
    result = large.SaveToFile(existing);
    flushesFail = false;
    EXPECT_EQ(result.error, "Stream write error");
    EXPECT_EQ(ReadAll(existing), Make24(2, 2));
    auto entries = folder.Entries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"dir.bmp", "keep.bmp"}));  // no temporary left behind
}

TEST(BitmapSave, ReplacingKeepsPermissionBitsAndFollowsLinks) {
    ScratchFolder folder;
    const std::string existing = folder.Write("mode.bmp", Make24(2, 2));
    ASSERT_EQ(chmod(existing.c_str(), 0640), 0);
    TWin win(4, 4);
    ASSERT_TRUE(win.SaveToFile(existing).ok);
    struct stat st {};
    ASSERT_EQ(stat(existing.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadAll(existing).size(), 54u + 12 * 4);

    ASSERT_EQ(symlink("mode.bmp", (folder / "link.bmp").c_str()), 0);
    TWin other(1, 1);
    ASSERT_TRUE(other.SaveToFile(folder / "link.bmp").ok);
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "link.bmp"));
    EXPECT_EQ(ReadAll(existing).size(), 58u);

    // A dangling link: its target is created, and the link stays.
    ASSERT_EQ(symlink("sub/new.bmp", (folder / "dangling.bmp").c_str()), 0);
    std::filesystem::create_directory(folder / "sub");
    ASSERT_TRUE(other.SaveToFile(folder / "dangling.bmp").ok);
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "dangling.bmp"));
    EXPECT_EQ(ReadAll(folder / "sub/new.bmp").size(), 58u);

    // Special bits are not carried over to the new file.
    ASSERT_EQ(chmod(existing.c_str(), 06755), 0);
    ASSERT_TRUE(win.SaveToFile(existing).ok);
    ASSERT_EQ(stat(existing.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);

    // A new file takes the umask the program started with: saving never changes
    // the umask, which other threads rely on.
    const mode_t started = umask(077);
    ASSERT_TRUE(win.SaveToFile(folder / "fresh.bmp").ok);
    EXPECT_EQ(umask(started), 077u);
    ASSERT_EQ(stat((folder / "fresh.bmp").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u & ~started);

    // The longest name the file system allows still saves; the temporary's name fits too.
    const std::string longest = folder / std::string(255 - 4, 'n').append(".bmp");
    EXPECT_TRUE(win.SaveToFile(longest).ok);
    EXPECT_EQ(ReadAll(longest).size(), 54u + 12 * 4);
}
