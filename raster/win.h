// TWin: the program's one image type, a 24-bit blue-green-red raster with rows
// top-down in memory that our own code reads and writes byte by byte and that
// blits can copy to any drawing target.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "platform/gdi/gdi.h"
#include "files/atomic_file.h"
#include "raster/load_errors.h"  // what LoadFromFile throws

using platform::gdi::BITMAPINFOHEADER;

// Modes of TWin::Draw.
enum TDrawMode : std::int32_t {
    dmActual = 0,
    dmCentred = 1,
    dmStretch = 2,
    dmStretchRect = 3,
    dmTile = 4,
    dmCrop = 5,
};

class TWin {
public:
    // Builds a Width x Height raster, all black. A size that is not positive, or
    // one whose memory cannot be had, leaves a 0 x 0 raster with no pixel store.
    TWin(std::int32_t Width, std::int32_t Height);
    virtual ~TWin();
    TWin(const TWin&) = delete;
    TWin& operator=(const TWin&) = delete;

    BITMAPINFOHEADER Info;
    std::unique_ptr<platform::gdi::PixelStore> BitmapHandle;
    std::uint8_t* Bits = nullptr;
    std::uint8_t* Cursor = nullptr;
    platform::gdi::MemoryDC DC;
    std::uint32_t Stride = 0;
    std::uint8_t* Probe = nullptr;
    std::int32_t Step = 3;

    std::int32_t Width() const { return Info.biWidth; }
    std::int32_t Height() const { return std::abs(Info.biHeight); }
    bool HasPixels() const { return Bits != nullptr; }
    std::uint8_t* PixelAddress(std::int32_t X, std::int32_t Y) const {
        return Bits + static_cast<std::ptrdiff_t>(Y) * Stride + 3 * static_cast<std::ptrdiff_t>(X);
    }

    void Draw(const platform::gdi::DeviceContext& TargetDC, std::int32_t Mode, std::int32_t X, std::int32_t Y,
              std::int32_t W, std::int32_t H, std::int32_t AreaW, std::int32_t AreaH);

    // Sequential access: ReadRed advances Cursor by Step bytes. No bounds checks.
    void Seek(std::int32_t X, std::int32_t Y, std::int32_t StepBytes) {
        Step = StepBytes;
        Cursor = PixelAddress(X, Y);
    }
    std::int32_t ReadBlue() const { return Cursor[0]; }
    std::int32_t ReadGreen() const { return Cursor[1]; }
    std::int32_t ReadRed() {
        const std::int32_t red = Cursor[2];
        Cursor += Step;
        return red;
    }
    // Random access through Probe, which PeekBlue places. No bounds checks.
    std::int32_t PeekBlue(std::int32_t X, std::int32_t Y) {
        Probe = PixelAddress(X, Y);
        return Probe[0];
    }
    std::int32_t PeekGreen() const { return Probe[1]; }
    std::int32_t PeekRed() const { return Probe[2]; }

    // Exchanges the images (size and pixels) of two rasters; each object stays
    // where it is, so references to either remain valid.
    void Swap(TWin& other);

    // Bitmap files.
    void LoadFromFile(const std::string& FileName);
    SaveResult SaveToFile(const std::string& FileName) const;

    // Image operations.
    void FillBox(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2, std::int32_t Red,
                 std::int32_t Green, std::int32_t Blue, std::int32_t Weight);
    void DrawLine(std::int32_t X1, std::int32_t Y1, std::int32_t X2, std::int32_t Y2, std::int32_t Red,
                  std::int32_t Green, std::int32_t Blue, std::int32_t Weight);
    void PlaceRotated(TWin& Source, std::int32_t CentreX, std::int32_t CentreY, float Angle, float ScaleX,
                      float ScaleY, float ScaleStep, std::int32_t PivotDX, std::int32_t PivotDY,
                      std::int32_t BlendCode, std::int32_t Brightness, float Gain, float Saturation,
                      std::int32_t RedShift, std::int32_t GreenShift, std::int32_t BlueShift, std::int32_t Effect,
                      std::int32_t Clamp, std::int32_t InsetLeft, std::int32_t InsetTop, std::int32_t InsetRight,
                      std::int32_t InsetBottom);
    void ApplyPattern(std::int32_t Pattern, std::int32_t Detector, std::int32_t OnRed, std::int32_t OnGreen,
                      std::int32_t OnBlue, std::int32_t OffRed, std::int32_t OffGreen, std::int32_t OffBlue,
                      std::int32_t LineRed, std::int32_t LineGreen, std::int32_t LineBlue, std::int32_t X1,
                      std::int32_t Y1, std::int32_t X2, std::int32_t Y2);

private:
    // (Re)builds the pixel store for a new size, as the constructor does.
    void Build(std::int32_t Width, std::int32_t Height);
};
