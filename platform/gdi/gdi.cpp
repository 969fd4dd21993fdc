#include "platform/gdi/gdi.h"

#include "platform/gdi/convert.h"
#include "platform/threads/parallel.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform::gdi {

namespace {

constexpr int kRowsPerPiece = 32;

// The target's clip box, kept inside its surface whatever the context says.
ClipBox ClipOf(const DeviceContext& target, const Surface& pixels) {
    const ClipBox clip = target.Clip();
    return {std::clamp(clip.left, 0, pixels.width), std::clamp(clip.top, 0, pixels.height),
            std::clamp(clip.right, 0, pixels.width), std::clamp(clip.bottom, 0, pixels.height)};
}

std::function<bool(std::size_t)>& AllocationFailure() {
    static std::function<bool(std::size_t)> fails;
    return fails;
}
}  // namespace

bool ImageAllocationAllowed(std::size_t bytes) { return !AllocationFailure() || !AllocationFailure()(bytes); }

void SetImageAllocationFailureForTesting(std::function<bool(std::size_t bytes)> fails) {
    AllocationFailure() = std::move(fails);
}

void PixelStore::Free::operator()(std::uint8_t* bits) const { std::free(bits); }

std::unique_ptr<PixelStore> PixelStore::Create(int width, int height) {
    if (width <= 0 || height <= 0) return nullptr;
    const std::ptrdiff_t stride = ((24 * static_cast<std::ptrdiff_t>(width) + 31) / 32) * 4;
    const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    if (!ImageAllocationAllowed(bytes)) return nullptr;
    // calloc hands a large store out as fresh pages that are zero already: nothing
    // is written until the store is, so a picture loaded into it is written once.
    // The video scaler's vector code reads and writes whole blocks that reach a few
    // bytes past a row's end, as its own frames allow: the last row has that room too.
    constexpr std::size_t kSlack = 64;
    Bytes bits(static_cast<std::uint8_t*>(std::calloc(bytes + kSlack, 1)));
    if (!bits) return nullptr;
    return std::unique_ptr<PixelStore>(new PixelStore(std::move(bits), width, height, stride));
}

bool BitBlt(const DeviceContext& target, int x, int y, int w, int h, const DeviceContext& source, int sx,
            int sy) {
    const Surface dst = target.Pixels();
    const Surface src = source.Pixels();
    if (dst.empty() || src.empty() || w <= 0 || h <= 0) return false;
    const ClipBox clip = ClipOf(target, dst);
    // Clip in 64 bits so that extreme arguments cannot overflow.
    long long left = 0, top = 0, right = w, bottom = h;  // offsets inside the block
    left = std::max({left, static_cast<long long>(clip.left) - x, -static_cast<long long>(sx)});
    top = std::max({top, static_cast<long long>(clip.top) - y, -static_cast<long long>(sy)});
    right = std::min({right, static_cast<long long>(clip.right) - x, static_cast<long long>(src.width) - sx});
    bottom = std::min({bottom, static_cast<long long>(clip.bottom) - y, static_cast<long long>(src.height) - sy});
    if (left >= right || top >= bottom) return false;
    const int columns = static_cast<int>(right - left);
    const auto copyRow = [&](long long row) {
        CopyPixels(dst.pixel(static_cast<int>(x + left), static_cast<int>(y + row)), dst.bytesPerPixel,
                   src.pixel(static_cast<int>(sx + left), static_cast<int>(sy + row)), src.bytesPerPixel, columns);
    };
    if (dst.bytesPerPixel == src.bytesPerPixel || (bottom - top) * columns < parallel::kFewestPixelsToShare) {
        // Same format: possibly the same surface, copied row after row as memmove does.
        for (long long row = top; row < bottom; ++row) copyRow(row);
        return true;
    }
    const int rows = static_cast<int>(bottom - top);
    const int pieces = (rows + kRowsPerPiece - 1) / kRowsPerPiece;
    parallel::RunOn(parallel::Threads(), [&] {
        parallel::ForEach(pieces, [&](int piece) {
            const long long first = top + static_cast<long long>(piece) * kRowsPerPiece;
            for (long long row = first; row < std::min<long long>(bottom, first + kRowsPerPiece); ++row) copyRow(row);
        });
    });
    return true;
}

bool StretchBlt(const DeviceContext& target, int x, int y, int w, int h, const DeviceContext& source, int sx,
                int sy, int sw, int sh) {
    const Surface dst = target.Pixels();
    const Surface src = source.Pixels();
    if (dst.empty() || src.empty() || w == 0 || h == 0 || sw == 0 || sh == 0) return false;
    // Normalise mirrored extents: a negative width on one side flips the copy.
    auto normalise = [](long long& pos, long long& extent) {
        if (extent < 0) {
            pos += extent + 1;
            extent = -extent;
            return true;
        }
        return false;
    };
    long long dx = x, dy = y, dw = w, dh = h, ox = sx, oy = sy, ow = sw, oh = sh;
    const bool flipX = normalise(dx, dw) != normalise(ox, ow);
    const bool flipY = normalise(dy, dh) != normalise(oy, oh);
    const ClipBox clip = ClipOf(target, dst);
    const long long x0 = std::max<long long>(clip.left, dx), x1 = std::min<long long>(clip.right, dx + dw);
    const long long y0 = std::max<long long>(clip.top, dy), y1 = std::min<long long>(clip.bottom, dy + dh);
    if (x0 >= x1 || y0 >= y1) return false;
    // Source column for every visible target column, worked out once.
    std::vector<int> columns;
    columns.reserve(static_cast<std::size_t>(x1 - x0));
    for (long long cx = x0; cx < x1; ++cx) {
        long long i = cx - dx;
        if (flipX) i = dw - 1 - i;
        columns.push_back(static_cast<int>(ox + i * ow / dw));
    }
    bool drawn = false;
    for (long long cy = y0; cy < y1; ++cy) {
        long long j = cy - dy;
        if (flipY) j = dh - 1 - j;
        const long long srcRow = oy + j * oh / dh;
        if (srcRow < 0 || srcRow >= src.height) continue;
        std::uint8_t* out = dst.pixel(static_cast<int>(x0), static_cast<int>(cy));
        for (int srcColumn : columns) {
            if (srcColumn >= 0 && srcColumn < src.width) {
                CopyPixels(out, dst.bytesPerPixel, src.pixel(srcColumn, static_cast<int>(srcRow)), src.bytesPerPixel, 1);
                drawn = true;
            }
            out += dst.bytesPerPixel;
        }
    }
    return drawn;
}

}  // namespace platform::gdi
