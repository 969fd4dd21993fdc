#include <algorithm>
#include <cstring>

#include "raster/blend.h"
#include "raster/win.h"

void TWin::FillBox(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2, std::int32_t Red,
                   std::int32_t Green, std::int32_t Blue, std::int32_t Weight) {
    if (!HasPixels()) return;
    if (X1 > X2) std::swap(X1, X2);
    if (Y1 > Y2) std::swap(Y1, Y2);
    const std::int32_t lastColumn = Width() - 1, lastRow = Height() - 1;
    X1 = std::clamp(X1, 0, lastColumn);
    X2 = std::clamp(X2, 0, lastColumn);
    Y1 = std::clamp(Y1, 0, lastRow);
    Y2 = std::clamp(Y2, 0, lastRow);
    Step = 3;
    const std::size_t count = static_cast<std::size_t>(X2 - X1 + 1);
    const auto blue = static_cast<std::uint8_t>(Blue), green = static_cast<std::uint8_t>(Green),
               red = static_cast<std::uint8_t>(Red);
    if (Weight == 128) {
        // Opaque: one row is written pixel by pixel, every further row copies it.
        std::uint8_t* first = PixelAddress(X1, Y1);
        if (blue == green && green == red) {
            std::memset(first, blue, 3 * count);
        } else {
            std::uint8_t* p = first;
            for (std::size_t i = 0; i < count; ++i, p += 3) {
                p[0] = blue;
                p[1] = green;
                p[2] = red;
            }
        }
        for (std::int32_t y = Y1 + 1; y <= Y2; ++y) std::memcpy(PixelAddress(X1, y), first, 3 * count);
        Cursor = PixelAddress(X1, Y2) + 3 * count;
        return;
    }
    for (std::int32_t y = Y1; y <= Y2; ++y) {
        Cursor = PixelAddress(X1, y);
        for (std::size_t i = 0; i < count; ++i) {
            Cursor[0] = static_cast<std::uint8_t>(Blend(Cursor[0], Blue, Weight, 0));
            Cursor[1] = static_cast<std::uint8_t>(Blend(Cursor[1], Green, Weight, 0));
            Cursor[2] = static_cast<std::uint8_t>(Blend(Cursor[2], Red, Weight, 0));
            Cursor += Step;
        }
    }
}
