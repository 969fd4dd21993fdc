// Feeds arbitrary settings and small rasters to PlaceRotated's transformed scan
// and to ApplyPattern, and traps where the fast code's bytes differ from the
// plain versions in raster/reference; and to the render pipeline, on one to four
// threads, against the clear, placement and pattern run one after another.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "raster/reference/reference.h"
#include "raster/render.h"

namespace {

// Reads the fuzzer's bytes in order; zeros once they run out.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Next() { return at_ < size_ ? data_[at_++] : 0; }
    int Between(int lo, int hi) { return lo + static_cast<int>((Next() | Next() << 8) % (hi - lo + 1)); }
    float Real(float lo, float hi) { return lo + (hi - lo) * static_cast<float>(Next() | Next() << 8) / 65535.0f; }
    void Fill(TWin& win) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(win.Stride) * win.Height(); ++i) win.Bits[i] = Next();
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

bool Same(const TWin& a, const TWin& b) {
    return std::memcmp(a.Bits, b.Bits, static_cast<std::size_t>(a.Stride) * a.Height()) == 0;
}

void Placement(Bytes& in) {
    const int sw = in.Between(1, 40), sh = in.Between(1, 40), dw = in.Between(1, 48), dh = in.Between(1, 48);
    TWin source(sw, sh), fast(dw, dh), plain(dw, dh);
    in.Fill(source);
    in.Fill(fast);
    std::memcpy(plain.Bits, fast.Bits, static_cast<std::size_t>(fast.Stride) * dh);
    reference::Placement p;
    p.CentreX = in.Between(-20, dw + 20);
    p.CentreY = in.Between(-20, dh + 20);
    p.Angle = in.Real(-720, 720);
    p.ScaleX = in.Real(-3, 3);
    p.ScaleY = in.Real(-3, 3);
    p.ScaleStep = in.Next() < 64 ? in.Real(-900, 900) : 0.0f;
    p.PivotDX = in.Between(-6, 6);
    p.PivotDY = in.Between(-6, 6);
    p.BlendCode = in.Between(-256, 256);
    p.Brightness = in.Between(-60, 60);
    p.Gain = in.Real(0, 2);
    p.Saturation = in.Next() < 128 ? 0.0f : in.Real(-1, 1);
    p.RedShift = in.Between(-20, 20), p.GreenShift = in.Between(-20, 20), p.BlueShift = in.Between(-20, 20);
    p.Clamp = in.Between(-2, 2);
    p.InsetLeft = in.Between(0, dw / 2), p.InsetRight = in.Between(0, (dw - 1) / 2);
    p.InsetTop = in.Between(0, dh / 2), p.InsetBottom = in.Between(0, dh / 2);
    if (p.TakesDirectCopy()) p.Clamp = -1;
    p.Draw(fast, source);
    if (reference::TransformedScan(plain, source, p) != 0 || !Same(fast, plain)) __builtin_trap();
}

void Pattern(Bytes& in) {
    const int w = in.Between(1, 300), h = in.Between(1, 200);
    TWin fast(w, h), plain(w, h);
    in.Fill(fast);
    std::memcpy(plain.Bits, fast.Bits, static_cast<std::size_t>(fast.Stride) * h);
    const int P = in.Between(-1, 66), D = in.Next();
    int c[9];
    for (int& channel : c) channel = in.Next();
    const int x1 = in.Between(-1, w + 5), y1 = in.Between(-1, h + 5), x2 = in.Between(-1, w + 5), y2 = in.Between(-1, h + 5);
    fast.ApplyPattern(P, D, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], x1, y1, x2, y2);
    if (reference::ApplyPattern(plain, P, D, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], x1, y1, x2, y2) != 0 ||
        !Same(fast, plain))
        __builtin_trap();
}

void Pipeline(Bytes& in) {
    const int sw = in.Between(0, 120), sh = in.Between(0, 120);
    const bool sameSize = in.Next() & 1;
    const int ww = sameSize ? sw : in.Between(0, 120), wh = sameSize ? sh : in.Between(0, 120);
    TWin source(sw, sh), fast(ww, wh), plain(ww, wh);
    in.Fill(source);
    in.Fill(fast);
    if (fast.HasPixels()) std::memcpy(plain.Bits, fast.Bits, static_cast<std::size_t>(fast.Stride) * wh);
    RenderSettings s;
    s.Pattern = in.Between(0, 65);
    s.Detector = in.Next(), s.Red = in.Next(), s.Green = in.Next(), s.Blue = in.Next();
    s.XOffset = in.Between(-sw - 2, sw + 2);
    s.YOffset = in.Between(-sh - 2, sh + 2);
    s.Angle = in.Between(0, 360);
    RenderPipeline(fast, source, s, RenderThreads{in.Between(1, 4), 0});
    plain.FillBox(0, 0, ww - 1, wh - 1, 0, 0, 0, 128);
    plain.PlaceRotated(source, sw / 2 + s.XOffset, sh / 2 + s.YOffset, static_cast<float>(s.Angle), 1.0f, 1.0f, 0.0f,
                       0, 0, -256, 0, 1.0f, 0.0f, 0, 0, 0, 0, 1, 0, 0, 0, 0);
    plain.ApplyPattern(s.Pattern, s.Detector, s.Red, s.Green, s.Blue, s.Red / 8, s.Green / 8, s.Blue / 8, 0, 0, 0, -1,
                       -2, -3, -4);
    if (fast.HasPixels() && !Same(fast, plain)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes in(data, size);
    switch (in.Next() % 3) {
        case 0: Placement(in); break;
        case 1: Pattern(in); break;
        default: Pipeline(in); break;
    }
    return 0;
}
