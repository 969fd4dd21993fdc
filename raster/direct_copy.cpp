// PlaceRotated's direct copy: the unturned, unscaled case, row by row with the
// source and destination cursors side by side.
#include <algorithm>
#include <cstdint>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "raster/placement.h"
#include "raster/random.h"

namespace placement {

namespace {

// The pixel effect on a colour about to be drawn; `previous` is the last drawn
// colour after its effect.
void ApplyEffect(std::int32_t Effect, std::int32_t c[3], const std::int32_t previous[3]) {
    switch (Effect) {
        case 0:
            break;
        case 1:
            c[0] = c[1] = c[2] = Random(255);
            break;
        case 2:
            c[0] = Random(255);
            c[1] = Random(255);
            c[2] = Random(255);
            break;
        case 3:
            for (int k = 0; k < 3; ++k) c[k] = 255 - c[k];
            break;
        case 4:
            c[0] = c[1] = c[2] = 0;
            break;
        case 5:
            for (int k = 0; k < 3; ++k) c[k] = ((255 - c[k]) + previous[k]) / 2;
            break;
        default:
            if (Effect >= -128 && Effect <= -1)
                for (int k = 0; k < 3; ++k) c[k] = Blend(previous[k], c[k], Effect + 128, 0);
            break;
    }
}

bool EffectChangesNothing(std::int32_t Effect) { return Effect < -128 || Effect > 5 || Effect == 0; }

}  // namespace

DirectBlock DirectBlockFor(const TWin& target, const TWin& source, std::int32_t CentreX, std::int32_t CentreY,
                           const Insets& inset) {
    const std::int64_t hw = source.Width() / 2, hh = source.Height() / 2;
    const std::int64_t dw = target.Width(), dh = target.Height();
    DirectBlock block{};
    block.ox = CentreX - hw;
    block.oy = CentreY - hh;
    block.x0 = std::max<std::int64_t>(0, block.ox + inset.left);
    block.y0 = std::max<std::int64_t>(0, block.oy + inset.top);
    block.x1 = std::min<std::int64_t>(dw, CentreX + hw - inset.right);
    block.y1 = std::min<std::int64_t>(dh, CentreY + hh - inset.bottom);
    block.reached = block.x0 < dw && block.y0 < dh && block.x1 > 0 && block.y1 > 0;
    return block;
}

void DirectCopy(TWin& target, TWin& source, const DirectBlock& block, const Key& key, const ColourStage& stage,
                std::int32_t Effect, std::int32_t previous[3]) {
    if (!block.reached) return;
    const std::int64_t count = block.Columns();
    const bool plainCopy =
        stage.Identity() && key.packed == kNoKey && EffectChangesNothing(Effect) && &source != &target;
    for (std::int64_t y = block.y0; y < block.y1; ++y) {
        std::uint8_t* out = target.PixelAddress(static_cast<std::int32_t>(block.x0), static_cast<std::int32_t>(y));
        const std::uint8_t* in = source.PixelAddress(static_cast<std::int32_t>(block.x0 - block.ox),
                                                     static_cast<std::int32_t>(y - block.oy));
        target.Step = 3;
        source.Step = 3;
        if (plainCopy) {
            std::memcpy(out, in, static_cast<std::size_t>(3 * count));
            out += 3 * count;
            in += 3 * count;
        }
        for (std::int64_t i = 0; !plainCopy && i < count; ++i, in += 3, out += 3) {
            std::int32_t c[3] = {in[0], in[1], in[2]};
            if (key.Matches(c[0], c[1], c[2])) continue;
            // The grey level is the source pixel's as read, before the effect, as
            // in the turned path.
            const std::int32_t grey = (c[0] + c[1] + c[2]) / 3;
            ApplyEffect(Effect, c, previous);
            std::int32_t values[3];
            stage.Values(c[0], c[1], c[2], grey, values);
            stage.Write(out, values);
            std::copy(c, c + 3, previous);
        }
        target.Cursor = out;
        source.Cursor = const_cast<std::uint8_t*>(in);
    }
}

void ClearRowsAround(TWin& target, std::int64_t first, std::int64_t last, std::int64_t x0, std::int64_t y0,
                     std::int64_t x1, std::int64_t y1) {
    const std::int64_t dw = target.Width();
    if (x0 >= x1 || y0 >= y1) x0 = x1 = y0 = y1 = 0;
    for (std::int64_t y = first; y < last; ++y) {
        std::uint8_t* row = target.PixelAddress(0, static_cast<std::int32_t>(y));
        if (y < y0 || y >= y1) {
            std::memset(row, 0, static_cast<std::size_t>(3 * dw));
        } else {
            std::memset(row, 0, static_cast<std::size_t>(3 * x0));
            std::memset(row + 3 * x1, 0, static_cast<std::size_t>(3 * (dw - x1)));
        }
    }
}

namespace {

// From this many bytes a raster outgrows what the caches keep of it between renders.
constexpr std::size_t kStreamedRasterBytes = std::size_t{16} << 20;

// memcpy's bytes, written past the caches: a row that is only overwritten is then
// not read in first, and does not push the source out. The stores are weakly
// ordered; the fence makes them land before anything this thread does next.
void CopyPastCaches(std::uint8_t* out, const std::uint8_t* in, std::size_t bytes) {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    const std::size_t head = (16 - reinterpret_cast<std::uintptr_t>(out) % 16) % 16;
    if (bytes >= head + 64) {
        std::memcpy(out, in, head);
        out += head, in += head, bytes -= head;
        for (; bytes >= 64; bytes -= 64, out += 64, in += 64) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
            const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 48));
            _mm_stream_si128(reinterpret_cast<__m128i*>(out), a);
            _mm_stream_si128(reinterpret_cast<__m128i*>(out + 16), b);
            _mm_stream_si128(reinterpret_cast<__m128i*>(out + 32), c);
            _mm_stream_si128(reinterpret_cast<__m128i*>(out + 48), d);
        }
        _mm_sfence();
    }
#endif
    std::memcpy(out, in, bytes);
}

}  // namespace

void CopyDirectRows(TWin& target, const TWin& source, const DirectBlock& block, std::int64_t first, std::int64_t last) {
    ClearRowsAround(target, first, last, block.x0, block.y0, block.x1, block.y1);
    if (!block.reached) return;
    const auto bytes = static_cast<std::size_t>(3 * block.Columns());
    const bool streamed =
        static_cast<std::size_t>(target.Stride) * static_cast<std::size_t>(target.Height()) >= kStreamedRasterBytes;
    for (std::int64_t y = std::max(first, block.y0); y < std::min(last, block.y1); ++y) {
        std::uint8_t* const out = target.PixelAddress(static_cast<std::int32_t>(block.x0), static_cast<std::int32_t>(y));
        const std::uint8_t* const in = source.PixelAddress(static_cast<std::int32_t>(block.x0 - block.ox),
                                                           static_cast<std::int32_t>(y - block.oy));
        if (streamed)
            CopyPastCaches(out, in, bytes);
        else
            std::memcpy(out, in, bytes);
    }
}

}  // namespace placement
