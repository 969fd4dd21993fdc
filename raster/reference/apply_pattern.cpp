#include <vector>

#include "raster/reference/reference.h"

namespace reference {

namespace {

struct Rgb {
    int red, green, blue;
};

}  // namespace

int ApplyPattern(TWin& w, std::int32_t P, std::int32_t D, std::int32_t OnRed, std::int32_t OnGreen,
                 std::int32_t OnBlue, std::int32_t OffRed, std::int32_t OffGreen, std::int32_t OffBlue,
                 std::int32_t LineRed, std::int32_t LineGreen, std::int32_t LineBlue, std::int32_t X1, std::int32_t Y1,
                 std::int32_t X2, std::int32_t Y2) {
    if (P < 0 || P > 65 || P == 13 || !w.HasPixels()) return 0;
    const int W = w.Width(), H = w.Height();
    const Rgb on{OnRed, OnGreen, OnBlue}, off{OffRed, OffGreen, OffBlue}, line{LineRed, LineGreen, LineBlue};
    const std::vector<std::uint8_t> original(w.Bits, w.Bits + static_cast<std::size_t>(w.Stride) * H);
    int touchedSamples = 0;
    auto sample = [&](int x, int y) {
        const int blue = w.PeekBlue(x, y);
        const Rgb s{w.PeekRed(), w.PeekGreen(), blue};
        const std::uint8_t* before = original.data() + (w.Probe - w.Bits);
        if (before[0] != s.blue || before[1] != s.green || before[2] != s.red) ++touchedSamples;
        return s;
    };
    auto lit = [&](Rgb s) { return s.blue > D || s.green > D || s.red > D; };
    auto drawLine = [&](int x1, int y1, int x2, int y2, Rgb k) { w.DrawLine(x1, y1, x2, y2, k.red, k.green, k.blue, 128); };
    auto box = [&](int x1, int y1, int x2, int y2, Rgb k) { w.FillBox(x1, y1, x2, y2, k.red, k.green, k.blue, 128); };

    if (P >= 40) {
        // Fixed pitches; unlit cells in the line colour, edges always black.
        static const int columns[13] = {2, 3, 4, 5, 6, 7, 8, 19, 2, 4, 4, 8, 12};
        static const int rows[13] = {2, 3, 4, 5, 6, 7, 8, 19, 4, 2, 8, 4, 6};
        const int SX = columns[(P - 40) % 13], SY = rows[(P - 40) % 13], HX = SX / 2, HY = SY / 2;
        for (int CY = SY - HY + 2; CY < H - HY; CY += SY)
            for (int CX = SX - HX + 2; CX < W - HX; CX += SX) {
                box(CX - HX, CY - HY, CX + HX, CY + HY, lit(sample(CX, CY)) ? on : line);
                if (P <= 52) {
                    drawLine(CX - HX, CY - HY, CX - HX, CY + HY, {0, 0, 0});
                    drawLine(CX - HX, CY - HY, CX + HX, CY - HY, {0, 0, 0});
                }
            }
        return touchedSamples;
    }

    // The region: negative corners are the raster's edges; cut at the raster.
    if (X1 < 0) X1 = 0;
    if (Y1 < 0) Y1 = 0;
    if (X2 < 0) X2 = W - 1;
    if (Y2 < 0) Y2 = H - 1;
    if (X2 > W - 1) X2 = W - 1;
    if (Y2 > H - 1) Y2 = H - 1;
    if (X1 > X2 || Y1 > Y2) return touchedSamples;

    int xShift, yShift;
    if (P <= 6) xShift = yShift = 7 - P;
    else if (P <= 12) xShift = yShift = 14 - P;
    else if (P <= 20) xShift = yShift = 21 - P;
    else if (P <= 26) xShift = 27 - P, yShift = 28 - P;
    else if (P <= 32) xShift = 34 - P, yShift = 33 - P;
    else xShift = yShift = 40 - P;
    const int SX = (X2 - X1) >> xShift, SY = (Y2 - Y1) >> yShift;
    if (SX == 0 || SY == 0) return touchedSamples;  // no pitch: no cells
    const int HX = SX / 2, HY = SY / 2;
    const bool grid = !(P >= 14 && P <= 20);
    int XR = -1, lastCY = -1;
    for (int CY = Y1 + HY + 1; CY < Y2 - HY; CY += SY) {
        int lastCX = -1;
        for (int CX = X1 + HX + 1; CX < X2 - HX; CX += SX) {
            if (P >= 7 && P <= 20) box(CX - HX, CY - HY, CX + HX, CY + HY, sample(CX, CY));
            if (P >= 21) box(CX - HX, CY - HY, CX + HX, CY + HY, lit(sample(CX, CY)) ? on : off);
            if (grid) {
                drawLine(CX - HX, CY - HY, CX - HX, CY + HY, line);
                drawLine(CX - HX, CY - HY, CX + HX, CY - HY, line);
            }
            lastCX = CX;
        }
        if (grid && lastCX >= 0) {
            XR = lastCX + HX;
            drawLine(XR, CY - HY, XR, CY + HY, line);
        }
        lastCY = CY;
    }
    if (grid && lastCY >= 0) drawLine(X1 + 1, lastCY + HY, XR, lastCY + HY, line);
    return touchedSamples;
}

}  // namespace reference
