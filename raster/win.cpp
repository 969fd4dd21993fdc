#include "raster/win.h"

#include <cstdint>
#include <utility>

TWin::TWin(std::int32_t Width, std::int32_t Height) { Build(Width, Height); }

TWin::~TWin() {
    // The context lets go of the store first, then the store is released.
    DC.Select(nullptr);
    BitmapHandle.reset();
}

void TWin::Build(std::int32_t Width, std::int32_t Height) {
    DC.Select(nullptr);
    BitmapHandle.reset();
    Bits = Cursor = Probe = nullptr;
    Info = BITMAPINFOHEADER{};
    Stride = 0;
    Step = 3;
    // Stride is 32 bits: a row too wide for it is refused, never wrapped.
    const std::int64_t stride = ((24 * static_cast<std::int64_t>(Width) + 31) / 32) * 4;
    if (Width > 0 && Height > 0 && stride <= UINT32_MAX) BitmapHandle = platform::gdi::PixelStore::Create(Width, Height);
    if (!BitmapHandle) return;  // stays 0 x 0: nothing can be written through it
    Info.biWidth = Width;
    Info.biHeight = -Height;  // negative: the first row in memory is the top row
    Stride = static_cast<std::uint32_t>(stride);
    Bits = BitmapHandle->Bits();
    DC.Select(BitmapHandle.get());
}

void TWin::Swap(TWin& other) {
    std::swap(Info, other.Info);
    std::swap(BitmapHandle, other.BitmapHandle);
    std::swap(Bits, other.Bits);
    std::swap(Stride, other.Stride);
    DC.Select(BitmapHandle.get());
    other.DC.Select(other.BitmapHandle.get());
    Cursor = Probe = other.Cursor = other.Probe = nullptr;
}

void TWin::Draw(const platform::gdi::DeviceContext& TargetDC, std::int32_t Mode, std::int32_t X, std::int32_t Y,
                std::int32_t W, std::int32_t H, std::int32_t AreaW, std::int32_t AreaH) {
    using platform::gdi::BitBlt;
    using platform::gdi::StretchBlt;
    const std::int32_t width = Width(), height = Height();
    switch (Mode) {
        case dmActual:
            BitBlt(TargetDC, X, Y, width, height, DC, 0, 0);
            break;
        case dmCentred:
            BitBlt(TargetDC, AreaW / 2 - width / 2, AreaH / 2 - height / 2, width, height, DC, 0, 0);
            break;
        case dmStretch:
            StretchBlt(TargetDC, 0, 0, AreaW, AreaH, DC, 0, 0, width, height);
            break;
        case dmStretchRect:
            StretchBlt(TargetDC, X, Y, W, H, DC, 0, 0, width, height);
            break;
        case dmTile:
            if (width <= 0 || height <= 0) break;  // an empty raster would never advance
            for (std::int64_t ty = 0; ty < AreaH; ty += height)
                for (std::int64_t tx = 0; tx < AreaW; tx += width)
                    BitBlt(TargetDC, static_cast<int>(tx), static_cast<int>(ty), width, height, DC, 0, 0);
            break;
        case dmCrop:
            BitBlt(TargetDC, X, Y, W, H, DC, 0, 0);
            break;
        default:
            break;
    }
}
