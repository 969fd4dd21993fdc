// Feeds arbitrary settings and small rasters to PlaceRotated's transformed scan
// and to ApplyPattern, and traps where the fast code's bytes differ from the
// plain versions in raster/reference.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "raster/reference/reference.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes in(data, size);
    if (in.Next() & 1)
        Placement(in);
    else
        Pattern(in);
    return 0;
}
