#include <gtest/gtest.h>

#include "tests/raster/test_util.h"

TEST(Raster, CreateFillsHeaderAndStrideAndStartsBlack) {
    TWin win(200, 150);
    EXPECT_EQ(win.Info.biSize, 40u);
    EXPECT_EQ(win.Info.biWidth, 200);
    EXPECT_EQ(win.Info.biHeight, -150);
    EXPECT_EQ(win.Info.biBitCount, 24);
    EXPECT_EQ(win.Height(), 150);
    EXPECT_EQ(win.Stride, 600u);
    EXPECT_EQ(PaintedPixels(win, {0, 0, 0}).size(), 0u);
    for (auto [width, stride] : {std::pair{1, 4u}, {2, 8u}, {4, 12u}, {129, 388u}}) {
        TWin w(width, 3);
        EXPECT_EQ(w.Stride, stride) << "width " << width;
    }
}

TEST(Raster, ZeroOrNegativeSizeHasNoPixelStore) {
    for (auto [w, h] : {std::pair{0, 10}, {10, 0}, {-5, 10}, {0, 0}}) {
        TWin win(w, h);
        EXPECT_FALSE(win.HasPixels());
        EXPECT_EQ(win.Width(), 0);
        EXPECT_EQ(win.Height(), 0);
        // Every operation must leave it alone rather than write through a null store.
        win.FillBox(0, 0, 5, 5, 255, 255, 255, 128);
        win.DrawLine(0, 0, 5, 3, 255, 255, 255, 64);
        platform::gdi::MemoryDC none;
        for (int mode = -1; mode <= 6; ++mode) win.Draw(none, mode, 0, 0, 10, 10, 100, 100);
    }
}

TEST(Raster, PixelAddressingAndSequentialAccess) {
    TWin win(10, 10);
    SetPixel(win, 0, 0, {30, 20, 10});
    EXPECT_EQ(win.Bits[0], 10);
    EXPECT_EQ(win.Bits[1], 20);
    EXPECT_EQ(win.Bits[2], 30);

    SetPixel(win, 0, 1, {3, 2, 1});
    SetPixel(win, 1, 1, {6, 5, 4});
    win.Seek(0, 1, 3);
    EXPECT_EQ(win.ReadBlue(), 1);
    EXPECT_EQ(win.ReadGreen(), 2);
    EXPECT_EQ(win.ReadRed(), 3);
    EXPECT_EQ(win.Cursor, win.PixelAddress(1, 1));
    win.Seek(1, 1, -3);
    EXPECT_EQ(win.ReadRed(), 6);
    EXPECT_EQ(win.Cursor, win.PixelAddress(0, 1));

    SetPixel(win, 5, 7, {9, 8, 7});
    std::uint8_t* cursor = win.Cursor;
    EXPECT_EQ(win.PeekBlue(5, 7), 7);
    EXPECT_EQ(win.PeekGreen(), 8);
    EXPECT_EQ(win.PeekRed(), 9);
    EXPECT_EQ(win.Cursor, cursor);
}

namespace {

// A target of its own size whose pixels start at a marker colour.
struct Target {
    TWin canvas;
    Target(int w, int h) : canvas(w, h) { canvas.FillBox(0, 0, w, h, 1, 2, 3, 128); }
    std::set<std::pair<int, int>> Drawn() const { return PaintedPixels(canvas, {1, 2, 3}); }
    // The bounding box of what was drawn: left, top, right, bottom.
    std::array<int, 4> Box() const {
        std::array<int, 4> box{1 << 30, 1 << 30, -1, -1};
        for (auto [x, y] : Drawn()) box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), std::max(box[3], y)};
        return box;
    }
};

}  // namespace

