#include <algorithm>
#include <cstdlib>

#include "raster/blend.h"
#include "raster/reference/reference.h"
#include "raster/rotation.h"

namespace reference {

namespace {

int Truncate(double value) { return static_cast<int>(value); }  // values here stay small

// Negative scales: a flip of y is a half turn and a mirror, a flip of x a mirror.
bool Mirror(float& scaleX, float& scaleY, float& angle) {
    bool mirrored = false;
    if (scaleY < 0) {
        scaleY = -scaleY;
        angle = angle + 180.0f;
        angle = 360.0f - angle;
        mirrored = true;
    }
    if (scaleX < 0) {
        scaleX = -scaleX;
        angle = 360.0f - angle;
        mirrored = !mirrored;
    }
    return mirrored;
}

// The destination pixels visited: a box around the pivot, or everything inside the insets.
void ScanRange(const Placement& p, bool full, std::int64_t A, float scaleX, float scaleY, int hw, int hh, int dw,
               int dh, int& x0, int& x1, int& y0, int& y1) {
    if (!full) {
        int G, H;
        if (A == 0 || A == 18000) {
            G = Truncate(double(scaleX) * hw) + 1, H = Truncate(double(scaleY) * hh) + 1;
        } else if (A == 9000 || A == 27000) {
            G = Truncate(double(scaleY) * hh) + 1, H = Truncate(double(scaleX) * hw) + 1;
        } else {
            G = H = Truncate(1.37 * std::max(Truncate(double(scaleX) * hw) + 3, Truncate(double(scaleY) * hh) + 3));
        }
        x0 = std::clamp(p.CentreX + p.PivotDX - G - 1 + p.InsetLeft, 0, dw - 1);
        x1 = std::clamp(p.CentreX + p.PivotDX + G - p.InsetRight, 0, dw - 1);
        y0 = std::clamp(p.CentreY + p.PivotDY - H + p.InsetTop, 0, dh - 1);
        y1 = std::clamp(p.CentreY + p.PivotDY + H - p.InsetBottom, 0, dh - 1);
    } else {
        x0 = p.InsetLeft, x1 = dw - 1 - p.InsetRight, y0 = p.InsetTop, y1 = dh - 1 - p.InsetBottom;
    }
}

// The colour stage and Blend: channel c becomes c x Gain + its offset - (grey - c) x Saturation.
void WritePixel(std::uint8_t* cursor, const int colour[3], int grey, const Placement& p, int weight, int clamp) {
    const double offsets[3] = {double(p.Brightness + 2 * p.BlueShift - p.RedShift - p.GreenShift),
                               double(p.Brightness + 2 * p.GreenShift - p.RedShift - p.BlueShift),
                               double(p.Brightness + 2 * p.RedShift - p.GreenShift - p.BlueShift)};
    for (int ch = 0; ch < 3; ++ch) {
        const int value =
            Truncate(colour[ch] * double(p.Gain) + offsets[ch] - (grey - colour[ch]) * double(p.Saturation));
        cursor[ch] = static_cast<std::uint8_t>(Blend(cursor[ch], value, weight, clamp));
    }
}

}  // namespace

void Placement::Draw(TWin& target, TWin& source) const {
    target.PlaceRotated(source, CentreX, CentreY, Angle, ScaleX, ScaleY, ScaleStep, PivotDX, PivotDY, BlendCode,
                        Brightness, Gain, Saturation, RedShift, GreenShift, BlueShift, Effect, Clamp, InsetLeft,
                        InsetTop, InsetRight, InsetBottom);
}

bool Placement::TakesDirectCopy() const {
    return Truncate(ScaleX) == 1 && Truncate(ScaleY) == 1 && Truncate(Angle) == 0 && Truncate(ScaleStep) == 0 &&
           PivotDX == 0 && PivotDY == 0 && Clamp >= 0;
}

int TransformedScan(TWin& target, const TWin& source, const Placement& p, bool forgetSampleWhenScalesChange) {
    if (p.BlendCode == 0 || p.BlendCode < -256 || p.BlendCode > 256) return 0;
    const std::uint8_t* const corner = source.PixelAddress(0, 0);
    const std::uint8_t key[3] = {corner[0], corner[1], corner[2]};  // read once, at the start
    const bool keyOn = p.BlendCode > 0;
    const int magnitude = std::abs(p.BlendCode);
    const int weight = magnitude > 128 ? magnitude - 128 : magnitude;
    const bool full = magnitude > 128;
    const int clamp = p.Clamp != 0 ? 1 : 0;

    float scaleX = p.ScaleX, scaleY = p.ScaleY, angle = p.Angle;
    const bool mirrored = Mirror(scaleX, scaleY, angle);
    const int sw = source.Width(), sh = source.Height(), hw = sw / 2, hh = sh / 2;
    const int dw = target.Width(), dh = target.Height();
    const std::int64_t A = rotation::AngleCode(angle);
    const rotation::Coefficients c = rotation::CoefficientsFor(angle);
    int x0, x1, y0, y1;
    ScanRange(p, full, A, scaleX, scaleY, hw, hh, dw, dh, x0, x1, y0, y1);
    float s = 0.0f;
    if (p.ScaleStep != 0.0f) {
        s = static_cast<float>(double(p.ScaleStep) / 50000.0);
        scaleX = static_cast<float>(double(scaleX) - hw * double(s));
        scaleY = static_cast<float>(double(scaleY) - hh * double(s));
    }
    int PU = 0, PV = 0, LU = 0, LV = 0;
    auto scaled = [&] {
        PU = Truncate(double(hw - p.PivotDX) * scaleX), PV = Truncate(double(hh - p.PivotDY) * scaleY);
        LU = Truncate(double(sw) * scaleX), LV = Truncate(double(sh) * scaleY);
    };
    scaled();
    const int step = mirrored ? -3 : 3;
    int cachedU = -1, cachedV = -1, cachedGrey = 0;
    bool cachedKeyed = false;
    int colour[3] = {0, 0, 0};  // blue, green, red
    int addressRow = -1, outside = 0;
    std::uint8_t* cursor = nullptr;
    for (int y = y0; y <= y1; ++y) {
        if (p.ScaleStep != 0.0f) {
            const float oldX = scaleX, oldY = scaleY;
            scaleX = scaleX + s;
            scaleY = scaleY + s;
            scaled();
            if (forgetSampleWhenScalesChange && (scaleX != oldX || scaleY != oldY)) cachedU = cachedV = -1;
        }
        const int ry = p.CentreY - 1 - y;
        for (int k = 0; k < x1 - x0; ++k) {
            const int x = mirrored ? x1 - k : x0 + k;
            const int rx = p.CentreX - 2 - x0 - k;
            // The products and sums wrap in 32 bits; >> rounds toward minus infinity.
            const auto urx = static_cast<std::uint32_t>(rx), ury = static_cast<std::uint32_t>(ry);
            const auto E = static_cast<std::uint32_t>(c.E), F = static_cast<std::uint32_t>(c.F);
            const int u = (static_cast<std::int32_t>(urx * F - ury * E) >> 16) + PU;
            const int v = (static_cast<std::int32_t>(urx * E + ury * F) >> 16) + PV;
            if (!(1 <= u && u < LU && 1 <= v && v < LV)) continue;
            if (addressRow != y) {
                cursor = target.PixelAddress(x, y);
                addressRow = y;
            }
            if (u != cachedU || v != cachedV) {
                cachedU = u, cachedV = v;
                const int sx = Truncate(u / double(scaleX)), sy = Truncate(v / double(scaleY));
                if (!(sx >= 0 && sx < sw && sy >= 0 && sy < sh)) ++outside;
                const std::uint8_t* read = source.PixelAddress(std::clamp(sx, 0, sw - 1), std::clamp(sy, 0, sh - 1));
                colour[0] = read[0], colour[1] = read[1], colour[2] = read[2];
                cachedGrey = (colour[0] + colour[1] + colour[2]) / 3;
                cachedKeyed = keyOn && read[0] == key[0] && read[1] == key[1] && read[2] == key[2];
            }
            if (!cachedKeyed) WritePixel(cursor, colour, cachedGrey, p, weight, clamp);
            cursor += step;
        }
    }
    return outside;
}

}  // namespace reference
