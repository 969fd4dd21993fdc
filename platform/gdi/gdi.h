// Device contexts, pixel stores and blits: the small part of a desktop graphics
// system that the raster engine needs. Pure C++; a window canvas plugs in by
// deriving from DeviceContext and exposing its pixels as a 24-bit surface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform::gdi {

// The 40-byte header that describes a device-independent pixel store.
struct BITMAPINFOHEADER {
    std::uint32_t biSize = 40;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    std::uint16_t biPlanes = 1;
    std::uint16_t biBitCount = 24;
    std::uint32_t biCompression = 0;
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};

// A view of pixels, rows top-down, `stride` bytes apart: 24-bit blue, green, red,
// or 32-bit blue, green, red and a fourth byte that is always 255 (a window's
// surface). Blits between the two convert as they copy.
struct Surface {
    std::uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    int bytesPerPixel = 3;

    bool empty() const { return bits == nullptr || width <= 0 || height <= 0; }
    std::uint8_t* pixel(int x, int y) const {
        return bits + y * stride + bytesPerPixel * static_cast<std::ptrdiff_t>(x);
    }
};

// A 24-bit top-down pixel store, zero-filled when created (black).
class PixelStore {
public:
    // Returns null when the size is not positive or the memory cannot be had.
    static std::unique_ptr<PixelStore> Create(int width, int height);

    std::uint8_t* Bits() const { return bits_.get(); }
    Surface View() const { return {bits_.get(), width_, height_, stride_}; }

private:
    struct Free {
        void operator()(std::uint8_t* bits) const;
    };
    using Bytes = std::unique_ptr<std::uint8_t, Free>;
    PixelStore(Bytes bits, int width, int height, std::ptrdiff_t stride)
        : bits_(std::move(bits)), width_(width), height_(height), stride_(stride) {}
    Bytes bits_;
    int width_;
    int height_;
    std::ptrdiff_t stride_;
};

// Whether an image-sized allocation of `bytes` may go ahead. Every large image
// buffer (pixel stores, window surfaces, decoded pictures) asks first, so that one
// narrow test seam can make any of them fail as if memory had run out.
bool ImageAllocationAllowed(std::size_t bytes);
// The test seam: `fails` decides, per request, which allocations fail; an empty
// function lets all go ahead again.
void SetImageAllocationFailureForTesting(std::function<bool(std::size_t bytes)> fails);

// A rectangle of a surface's pixels, right and bottom exclusive.
struct ClipBox {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// Something blits can read from and write to.
class DeviceContext {
public:
    virtual ~DeviceContext() = default;
    virtual Surface Pixels() const = 0;
    // The part of Pixels() that blits into this context may change: all of it,
    // unless the context says otherwise (a window paints only what can be seen).
    virtual ClipBox Clip() const {
        const Surface pixels = Pixels();
        return {0, 0, pixels.width, pixels.height};
    }
};

// A drawing context in memory; it draws on whichever store is selected into it
// (none: an empty surface, and blits to or from it do nothing).
class MemoryDC final : public DeviceContext {
public:
    void Select(const PixelStore* store) { store_ = store; }
    Surface Pixels() const override { return store_ ? store_->View() : Surface{}; }

private:
    const PixelStore* store_ = nullptr;
};

// Copies a w x h block from (sx, sy) of `source` to (x, y) of `target`, clipped
// to the source and to the target's clip box. Returns false when nothing could be
// copied. A large copy between 24- and 32-bit surfaces runs on the render's threads.
bool BitBlt(const DeviceContext& target, int x, int y, int w, int h, const DeviceContext& source, int sx,
            int sy);

// Scales the sw x sh block at (sx, sy) of `source` into the w x h block at (x, y)
// of `target`, nearest pixel, clipped to the source and to the target's clip box.
// A negative extent mirrors.
bool StretchBlt(const DeviceContext& target, int x, int y, int w, int h, const DeviceContext& source, int sx,
                int sy, int sw, int sh);

}  // namespace platform::gdi
