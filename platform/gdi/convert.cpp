#include "platform/gdi/convert.h"

#include <bit>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace platform::gdi {

namespace {

constexpr std::uint32_t kOpaque = 0xFF000000u;

// Four bytes from each pixel's blue one (little-endian: blue lowest), the fourth
// made opaque; the last pixel, whose fourth byte may lie past the run, byte by byte.
void WidenPlain(std::uint32_t* out, const std::uint8_t* in, int count) {
    int x = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; x < count - 1; ++x, in += 3) {
            std::uint32_t pixel;
            std::memcpy(&pixel, in, 4);
            out[x] = pixel | kOpaque;
        }
    }
    for (; x < count; ++x, in += 3) out[x] = kOpaque | std::uint32_t{in[2]} << 16 | std::uint32_t{in[1]} << 8 | in[0];
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Four pixels a shuffle. A load takes sixteen bytes from a pixel's first, so it
// stops six pixels before the run's end; the rest go the plain way.
__attribute__((target("ssse3"))) void WidenFourAtATime(std::uint32_t* out, const std::uint8_t* in, int count) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaque));
    int x = 0;
    for (; x + 6 <= count; x += 4) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_or_si128(_mm_shuffle_epi8(bytes, spread), opaque));
    }
    WidenPlain(out + x, in + 3 * x, count - x);
}

void Widen(std::uint32_t* out, const std::uint8_t* in, int count) {
    static const bool fourAtATime = __builtin_cpu_supports("ssse3");
    if (fourAtATime)
        WidenFourAtATime(out, in, count);
    else
        WidenPlain(out, in, count);
}
#else
void Widen(std::uint32_t* out, const std::uint8_t* in, int count) { WidenPlain(out, in, count); }
#endif

}  // namespace

void CopyPixels(std::uint8_t* out, int outBytes, const std::uint8_t* in, int inBytes, int count) {
    if (count <= 0) return;
    if (outBytes == inBytes) {
        std::memmove(out, in, static_cast<std::size_t>(count) * static_cast<std::size_t>(inBytes));
    } else if (outBytes == 4) {
        // A window's surface is 32-bit aligned: its rows and pixels start on whole words.
        Widen(reinterpret_cast<std::uint32_t*>(out), in, count);
    } else {
        for (int x = 0; x < count; ++x, out += 3, in += 4) std::memcpy(out, in, 3);
    }
}

}  // namespace platform::gdi
