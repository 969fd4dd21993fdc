#include <algorithm>
#include <cstdlib>

#include "raster/blend.h"
#include "raster/win.h"

namespace {

struct Colour {
    std::uint8_t blue, green, red;
    std::int32_t blueValue, greenValue, redValue, weight;

    void Paint(std::uint8_t* pixel, bool opaque) const {
        if (opaque) {
            pixel[0] = blue;
            pixel[1] = green;
            pixel[2] = red;
        } else {
            pixel[0] = static_cast<std::uint8_t>(Blend(pixel[0], blueValue, weight, 0));
            pixel[1] = static_cast<std::uint8_t>(Blend(pixel[1], greenValue, weight, 0));
            pixel[2] = static_cast<std::uint8_t>(Blend(pixel[2], redValue, weight, 0));
        }
    }
};

}  // namespace

void TWin::DrawLine(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2, std::int32_t Red,
                    std::int32_t Green, std::int32_t Blue, std::int32_t Weight) {
    if (!HasPixels()) return;
    const std::int32_t lastColumn = Width() - 1, lastRow = Height() - 1;
    X1 = std::clamp(X1, 0, lastColumn);
    X2 = std::clamp(X2, 0, lastColumn);
    Y1 = std::clamp(Y1, 0, lastRow);
    Y2 = std::clamp(Y2, 0, lastRow);
    const std::int32_t DX = X2 - X1, DY = Y2 - Y1;
    const bool opaque = Weight == 128;
    const Colour colour{static_cast<std::uint8_t>(Blue), static_cast<std::uint8_t>(Green),
                        static_cast<std::uint8_t>(Red),  Blue, Green, Red, Weight};

    if (DX == 0 && DY == 0) {
        Probe = PixelAddress(X1, Y1);
        colour.Paint(Probe, opaque);
        return;
    }
    if (DY == 0) {
        if (X1 > X2) std::swap(X1, X2);
        Seek(X1, Y1, 3);
        for (std::int32_t i = X1; i <= X2; ++i) {
            colour.Paint(Cursor, opaque);
            Cursor += Step;
        }
        return;
    }
    if (DX == 0) {
        if (Y1 > Y2) std::swap(Y1, Y2);
        for (std::int32_t row = Y1; row <= Y2; ++row) {
            Probe = PixelAddress(X1, row);
            colour.Paint(Probe, opaque);
        }
        return;
    }

    // Slanted: an error-accumulating walk along the major axis. The error starts
    // at (M + 1) div 2 so that a minor extent of 1 still reaches the far end.
    const bool alongX = std::abs(DX) > std::abs(DY);
    const std::int32_t M = alongX ? std::abs(DX) : std::abs(DY);
    const std::int32_t N = alongX ? std::abs(DY) : std::abs(DX);
    const std::int32_t S = (alongX ? DY : DX) > 0 ? 1 : -1;
    const bool fromFirst = alongX ? X1 <= X2 : Y1 <= Y2;
    std::int32_t major = fromFirst ? (alongX ? X1 : Y1) : (alongX ? X2 : Y2);
    std::int32_t minor = fromFirst ? (alongX ? Y1 : X1) : (alongX ? Y2 : X2);
    const std::int32_t minorStep = fromFirst ? S : -S;
    std::int32_t error = (M + 1) / 2;
    for (std::int32_t i = 0; i <= M; ++i, ++major) {
        Probe = alongX ? PixelAddress(major, minor) : PixelAddress(minor, major);
        colour.Paint(Probe, opaque);
        error += N;
        if (error > M) {
            minor += minorStep;
            error -= M;
        }
    }
}
