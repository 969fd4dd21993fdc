// The turned copy eight and sixteen pixels a step with AVX2 and AVX-512 gathers.
// Each step does what eight or sixteen turns of the plain loop in
// raster/turned_copy.cpp do: sample point, source address, three bytes.
#include "raster/turned_copy_wide.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>

namespace placement::wide {

namespace {

// Eight pixels at a time: their sample points side by side, one gather of the
// four bytes ending with each source pixel, a shuffle that packs four pixels
// into twelve bytes per half, two overlapping stores. Each store spills four
// bytes onto the two pixels after the group, so at least two pixels are left
// for the caller, who writes them after. Returns how many pixels remain.
__attribute__((target("avx2"))) std::int64_t CopyEight(std::uint8_t*& out, std::int32_t step, Walk& walk,
                                                       std::int64_t count) {
    if (count < 10) return count;
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i laneStepU = _mm256_set1_epi32(static_cast<std::int32_t>(walk.stepU));
    const __m256i laneStepV = _mm256_set1_epi32(static_cast<std::int32_t>(walk.stepV));
    __m256i u = _mm256_add_epi32(_mm256_set1_epi32(static_cast<std::int32_t>(walk.sumU)), _mm256_mullo_epi32(lanes, laneStepU));
    __m256i v = _mm256_add_epi32(_mm256_set1_epi32(static_cast<std::int32_t>(walk.sumV)), _mm256_mullo_epi32(lanes, laneStepV));
    const __m256i groupStepU = _mm256_set1_epi32(static_cast<std::int32_t>(walk.stepU * 8u));
    const __m256i groupStepV = _mm256_set1_epi32(static_cast<std::int32_t>(walk.stepV * 8u));
    const __m256i pivotU = _mm256_set1_epi32(walk.PU), pivotV = _mm256_set1_epi32(walk.PV);
    const __m256i stride = _mm256_set1_epi32(static_cast<std::int32_t>(walk.sourceStride));
    // Bytes 1..3 of each gathered word are blue, green, red.
    const __m256i forward = _mm256_setr_epi8(1, 2, 3, 5, 6, 7, 9, 10, 11, 13, 14, 15, -1, -1, -1, -1,  //
                                             1, 2, 3, 5, 6, 7, 9, 10, 11, 13, 14, 15, -1, -1, -1, -1);
    const __m256i backward = _mm256_setr_epi8(-1, -1, -1, -1, 13, 14, 15, 9, 10, 11, 5, 6, 7, 1, 2, 3,  //
                                              -1, -1, -1, -1, 13, 14, 15, 9, 10, 11, 5, 6, 7, 1, 2, 3);
    const int* base = reinterpret_cast<const int*>(walk.sourceBits - 1);
    const std::int64_t groups = (count - 2) / 8;
    for (std::int64_t g = 0; g < groups; ++g) {
        const __m256i su = _mm256_add_epi32(_mm256_srai_epi32(u, 16), pivotU);
        const __m256i sv = _mm256_add_epi32(_mm256_srai_epi32(v, 16), pivotV);
        const __m256i index =
            _mm256_add_epi32(_mm256_mullo_epi32(sv, stride), _mm256_add_epi32(su, _mm256_add_epi32(su, su)));
        const __m256i words = _mm256_i32gather_epi32(base, index, 1);
        u = _mm256_add_epi32(u, groupStepU);
        v = _mm256_add_epi32(v, groupStepV);
        if (step > 0) {
            const __m256i packed = _mm256_shuffle_epi8(words, forward);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), _mm256_extracti128_si256(packed, 1));
            out += 24;
        } else {
            const __m256i packed = _mm256_shuffle_epi8(words, backward);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out - 13), _mm256_castsi256_si128(packed));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out - 25), _mm256_extracti128_si256(packed, 1));
            out -= 24;
        }
    }
    walk.sumU += static_cast<std::uint32_t>(groups) * 8u * walk.stepU;
    walk.sumV += static_cast<std::uint32_t>(groups) * 8u * walk.stepV;
    return count - groups * 8;
}

