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
// Eight pixels a shuffle. A load takes 32 bytes from a pixel's first, of which the
// first 24 are used, so it stops ten pixels before the run's end. Returns the
// pixels done.
__attribute__((target("avx2"))) int WidenEightAtATime(std::uint32_t* out, const std::uint8_t* in, int count) {
    // Lane by lane: pixels 0-3 from words 0-2, pixels 4-7 from words 3-5.
    const __m256i words = _mm256_setr_epi32(0, 1, 2, 0, 3, 4, 5, 0);
    const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0, 1, 2, -1, 3, 4,
                                            5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(kOpaque));
    int x = 0;
    for (; x + 11 <= count; x += 8) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 3 * x));
        const __m256i pixels = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(bytes, words), spread);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_or_si256(pixels, opaque));
    }
    return x;
}

// Four pixels a shuffle, the same way; stops six pixels before the run's end.
__attribute__((target("ssse3"))) int WidenFourAtATime(std::uint32_t* out, const std::uint8_t* in, int count) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaque));
    int x = 0;
    for (; x + 6 <= count; x += 4) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_or_si128(_mm_shuffle_epi8(bytes, spread), opaque));
    }
    return x;
}

// The widest shuffles the processor has, then narrower ones for the run's end.
void Widen(std::uint32_t* out, const std::uint8_t* in, int count) {
    static const bool eightAtATime = __builtin_cpu_supports("avx2");
    static const bool fourAtATime = __builtin_cpu_supports("ssse3");
    int done = 0;
    if (eightAtATime) done = WidenEightAtATime(out, in, count);
    if (fourAtATime) done += WidenFourAtATime(out + done, in + 3 * done, count - done);
    WidenPlain(out + done, in + 3 * done, count - done);
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