TEST(Raster, DrawActualCentredAndCrop) {
    TWin source(101, 61);
    FillWithCoordinates(source);
    SetPixel(source, 0, 0, {200, 201, 202});  // no marker colour anywhere in the source

    Target actual(300, 200);
    source.Draw(actual.canvas.DC, dmActual, 7, 9, 0, 0, 0, 0);
    EXPECT_EQ(actual.Box(), (std::array<int, 4>{7, 9, 107, 69}));
    EXPECT_EQ(PixelAt(actual.canvas, 7 + 40, 9 + 30), PixelAt(source, 40, 30));

    Target centred(200, 100);
    source.Draw(centred.canvas.DC, dmCentred, 0, 0, 0, 0, 200, 100);
    EXPECT_EQ(centred.Box(), (std::array<int, 4>{50, 20, 150, 80}));  // 100 - 50 and 50 - 30, not 49, 19

    TWin even(100, 60);
    even.FillBox(0, 0, 99, 59, 9, 9, 9, 128);
    Target centredEven(300, 200);
    even.Draw(centredEven.canvas.DC, dmCentred, 0, 0, 0, 0, 300, 200);
    EXPECT_EQ(centredEven.Box(), (std::array<int, 4>{100, 70, 199, 129}));

    // Larger than the area: negative corner, cut on every side.
    TWin large(50, 50);
    FillWithCoordinates(large);
    Target small(20, 20);
    large.Draw(small.canvas.DC, dmCentred, 0, 0, 0, 0, 20, 20);
    EXPECT_EQ(PixelAt(small.canvas, 0, 0), PixelAt(large, 15, 15));
    EXPECT_EQ(PixelAt(small.canvas, 19, 19), PixelAt(large, 34, 34));

    Target crop(50, 50);
    source.Draw(crop.canvas.DC, dmCrop, 5, 6, 10, 4, 0, 0);
    EXPECT_EQ(crop.Box(), (std::array<int, 4>{5, 6, 14, 9}));
    EXPECT_EQ(PixelAt(crop.canvas, 5, 6), PixelAt(source, 0, 0));
}

TEST(Raster, DrawStretchAndTileAndUnknownModes) {
    TWin source(100, 60);
    FillWithCoordinates(source);
    SetPixel(source, 0, 0, {200, 201, 202});

    Target tiles(250, 130);
    source.Draw(tiles.canvas.DC, dmTile, 0, 0, 0, 0, 250, 130);
    EXPECT_TRUE(tiles.Drawn().size() == 250u * 130u);
    for (int ty : {0, 60, 120})
        for (int tx : {0, 100, 200}) EXPECT_EQ(PixelAt(tiles.canvas, tx, ty), PixelAt(source, 0, 0));
    EXPECT_EQ(PixelAt(tiles.canvas, 249, 129), PixelAt(source, 49, 9));

    TWin two(2, 2);
    SetPixel(two, 0, 0, {10, 0, 0});
    SetPixel(two, 1, 0, {20, 0, 0});
    SetPixel(two, 0, 1, {30, 0, 0});
    SetPixel(two, 1, 1, {40, 0, 0});
    Target stretch(40, 40);
    two.Draw(stretch.canvas.DC, dmStretch, 0, 0, 0, 0, 8, 6);
    EXPECT_EQ(stretch.Box(), (std::array<int, 4>{0, 0, 7, 5}));
    EXPECT_EQ(PixelAt(stretch.canvas, 3, 2), (Rgb{10, 0, 0}));
    EXPECT_EQ(PixelAt(stretch.canvas, 4, 3), (Rgb{40, 0, 0}));
    Target rect(40, 40);
    two.Draw(rect.canvas.DC, dmStretchRect, 10, 20, 4, 4, 0, 0);
    EXPECT_EQ(rect.Box(), (std::array<int, 4>{10, 20, 13, 23}));
    EXPECT_EQ(PixelAt(rect.canvas, 12, 21), (Rgb{20, 0, 0}));

    for (int mode : {6, -1, 100}) {
        Target none(300, 200);
        source.Draw(none.canvas.DC, mode, 0, 0, 100, 60, 300, 200);
        EXPECT_TRUE(none.Drawn().empty()) << "mode " << mode;
    }
}

TEST(Raster, SwapExchangesImagesAndKeepsEachDrawable) {
    TWin a(30, 20), b(0, 0);
    FillWithCoordinates(a);
    const Rgb corner = PixelAt(a, 29, 19);
    b.Swap(a);
    EXPECT_FALSE(a.HasPixels());
    EXPECT_EQ(a.Width(), 0);
    ASSERT_EQ(b.Width(), 30);
    EXPECT_EQ(b.Height(), 20);
    EXPECT_EQ(PixelAt(b, 29, 19), corner);
    // The drawing context follows the pixels it belongs to.
    TWin target(30, 20);
    b.Draw(target.DC, dmActual, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(PixelAt(target, 29, 19), corner);
    a.FillBox(0, 0, 5, 5, 1, 1, 1, 128);  // the emptied raster is still safe to use
}
