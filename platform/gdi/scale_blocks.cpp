#include "platform/gdi/scale_blocks.h"

#include <cstdint>
#include <cstring>
#include <vector>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace platform::gdi {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

namespace {

// Sixteen rounded means from the sums at `at` and the next n - 1 pixels'.
template <int n>
__attribute__((target("avx2"), always_inline)) inline __m256i Means(const std::uint16_t* at, __m256i half,
                                                                      __m256i multiplier) {
    __m256i total = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    for (int t = 1; t < n; ++t)
        total = _mm256_add_epi16(total, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 3 * t)));
    return _mm256_mulhi_epu16(_mm256_add_epi16(_mm256_add_epi16(total, total), half), multiplier);
}

// A view row in three passes over all its bytes at once. Down: the n image rows'
// bytes summed into 16 bits. Across: each sum plus the same channel's sums of the
// next n - 1 pixels, s, made the rounded mean (2 s + n n) / (2 n n) by a
// multiplication that keeps the high 16 bits: with m = ceil(65536 / (2 n n)) that
// is exact for every sum n x n bytes can make (n 2 and 4: m is exact; n 3: the
// error stays below 0.008, a quotient's fraction below 17/18). Then every n-th
// pixel's three means are gathered into the 32-bit pixels.
template <int n>
__attribute__((target("avx2"))) void BlockRow(std::uint32_t* out, const std::uint8_t* row, std::ptrdiff_t stride,
                                              int width, std::uint16_t* sums, std::uint8_t* means) {
    const int channels = 3 * n * width;
    int k = 0;
    for (; k + 16 <= channels; k += 16) {
        __m256i total = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + k)));
        for (int t = 1; t < n; ++t)
            total = _mm256_add_epi16(total, _mm256_cvtepu8_epi16(_mm_loadu_si128(
                                                reinterpret_cast<const __m128i*>(row + t * stride + k))));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + k), total);
    }
    for (; k < channels; ++k) {
        std::uint16_t total = row[k];
        for (int t = 1; t < n; ++t) total = static_cast<std::uint16_t>(total + row[t * stride + k]);
        sums[k] = total;
    }
    const __m256i half = _mm256_set1_epi16(static_cast<short>(n * n));
    const __m256i multiplier = _mm256_set1_epi16(static_cast<short>((65536 + 2 * n * n - 1) / (2 * n * n)));
    // Past the row's end the sums are padding: their means are never gathered.
    for (k = 0; k < channels; k += 32) {
        const __m256i packed = _mm256_packus_epi16(Means<n>(sums + k, half, multiplier),
                                                   Means<n>(sums + k + 16, half, multiplier));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(means + k), _mm256_permute4x64_epi64(packed, 0xD8));
    }
    // Two pixels from each 16 bytes: bytes 0-2 and 3n-3n+2, the fourth opaque.
    const char a = static_cast<char>(3 * n), b = static_cast<char>(3 * n + 1), c = static_cast<char>(3 * n + 2);
    const __m256i gather = _mm256_setr_epi8(0, 1, 2, -1, a, b, c, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 1, 2, -1, a, b,
                                            c, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m256i bytes =
            _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(means + 3 * n * (x + 2)),
                                reinterpret_cast<const __m128i*>(means + 3 * n * x));
        const __m256i pixels = _mm256_permute4x64_epi64(_mm256_shuffle_epi8(bytes, gather), 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                         _mm256_castsi256_si128(_mm256_or_si256(pixels, opaque)));
    }
    for (; x < width; ++x) {
        const std::uint8_t* mean3 = means + 3 * n * x;
        out[x] = 0xFF000000u | std::uint32_t{mean3[2]} << 16 | std::uint32_t{mean3[1]} << 8 | mean3[0];
    }
}

}  // namespace

bool AverageSmallBlocks(const Surface& dst, int left, int top, const Surface& src, const ClipBox& clip, int n,
                        int first, int last) {
    static const bool wide = __builtin_cpu_supports("avx2");
    if (!wide || n < 2 || n > 4 || dst.bytesPerPixel != 4 || src.bytesPerPixel != 3) return false;
    const int width = clip.right - clip.left;
    const auto channels = static_cast<std::size_t>(3 * n * width);
    // Room for the last loads and stores of 32 bytes past the row.
    std::vector<std::uint16_t> sums(channels + 48);
    std::vector<std::uint8_t> means(channels + 64);
    const auto row = n == 2 ? BlockRow<2> : n == 3 ? BlockRow<3> : BlockRow<4>;
    for (int y = first; y < last; ++y) {
        auto* out = reinterpret_cast<std::uint32_t*>(dst.pixel(clip.left - left, y - top));
        row(out, src.pixel(n * clip.left, n * y), src.stride, width, sums.data(), means.data());
    }
    return true;
}

#else

bool AverageSmallBlocks(const Surface&, int, int, const Surface&, const ClipBox&, int, int, int) { return false; }

#endif

}  // namespace platform::gdi