// GCC's 512-bit intrinsics start from a deliberately undefined register, which
// its flow analysis reports as uninitialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// Sixteen pixels at a time, left to right only: one gather as above, a byte
// permutation that packs the sixteen pixels into 48 bytes, one store masked to
// exactly those bytes. Returns how many pixels remain (fewer than sixteen).
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) std::int64_t CopySixteen(std::uint8_t*& out, Walk& walk,
                                                                                 std::int64_t count) {
    const std::int64_t groups = count / 16;
    if (groups == 0) return count;
    const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    __m512i u = _mm512_add_epi32(_mm512_set1_epi32(static_cast<std::int32_t>(walk.sumU)),
                                 _mm512_mullo_epi32(lanes, _mm512_set1_epi32(static_cast<std::int32_t>(walk.stepU))));
    __m512i v = _mm512_add_epi32(_mm512_set1_epi32(static_cast<std::int32_t>(walk.sumV)),
                                 _mm512_mullo_epi32(lanes, _mm512_set1_epi32(static_cast<std::int32_t>(walk.stepV))));
    const __m512i groupStepU = _mm512_set1_epi32(static_cast<std::int32_t>(walk.stepU * 16u));
    const __m512i groupStepV = _mm512_set1_epi32(static_cast<std::int32_t>(walk.stepV * 16u));
    const __m512i pivotU = _mm512_set1_epi32(walk.PU), pivotV = _mm512_set1_epi32(walk.PV);
    const __m512i stride = _mm512_set1_epi32(static_cast<std::int32_t>(walk.sourceStride));
    // Bytes 1..3 of each gathered word are blue, green, red: byte j of the result is
    // byte j mod 3 + 1 of word j div 3.
    alignas(64) static constexpr std::uint8_t kPack[64] = {
        1,  2,  3,  5,  6,  7,  9,  10, 11, 13, 14, 15, 17, 18, 19, 21, 22, 23, 25, 26, 27, 29,
        30, 31, 33, 34, 35, 37, 38, 39, 41, 42, 43, 45, 46, 47, 49, 50, 51, 53, 54, 55, 57, 58, 59, 61, 62, 63};
    const __m512i pack = _mm512_load_si512(kPack);
    constexpr __mmask64 kTwelveWords = (__mmask64{1} << 48) - 1;
    const std::uint8_t* const base = walk.sourceBits - 1;
    for (std::int64_t g = 0; g < groups; ++g) {
        const __m512i su = _mm512_add_epi32(_mm512_srai_epi32(u, 16), pivotU);
        const __m512i sv = _mm512_add_epi32(_mm512_srai_epi32(v, 16), pivotV);
        const __m512i index =
            _mm512_add_epi32(_mm512_mullo_epi32(sv, stride), _mm512_add_epi32(su, _mm512_add_epi32(su, su)));
        const __m512i words = _mm512_i32gather_epi32(index, base, 1);
        u = _mm512_add_epi32(u, groupStepU);
        v = _mm512_add_epi32(v, groupStepV);
        _mm512_mask_storeu_epi8(out, kTwelveWords, _mm512_permutexvar_epi8(pack, words));
        out += 48;
    }
    walk.sumU += static_cast<std::uint32_t>(groups) * 16u * walk.stepU;
    walk.sumV += static_cast<std::uint32_t>(groups) * 16u * walk.stepV;
    return count - groups * 16;
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace

int WidestCopy() {
    static const int widest = [] {
        if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
            __builtin_cpu_supports("avx512vbmi"))
            return 16;
        return __builtin_cpu_supports("avx2") ? 8 : 1;
    }();
    return widest;
}

std::int64_t CopyWide(int width, std::uint8_t*& out, std::int32_t step, Walk& walk, std::int64_t count) {
    if (width == 16 && step > 0) count = CopySixteen(out, walk, count);
    if (width >= 8) count = CopyEight(out, step, walk, count);
    return count;
}

}  // namespace placement::wide

#else

namespace placement::wide {
int WidestCopy() { return 1; }
std::int64_t CopyWide(int, std::uint8_t*&, std::int32_t, Walk&, std::int64_t count) { return count; }
}  // namespace placement::wide

#endif
