#include "platform/gdi/gdi.h"

#include "platform/gdi/convert.h"
#include "platform/threads/parallel.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace platform::gdi {

namespace {

// Below this many pixels a conversion stays on the calling thread.
constexpr long long kFewestPixelsToShare = 1 << 18;
constexpr int kRowsPerPiece = 32;

std::function<bool(std::size_t)>& AllocationFailure() {
    static std::function<bool(std::size_t)> fails;
    return fails;
}
}  // namespace

bool ImageAllocationAllowed(std::size_t bytes) { return !AllocationFailure() || !AllocationFailure()(bytes); }

void SetImageAllocationFailureForTesting(std::function<bool(std::size_t bytes)> fails) {
    AllocationFailure() = std::move(fails);
}

std::unique_ptr<PixelStore> PixelStore::Create(int width, int height) {
    if (width <= 0 || height <= 0) return nullptr;
    const std::ptrdiff_t stride = ((24 * static_cast<std::ptrdiff_t>(width) + 31) / 32) * 4;
    const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    if (!ImageAllocationAllowed(bytes)) return nullptr;
    std::unique_ptr<std::uint8_t[]> bits(new (std::nothrow) std::uint8_t[bytes]());
    if (!bits) return nullptr;
    return std::unique_ptr<PixelStore>(new PixelStore(std::move(bits), width, height, stride));
}

bool BitBlt(const DeviceContext& target, int x, int y, int w, int h, const DeviceContext& source, int sx,
            int sy) {
    const Surface dst = target.Pixels();
    const Surface src = source.Pixels();
    if (dst.empty() || src.empty() || w <= 0 || h <= 0) return false;
    // Clip in 64 bits so that extreme arguments cannot overflow.
    long long left = 0, top = 0, right = w, bottom = h;  // offsets inside the block
    left = std::max({left, -static_cast<long long>(x), -static_cast<long long>(sx)});
    top = std::max({top, -static_cast<long long>(y), -static_cast<long long>(sy)});
    right = std::min({right, static_cast<long long>(dst.width) - x, static_cast<long long>(src.width) - sx});
    bottom = std::min({bottom, static_cast<long long>(dst.height) - y, static_cast<long long>(src.height) - sy});
    if (left >= right || top >= bottom) return false;
    const int columns = static_cast<int>(right - left);
    const auto copyRow = [&](long long row) {
        CopyPixels(dst.pixel(static_cast<int>(x + left), static_cast<int>(y + row)), dst.bytesPerPixel,
                   src.pixel(static_cast<int>(sx + left), static_cast<int>(sy + row)), src.bytesPerPixel, columns);
    };
    if (dst.bytesPerPixel == src.bytesPerPixel || (bottom - top) * columns < kFewestPixelsToShare) {
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
    const long long x0 = std::max(0LL, dx), x1 = std::min<long long>(dst.width, dx + dw);
    const long long y0 = std::max(0LL, dy), y1 = std::min<long long>(dst.height, dy + dh);
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
