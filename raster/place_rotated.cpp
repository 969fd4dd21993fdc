// TWin::PlaceRotated: draws a source raster into this one, turned, scaled and
// moved, through the colour stage and Blend. Two paths: a direct row copy for the
// unturned, unscaled case and a fixed-point scan of the destination otherwise.
#include "raster/place_rotated.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <limits>
#include <numbers>
#include <vector>

#include "raster/blend.h"
#include "raster/random.h"
#include "raster/win.h"

namespace {

int copyWidthLimit = 16;

using std::int32_t;
using std::int64_t;
using std::uint32_t;
using std::uint8_t;

// What the processor's own truncation gives for a value beyond 32 bits (and NaN):
// the most negative integer. Avoids undefined conversions on wild settings.
int32_t TruncateToInt32(double value) {
    if (!(value > -2147483649.0 && value < 2147483648.0)) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

// Truncation for sizes and extents, held within +-limit so sums of them stay in 64 bits.
int64_t TruncateWithin(double value, int64_t limit) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(limit)) return limit;
    if (value <= -static_cast<double>(limit)) return -limit;
    return static_cast<int64_t>(value);
}

int64_t FloorDivide(int64_t a, int64_t b) {  // b != 0
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

int64_t CeilDivide(int64_t a, int64_t b) {  // b != 0
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) == (b < 0))) ++q;
    return q;
}

// A colour packed as blue | green << 8 | red << 16; the key held when it is off
// matches no pixel.
constexpr uint32_t kNoKey = 0xFFFFFFFFu;

uint32_t Pack(int32_t blue, int32_t green, int32_t red) {
    return static_cast<uint32_t>(blue) | static_cast<uint32_t>(green) << 8 | static_cast<uint32_t>(red) << 16;
}

// The colour stage between a source colour and the destination bytes: gain,
// brightness, the channel shifts and saturation give a value per channel, which
// is clamped (when asked) and mixed in with Blend at the call's weight.
class ColourStage {
public:
    ColourStage(int32_t weight, bool clamp, int32_t Brightness, float Gain, float Saturation, int32_t RedShift,
                int32_t GreenShift, int32_t BlueShift)
        : weight_(weight), clamp_(clamp), gain_(Gain), saturation_(Saturation) {
        const int64_t brightness = Brightness, red = RedShift, green = GreenShift, blue = BlueShift;
        offsets_[0] = static_cast<double>(brightness + 2 * blue - red - green);
        offsets_[1] = static_cast<double>(brightness + 2 * green - red - blue);
        offsets_[2] = static_cast<double>(brightness + 2 * red - green - blue);
        // Without saturation the grey level drops out ((grey - c) x 0 is a zero),
        // so every value is a function of its channel byte alone.
        byTable_ = Saturation == 0.0f;
        identity_ = byTable_ && weight == 128;
        if (byTable_) {
            for (int channel = 0; channel < 3; ++channel)
                for (int32_t c = 0; c < 256; ++c) {
                    table_[channel][c] = Compute(channel, c, 0);
                    if (table_[channel][c] != c) identity_ = false;
                }
        }
    }

    // True when every written byte equals the source byte: the three bytes are copied.
    bool Identity() const { return identity_; }

    // The new value of one channel (0 blue, 1 green, 2 red), after the clamp.
    int32_t Value(int channel, int32_t c, int32_t grey) const {
        return byTable_ ? table_[channel][c] : Compute(channel, c, grey);
    }

    void Values(int32_t blue, int32_t green, int32_t red, int32_t grey, int32_t values[3]) const {
        values[0] = Value(0, blue, grey);
        values[1] = Value(1, green, grey);
        values[2] = Value(2, red, grey);
    }

    void Write(uint8_t* pixel, const int32_t values[3]) const {
        if (weight_ == 128) {
            pixel[0] = static_cast<uint8_t>(values[0]);
            pixel[1] = static_cast<uint8_t>(values[1]);
            pixel[2] = static_cast<uint8_t>(values[2]);
        } else {
            pixel[0] = static_cast<uint8_t>(Blend(pixel[0], values[0], weight_, 0));
            pixel[1] = static_cast<uint8_t>(Blend(pixel[1], values[1], weight_, 0));
            pixel[2] = static_cast<uint8_t>(Blend(pixel[2], values[2], weight_, 0));
        }
    }

private:
    int32_t Compute(int channel, int32_t c, int32_t grey) const {
        const double value = static_cast<double>(c) * gain_ + offsets_[channel] -
                             static_cast<double>(grey - c) * saturation_;
        int32_t result = TruncateToInt32(value);
        if (clamp_) result = std::clamp(result, 0, 255);
        return result;
    }

    int32_t weight_;
    bool clamp_;
    double gain_, saturation_;
    double offsets_[3];
    bool byTable_ = false, identity_ = false;
    int32_t table_[3][256]{};
};

struct Key {
    uint32_t packed;  // kNoKey when off
    bool Matches(int32_t blue, int32_t green, int32_t red) const { return Pack(blue, green, red) == packed; }
};

int64_t NonNegative(int32_t inset) { return inset < 0 ? 0 : inset; }

struct Insets {
    int64_t left, top, right, bottom;
};

void DirectCopy(TWin& target, TWin& source, int32_t CentreX, int32_t CentreY, const Key& key,
                const ColourStage& stage, int32_t Effect, int32_t firstBlue, int32_t firstGreen, int32_t firstRed,
                const Insets& inset) {
    const int64_t hw = source.Width() / 2, hh = source.Height() / 2;
    const int64_t dw = target.Width(), dh = target.Height();
    const int64_t ox = CentreX - hw, oy = CentreY - hh;
    const int64_t x0 = std::max<int64_t>(0, ox + inset.left);
    if (x0 >= dw) return;
    const int64_t y0 = std::max<int64_t>(0, oy + inset.top);
    if (y0 >= dh) return;
    const int64_t x1 = std::min<int64_t>(dw, CentreX + hw - inset.right);
    if (x1 <= 0) return;
    const int64_t y1 = std::min<int64_t>(dh, CentreY + hh - inset.bottom);
    if (y1 <= 0) return;

    const int64_t count = std::max<int64_t>(0, x1 - x0);
    const bool plainCopy = stage.Identity() && key.packed == kNoKey && (Effect < -128 || Effect > 5 || Effect == 0) &&
                           &source != &target;
    int32_t previous[3] = {firstBlue, firstGreen, firstRed};
    for (int64_t y = y0; y < y1; ++y) {
        uint8_t* out = target.PixelAddress(static_cast<int32_t>(x0), static_cast<int32_t>(y));
        const uint8_t* in = source.PixelAddress(static_cast<int32_t>(x0 - ox), static_cast<int32_t>(y - oy));
        target.Step = 3;
        source.Step = 3;
        if (plainCopy) {
            std::memcpy(out, in, static_cast<std::size_t>(3 * count));
            out += 3 * count;
            in += 3 * count;
        } else {
            for (int64_t i = 0; i < count; ++i, in += 3, out += 3) {
                int32_t c[3] = {in[0], in[1], in[2]};
                if (key.Matches(c[0], c[1], c[2])) continue;
                // The grey level is the source pixel's as read, before the effect,
                // as in the turned path.
                const int32_t grey = (c[0] + c[1] + c[2]) / 3;
                switch (Effect) {
                    case 1:
                        c[0] = c[1] = c[2] = Random(255);
                        break;
                    case 2:
                        c[0] = Random(255);
                        c[1] = Random(255);
                        c[2] = Random(255);
                        break;
                    case 3:
                        for (int32_t& channel : c) channel = 255 - channel;
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
                int32_t values[3];
                stage.Values(c[0], c[1], c[2], grey, values);
                stage.Write(out, values);
                previous[0] = c[0];
                previous[1] = c[1];
                previous[2] = c[2];
            }
        }
        target.Cursor = out;
        source.Cursor = const_cast<uint8_t*>(in);
    }
}

// The scales' consequences for one row: the scaled pivot and the limits of the
// sample point. A row whose values leave +-2^30 is beyond any drawable size.
struct ScaledLimits {
    int64_t PU, PV, LU, LV;
    bool usable;
};

ScaledLimits LimitsFor(float scaleX, float scaleY, int64_t hw, int64_t hh, int64_t sw, int64_t sh, int32_t PivotDX,
                       int32_t PivotDY) {
    constexpr int64_t kLimit = int64_t{1} << 30;
    ScaledLimits limits{};
    limits.PU = TruncateWithin(static_cast<double>(hw - PivotDX) * scaleX, kLimit + 1);
    limits.PV = TruncateWithin(static_cast<double>(hh - PivotDY) * scaleY, kLimit + 1);
    limits.LU = TruncateWithin(static_cast<double>(sw) * scaleX, kLimit + 1);
    limits.LV = TruncateWithin(static_cast<double>(sh) * scaleY, kLimit + 1);
    limits.usable = std::abs(limits.PU) <= kLimit && std::abs(limits.PV) <= kLimit && std::abs(limits.LU) <= kLimit &&
                    std::abs(limits.LV) <= kLimit;
    return limits;
}

// Narrows [first, last] to the k for which lo <= start + k * step <= hi.
void Narrow(int64_t start, int64_t step, int64_t lo, int64_t hi, int64_t& first, int64_t& last) {
    if (lo > hi) {
        last = first - 1;
        return;
    }
    if (step == 0) {
        if (start < lo || start > hi) last = first - 1;
        return;
    }
    if (step > 0) {
        first = std::max(first, CeilDivide(lo - start, step));
        last = std::min(last, FloorDivide(hi - start, step));
    } else {
        first = std::max(first, CeilDivide(hi - start, step));
        last = std::min(last, FloorDivide(lo - start, step));
    }
}

// One row's drawable columns k = first..last and its sums at column 0.
struct RowRun {
    int32_t y;
    int64_t first, last;
    int64_t startU, startV;
    int32_t PU, PV;
};

// How many source rows one strip of a destination row may cross: enough for
// long runs, few enough that the rows' cache lines and pages stay at hand.
constexpr int64_t kStripSourceRows = 128;

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define LUMARQ_COPY_EIGHT 1

// Eight pixels at a time: their sample points side by side, one gather of the
// four bytes ending with each source pixel, a shuffle that packs four pixels
// into twelve bytes per half, two overlapping stores. Each store spills four
// bytes onto the two pixels after the group, so at least two pixels are left
// for the caller, who writes them after. Returns how many pixels remain.
__attribute__((target("avx2"))) int64_t CopyEight(uint8_t*& out, int32_t step, uint32_t& sumU, uint32_t& sumV,
                                                  uint32_t stepU, uint32_t stepV, int32_t PU, int32_t PV,
                                                  const uint8_t* sourceBits, int32_t sourceStride, int64_t count) {
    if (count < 10) return count;
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i laneStepU = _mm256_set1_epi32(static_cast<int32_t>(stepU));
    const __m256i laneStepV = _mm256_set1_epi32(static_cast<int32_t>(stepV));
    __m256i u = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int32_t>(sumU)), _mm256_mullo_epi32(lanes, laneStepU));
    __m256i v = _mm256_add_epi32(_mm256_set1_epi32(static_cast<int32_t>(sumV)), _mm256_mullo_epi32(lanes, laneStepV));
    const __m256i groupStepU = _mm256_set1_epi32(static_cast<int32_t>(stepU * 8u));
    const __m256i groupStepV = _mm256_set1_epi32(static_cast<int32_t>(stepV * 8u));
    const __m256i pivotU = _mm256_set1_epi32(PU), pivotV = _mm256_set1_epi32(PV);
    const __m256i stride = _mm256_set1_epi32(sourceStride);
    // Bytes 1..3 of each gathered word are blue, green, red.
    const __m256i forward = _mm256_setr_epi8(1, 2, 3, 5, 6, 7, 9, 10, 11, 13, 14, 15, -1, -1, -1, -1,  //
                                             1, 2, 3, 5, 6, 7, 9, 10, 11, 13, 14, 15, -1, -1, -1, -1);
    const __m256i backward = _mm256_setr_epi8(-1, -1, -1, -1, 13, 14, 15, 9, 10, 11, 5, 6, 7, 1, 2, 3,  //
                                              -1, -1, -1, -1, 13, 14, 15, 9, 10, 11, 5, 6, 7, 1, 2, 3);
    const int* base = reinterpret_cast<const int*>(sourceBits - 1);
    const int64_t groups = (count - 2) / 8;
    for (int64_t g = 0; g < groups; ++g) {
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
    sumU += static_cast<uint32_t>(groups) * 8u * stepU;
    sumV += static_cast<uint32_t>(groups) * 8u * stepV;
    return count - groups * 8;
}

bool HasEightWideCopy() {
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported;
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
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) int64_t CopySixteen(
    uint8_t*& out, uint32_t& sumU, uint32_t& sumV, uint32_t stepU, uint32_t stepV, int32_t PU, int32_t PV,
    const uint8_t* sourceBits, int32_t sourceStride, int64_t count) {
    const int64_t groups = count / 16;
    if (groups == 0) return count;
    const __m512i lanes = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    __m512i u = _mm512_add_epi32(_mm512_set1_epi32(static_cast<int32_t>(sumU)),
                                 _mm512_mullo_epi32(lanes, _mm512_set1_epi32(static_cast<int32_t>(stepU))));
    __m512i v = _mm512_add_epi32(_mm512_set1_epi32(static_cast<int32_t>(sumV)),
                                 _mm512_mullo_epi32(lanes, _mm512_set1_epi32(static_cast<int32_t>(stepV))));
    const __m512i groupStepU = _mm512_set1_epi32(static_cast<int32_t>(stepU * 16u));
    const __m512i groupStepV = _mm512_set1_epi32(static_cast<int32_t>(stepV * 16u));
    const __m512i pivotU = _mm512_set1_epi32(PU), pivotV = _mm512_set1_epi32(PV);
    const __m512i stride = _mm512_set1_epi32(sourceStride);
    // Bytes 1..3 of each gathered word are blue, green, red: byte j of the result is
    // byte j mod 3 + 1 of word j div 3.
    alignas(64) static constexpr uint8_t kPack[64] = {
        1,  2,  3,  5,  6,  7,  9,  10, 11, 13, 14, 15, 17, 18, 19, 21, 22, 23, 25, 26, 27, 29,
        30, 31, 33, 34, 35, 37, 38, 39, 41, 42, 43, 45, 46, 47, 49, 50, 51, 53, 54, 55, 57, 58, 59, 61, 62, 63};
    const __m512i pack = _mm512_load_si512(kPack);
    constexpr __mmask64 kTwelveWords = (__mmask64{1} << 48) - 1;
    const uint8_t* const base = sourceBits - 1;
    for (int64_t g = 0; g < groups; ++g) {
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
    sumU += static_cast<uint32_t>(groups) * 16u * stepU;
    sumV += static_cast<uint32_t>(groups) * 16u * stepV;
    return count - groups * 16;
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

bool HasSixteenWideCopy() {
    static const bool supported = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                                  __builtin_cpu_supports("avx512vbmi");
    return supported;
}
#else
#define LUMARQ_COPY_EIGHT 0
#endif

constexpr std::size_t kRowsAhead = 12;
constexpr int64_t kPrefetchColumns = 12;

inline const uint8_t* SampleAddress(const RowRun& run, int64_t k, int64_t E, int64_t F, const uint8_t* sourceBits,
                                    std::ptrdiff_t sourceStride) {
    const int32_t u = (static_cast<int32_t>(static_cast<uint32_t>(run.startU - k * F)) >> 16) + run.PU;
    const int32_t v = (static_cast<int32_t>(static_cast<uint32_t>(run.startV - k * E)) >> 16) + run.PV;
    return sourceBits + v * sourceStride + 3 * static_cast<std::ptrdiff_t>(u);
}

inline void Prefetch([[maybe_unused]] const uint8_t* address) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(address);
#endif
}

inline void PrefetchForWriting([[maybe_unused]] const uint8_t* address) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(address, 1);
#endif
}

// Copies count pixels at scale 1: the source pixel at the sample point goes to
// out, which moves by step. Every sample point lies inside the source with
// u >= 1, so the four bytes ending with a pixel are always source bytes; the
// write spills one byte onto the pixel written next, which is why the last pixel
// is written byte by byte.
inline void CopyRun(uint8_t* out, int32_t step, uint32_t sumU, uint32_t sumV, uint32_t stepU, uint32_t stepV,
                    int32_t PU, int32_t PV, const uint8_t* sourceBits, std::ptrdiff_t sourceStride, int64_t count,
                    [[maybe_unused]] int wide) {
    auto sample = [&] {
        const int32_t u = (static_cast<int32_t>(sumU) >> 16) + PU;
        const int32_t v = (static_cast<int32_t>(sumV) >> 16) + PV;
        sumU += stepU;
        sumV += stepV;
        return sourceBits + v * sourceStride + 3 * static_cast<std::ptrdiff_t>(u);
    };
#if LUMARQ_COPY_EIGHT
    if (wide == 16 && step > 0)
        count = CopySixteen(out, sumU, sumV, stepU, stepV, PU, PV, sourceBits, static_cast<int32_t>(sourceStride), count);
    if (wide >= 8) count = CopyEight(out, step, sumU, sumV, stepU, stepV, PU, PV, sourceBits,
                                     static_cast<int32_t>(sourceStride), count);
#endif
    if constexpr (std::endian::native == std::endian::little) {
        if (step > 0) {
            for (; count > 1; --count, out += 3) {
                uint32_t word;
                std::memcpy(&word, sample() - 1, 4);
                word >>= 8;
                std::memcpy(out, &word, 4);  // its fourth byte is the next pixel's, written next
            }
        } else {
            for (; count > 1; --count, out -= 3) {
                uint32_t word;
                std::memcpy(&word, sample() - 1, 4);
                std::memcpy(out - 1, &word, 4);  // its first byte is the pixel to the left, written next
            }
        }
    }
    for (; count > 0; --count, out += step) {
        const uint8_t* in = sample();
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
    }
}

// Black in every row of the target outside columns x0..x1 - 1 of rows y0..y1 - 1,
// the block the caller draws; everything when the block is empty. Row padding
// stays as it is.
void ClearAround(TWin& target, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
    const int64_t dw = target.Width(), dh = target.Height();
    if (x0 >= x1 || y0 >= y1) x0 = x1 = y0 = y1 = 0;
    for (int64_t y = 0; y < dh; ++y) {
        uint8_t* row = target.PixelAddress(0, static_cast<int32_t>(y));
        if (y < y0 || y >= y1) {
            std::memset(row, 0, static_cast<std::size_t>(3 * dw));
        } else {
            std::memset(row, 0, static_cast<std::size_t>(3 * x0));
            std::memset(row + 3 * x1, 0, static_cast<std::size_t>(3 * (dw - x1)));
        }
    }
}

// clearOutside stands in for clearing the target to black first: each row is
// written black outside its drawable run while the runs are gathered, so that no
// byte is written twice. Only for a replacing, unkeyed, unmirrored full scan
// without insets at scale 1, whose runs do not depend on what the target held.
void TransformedScan(TWin& target, TWin& source, int32_t CentreX, int32_t CentreY, float Angle, float ScaleX,
                     float ScaleY, float ScaleStep, int32_t PivotDX, int32_t PivotDY, bool fullScan, const Key& key,
                     const ColourStage& stage, const Insets& inset, bool clearOutside = false) {
    if (!std::isfinite(Angle) || !std::isfinite(ScaleX) || !std::isfinite(ScaleY) || !std::isfinite(ScaleStep)) {
        if (clearOutside) ClearAround(target, 0, 0, 0, 0);
        return;
    }
    bool mirrored = false;
    if (ScaleY < 0) {
        ScaleY = -ScaleY;
        Angle = static_cast<float>(static_cast<double>(Angle) + 180.0);
        Angle = static_cast<float>(360.0 - static_cast<double>(Angle));
        mirrored = true;
    }
    if (ScaleX < 0) {
        ScaleX = -ScaleX;
        Angle = static_cast<float>(360.0 - static_cast<double>(Angle));
        mirrored = !mirrored;
    }
    const int64_t sw = source.Width(), sh = source.Height(), hw = sw / 2, hh = sh / 2;
    const int64_t dw = target.Width(), dh = target.Height();
    const int64_t code = rotation::AngleCode(Angle);
    const rotation::Coefficients coefficients = rotation::CoefficientsFor(Angle);
    const int64_t E = coefficients.E, F = coefficients.F;

    int64_t x0, x1, y0, y1;
    bool noRows = false;
    if (!fullScan) {
        constexpr int64_t kExtentLimit = int64_t{1} << 40;
        const int64_t across = TruncateWithin(static_cast<double>(ScaleX) * static_cast<double>(hw), kExtentLimit);
        const int64_t down = TruncateWithin(static_cast<double>(ScaleY) * static_cast<double>(hh), kExtentLimit);
        int64_t G, H;
        if (code == 0 || code == 18000) {
            G = across + 1;
            H = down + 1;
        } else if (code == 9000 || code == 27000) {
            G = down + 1;
            H = across + 1;
        } else {
            // Turned, the image reaches beyond its half sides: the box is 1.37 times
            // the larger one, which cuts the corners of a square turned near 45 degrees.
            G = H = TruncateWithin(1.37 * static_cast<double>(std::max(across + 3, down + 3)), kExtentLimit);
        }
        x0 = std::clamp<int64_t>(int64_t{CentreX} + PivotDX - G - 1 + inset.left, 0, dw - 1);
        x1 = std::clamp<int64_t>(int64_t{CentreX} + PivotDX + G - inset.right, 0, dw - 1);
        y0 = std::clamp<int64_t>(int64_t{CentreY} + PivotDY - H + inset.top, 0, dh - 1);
        y1 = std::clamp<int64_t>(int64_t{CentreY} + PivotDY + H - inset.bottom, 0, dh - 1);
    } else {
        x0 = inset.left;
        x1 = dw - 1 - inset.right;
        y0 = inset.top;
        y1 = dh - 1 - inset.bottom;
        // Crossing insets draw nothing; clamping afterwards keeps every visit inside.
        noRows = y0 > y1;
        x0 = std::clamp<int64_t>(x0, 0, dw - 1);
        x1 = std::clamp<int64_t>(x1, 0, dw - 1);
        y0 = std::clamp<int64_t>(y0, 0, dh - 1);
        y1 = std::clamp<int64_t>(y1, 0, dh - 1);
    }

    float s = 0.0f;
    if (ScaleStep != 0.0f) {
        s = static_cast<float>(static_cast<double>(ScaleStep) / 50000.0);
        ScaleX = static_cast<float>(static_cast<double>(ScaleX) - static_cast<double>(hw) * s);
        ScaleY = static_cast<float>(static_cast<double>(ScaleY) - static_cast<double>(hh) * s);
    }
    ScaledLimits limits = LimitsFor(ScaleX, ScaleY, hw, hh, sw, sh, PivotDX, PivotDY);
    target.Step = mirrored ? -3 : 3;
    const int64_t count = x1 - x0;  // columns visited per row
    if (noRows || y0 > y1 || count <= 0) {
        if (clearOutside) ClearAround(target, 0, 0, 0, 0);
        return;
    }

    const int32_t step = target.Step;
    // Drawing a raster into itself reads pixels already written: that goes the
    // cached way, exactly as the sample cache dictates.
    const bool copyBytes = stage.Identity() && key.packed == kNoKey && &source != &target;
    const uint8_t* const sourceBits = source.Bits;
    const std::ptrdiff_t sourceStride = source.Stride;
    // The one-entry sample cache: the last sample point, its colour's values and
    // whether the colour was keyed out.
    int32_t cachedU = -1, cachedV = -1;
    bool cachedKeyed = false;
    int32_t cachedValues[3] = {0, 0, 0};
    const uint8_t* lastRead = nullptr;
    uint8_t* out = nullptr;

    // At scale 1 with bytes copied as they are, every drawable pixel is one source
    // pixel and nothing depends on the order of visits: the runs are gathered
    // first and copied in strips of columns, so that the source, walked across
    // its rows at a turn, stays in the caches.
    const bool copyUnscaled = copyBytes && ScaleStep == 0.0f && ScaleX == 1.0f && ScaleY == 1.0f;
    std::vector<RowRun> runs;
    if (copyUnscaled) runs.reserve(static_cast<std::size_t>(y1 - y0 + 1));

    // Black before and after the row's run; the last column is never visited.
    const auto ClearRow = [&](int64_t y, int64_t first, int64_t last) {
        uint8_t* row = target.PixelAddress(0, static_cast<int32_t>(y));
        if (first > last) {
            std::memset(row, 0, static_cast<std::size_t>(3 * dw));
            return;
        }
        std::memset(row, 0, static_cast<std::size_t>(3 * (x0 + first)));
        const int64_t after = x0 + last + 1;
        std::memset(row + 3 * after, 0, static_cast<std::size_t>(3 * (dw - after)));
    };

    // Column k of a row has rx = R0 - k; the sums below step by -F and -E per column.
    const int64_t R0 = int64_t{CentreX} - 2 - x0;
    for (int64_t y = y0; y <= y1; ++y) {
        if (ScaleStep != 0.0f) {
            ScaleX = static_cast<float>(static_cast<double>(ScaleX) + s);
            ScaleY = static_cast<float>(static_cast<double>(ScaleY) + s);
            limits = LimitsFor(ScaleX, ScaleY, hw, hh, sw, sh, PivotDX, PivotDY);
            // A sample read at the previous row's scale is not this row's colour.
            cachedU = cachedV = -1;
            cachedKeyed = false;
        }
        if (!limits.usable) {
            if (clearOutside) ClearRow(y, 1, 0);
            continue;
        }
        const int64_t ry = int64_t{CentreY} - 1 - y;
        const int64_t startU = R0 * F - ry * E, startV = R0 * E + ry * F;
        // The drawable columns are those whose sums stay within 32 bits and whose
        // sample point lies inside 1 <= u < LU, 1 <= v < LV: one unbroken run.
        constexpr int64_t kMin32 = std::numeric_limits<int32_t>::min(), kMax32 = std::numeric_limits<int32_t>::max();
        int64_t first = 0, last = count - 1;
        Narrow(startU, -F, std::max(kMin32, (1 - limits.PU) * 65536), std::min(kMax32, (limits.LU - limits.PU) * 65536 - 1),
               first, last);
        Narrow(startV, -E, std::max(kMin32, (1 - limits.PV) * 65536), std::min(kMax32, (limits.LV - limits.PV) * 65536 - 1),
               first, last);
        if (clearOutside) ClearRow(y, first, last);
        if (first > last) continue;

        if (copyUnscaled) {
            runs.push_back({static_cast<int32_t>(y), first, last, startU, startV, static_cast<int32_t>(limits.PU),
                            static_cast<int32_t>(limits.PV)});
            continue;
        }

        // Sums in 32 bits with wrap-around; inside the run they never wrap.
        uint32_t sumU = static_cast<uint32_t>(startU - first * F);
        uint32_t sumV = static_cast<uint32_t>(startV - first * E);
        const uint32_t stepU = static_cast<uint32_t>(-F), stepV = static_cast<uint32_t>(-E);
        const int32_t PU = static_cast<int32_t>(limits.PU), PV = static_cast<int32_t>(limits.PV);
        const int64_t firstX = mirrored ? x1 - first : x0 + first;
        out = target.PixelAddress(static_cast<int32_t>(firstX), static_cast<int32_t>(y));
        const int64_t runLength = last - first + 1;
        const double scaleX = ScaleX, scaleY = ScaleY;
        const bool unitX = ScaleX == 1.0f, unitY = ScaleY == 1.0f;
        for (int64_t i = 0; i < runLength; ++i) {
            const int32_t u = (static_cast<int32_t>(sumU) >> 16) + PU;
            const int32_t v = (static_cast<int32_t>(sumV) >> 16) + PV;
            sumU += stepU;
            sumV += stepV;
            if (u != cachedU || v != cachedV) {
                cachedU = u;
                cachedV = v;
                // u < LU <= sw x ScaleX, so u / ScaleX < sw; the guard only holds
                // the last column against rounding.
                int64_t sx = u, sy = v;
                if (!unitX) {
                    const double q = u / scaleX;
                    sx = q >= static_cast<double>(sw - 1) ? sw - 1 : static_cast<int64_t>(q);
                }
                if (!unitY) {
                    const double q = v / scaleY;
                    sy = q >= static_cast<double>(sh - 1) ? sh - 1 : static_cast<int64_t>(q);
                }
                lastRead = sourceBits + sy * sourceStride + 3 * sx;
                const int32_t blue = lastRead[0], green = lastRead[1], red = lastRead[2];
                cachedKeyed = key.Matches(blue, green, red);
                if (!cachedKeyed) stage.Values(blue, green, red, (blue + green + red) / 3, cachedValues);
            }
            if (!cachedKeyed) {
                if (copyBytes) {
                    out[0] = static_cast<uint8_t>(cachedValues[0]);
                    out[1] = static_cast<uint8_t>(cachedValues[1]);
                    out[2] = static_cast<uint8_t>(cachedValues[2]);
                } else {
                    stage.Write(out, cachedValues);
                }
            }
            out += step;
        }
    }
    if (copyUnscaled && !runs.empty()) {
        int64_t lowest = runs.front().first, highest = runs.front().last;
        for (const RowRun& run : runs) lowest = std::min(lowest, run.first), highest = std::max(highest, run.last);
        const uint32_t stepU = static_cast<uint32_t>(-F), stepV = static_cast<uint32_t>(-E);
        // The wide copy indexes the source with 32-bit offsets.
        int wide = 0;
#if LUMARQ_COPY_EIGHT
        if (sourceStride * sh < (int64_t{1} << 31)) {
            if (HasSixteenWideCopy() && copyWidthLimit >= 16) wide = 16;
            else if (HasEightWideCopy() && copyWidthLimit >= 8) wide = 8;
        }
#endif
        // A level walk (E = 0) stays on one source row: one strip does.
        const int64_t stripColumns = E == 0 ? highest - lowest + 1 : std::max<int64_t>(16, kStripSourceRows * 65536 / std::abs(E));
        for (int64_t stripFirst = lowest; stripFirst <= highest; stripFirst += stripColumns) {
            const int64_t stripLast = std::min(highest, stripFirst + stripColumns - 1);
            for (std::size_t i = 0; i < runs.size(); ++i) {
                // The lines a later row of the strip will read and write are fetched
                // ahead: a turned walk is nothing the hardware predicts.
                if (E != 0 && i + kRowsAhead < runs.size()) {
                    const RowRun& later = runs[i + kRowsAhead];
                    const int64_t a = std::max(later.first, stripFirst), b = std::min(later.last, stripLast);
                    for (int64_t k = a; k <= b; k += kPrefetchColumns)
                        Prefetch(SampleAddress(later, k, E, F, sourceBits, sourceStride));
                    if (a <= b) {
                        const uint8_t* first = target.PixelAddress(static_cast<int32_t>(mirrored ? x1 - b : x0 + a), later.y);
                        const int64_t span = 3 * (b - a) + 2;
                        for (int64_t offset = 0; offset < span + 64; offset += 64)
                            PrefetchForWriting(first + std::min(offset, span));
                    }
                }
                const RowRun& run = runs[i];
                const int64_t a = std::max(run.first, stripFirst), b = std::min(run.last, stripLast);
                if (a > b) continue;
                uint8_t* const start =
                    target.PixelAddress(static_cast<int32_t>(mirrored ? x1 - a : x0 + a), run.y);
                CopyRun(start, step, static_cast<uint32_t>(run.startU - a * F), static_cast<uint32_t>(run.startV - a * E),
                        stepU, stepV, run.PU, run.PV, sourceBits, sourceStride, b - a + 1, wide);
            }
        }
        // Where a row-by-row scan would have left the two working pointers.
        const RowRun& final = runs.back();
        out = target.PixelAddress(static_cast<int32_t>(mirrored ? x1 - final.last : x0 + final.last), final.y) + step;
        const int64_t k = final.last;
        const int32_t u = (static_cast<int32_t>(static_cast<uint32_t>(final.startU - k * F)) >> 16) + final.PU;
        const int32_t v = (static_cast<int32_t>(static_cast<uint32_t>(final.startV - k * E)) >> 16) + final.PV;
        lastRead = sourceBits + v * sourceStride + 3 * static_cast<std::ptrdiff_t>(u);
    }
    if (out) target.Cursor = out;
    if (lastRead) source.Probe = const_cast<uint8_t*>(lastRead);
}

}  // namespace

namespace rotation {

std::int64_t AngleCode(float Angle) {
    const double hundredths = static_cast<double>(Angle) * 100.0;
    constexpr std::int64_t kOutOfRange = std::numeric_limits<std::int64_t>::min() % 36000;
    if (!(std::fabs(hundredths) < 9.0e18)) return kOutOfRange;
    double rounded = std::floor(hundredths);
    const double fraction = hundredths - rounded;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0.0)) rounded += 1.0;
    return static_cast<std::int64_t>(rounded) % 36000;
}

Coefficients CoefficientsFor(float Angle) {
    switch (AngleCode(Angle)) {
        case 0: return {0, -65535};
        case 4500: return {-46340, -46340};
        case 9000: return {-65535, 0};
        case 13500: return {-46340, 46340};
        case 18000: return {0, 65535};
        case 22500: return {46340, 46340};
        case 27000: return {65535, 0};
        case 31500: return {46340, -46340};
        default: break;
    }
    const float theta = static_cast<float>((static_cast<double>(Angle) + 180.0) * std::numbers::pi / 180.0);
    return {TruncateToInt32(std::sin(static_cast<double>(theta)) * 65536.0),
            TruncateToInt32(std::cos(static_cast<double>(theta)) * 65536.0)};
}

void LimitCopyWidth(int pixels) { copyWidthLimit = pixels; }

}  // namespace rotation

void TWin::PlaceRotated(TWin& Source, std::int32_t CentreX, std::int32_t CentreY, float Angle, float ScaleX,
                        float ScaleY, float ScaleStep, std::int32_t PivotDX, std::int32_t PivotDY,
                        std::int32_t BlendCode, std::int32_t Brightness, float Gain, float Saturation,
                        std::int32_t RedShift, std::int32_t GreenShift, std::int32_t BlueShift, std::int32_t Effect,
                        std::int32_t Clamp, std::int32_t InsetLeft, std::int32_t InsetTop, std::int32_t InsetRight,
                        std::int32_t InsetBottom) {
    if (BlendCode == 0 || BlendCode < -256 || BlendCode > 256) return;
    // A raster without pixels (an empty or failed load) is neither read nor written.
    if (!HasPixels() || !Source.HasPixels()) return;

    const std::int32_t firstBlue = Source.PeekBlue(0, 0), firstGreen = Source.PeekGreen(),
                       firstRed = Source.PeekRed();
    const Key key{BlendCode > 0 ? Pack(firstBlue, firstGreen, firstRed) : kNoKey};
    const std::int32_t magnitude = BlendCode < 0 ? -BlendCode : BlendCode;
    const std::int32_t weight = magnitude > 128 ? magnitude - 128 : magnitude;
    const bool fullScan = magnitude > 128;
    // Negative insets would reach outside the source or the destination: they count as 0.
    const Insets inset{NonNegative(InsetLeft), NonNegative(InsetTop), NonNegative(InsetRight),
                       NonNegative(InsetBottom)};

    const bool direct = std::trunc(static_cast<double>(ScaleX)) == 1.0 &&
                        std::trunc(static_cast<double>(ScaleY)) == 1.0 &&
                        std::trunc(static_cast<double>(Angle)) == 0.0 &&
                        std::trunc(static_cast<double>(ScaleStep)) == 0.0 && PivotDX == 0 && PivotDY == 0 &&
                        Clamp >= 0;
    if (direct) {
        const ColourStage stage(weight, Clamp >= 1, Brightness, Gain, Saturation, RedShift, GreenShift, BlueShift);
        DirectCopy(*this, Source, CentreX, CentreY, key, stage, Effect, firstBlue, firstGreen, firstRed, inset);
    } else {
        // The turned path clamps with the magnitude of Clamp: any nonzero value.
        const ColourStage stage(weight, Clamp != 0, Brightness, Gain, Saturation, RedShift, GreenShift, BlueShift);
        TransformedScan(*this, Source, CentreX, CentreY, Angle, ScaleX, ScaleY, ScaleStep, PivotDX, PivotDY, fullScan,
                        key, stage, inset);
    }
}

void ClearAndPlaceRotated(TWin& Target, TWin& Source, std::int32_t CentreX, std::int32_t CentreY, float Angle) {
    // Drawing a raster into itself reads what the clear wiped: that one goes the long way.
    if (!Target.HasPixels() || !Source.HasPixels() || &Target == &Source || Target.Width() < 2) {
        Target.FillBox(0, 0, Target.Width() - 1, Target.Height() - 1, 0, 0, 0, 128);
        Target.PlaceRotated(Source, CentreX, CentreY, Angle, 1.0f, 1.0f, 0.0f, 0, 0, -256, 0, 1.0f, 0.0f, 0, 0, 0, 0,
                            1, 0, 0, 0, 0);
        return;
    }
    const int64_t dw = Target.Width(), dh = Target.Height();
    // The working pointers as the clear leaves them, for the placement to move on.
    Target.Step = 3;
    Target.Cursor = Target.PixelAddress(0, static_cast<int32_t>(dh - 1)) + 3 * dw;

    const int32_t firstBlue = Source.PeekBlue(0, 0), firstGreen = Source.PeekGreen(), firstRed = Source.PeekRed();
    const Key noKey{kNoKey};
    const ColourStage stage(128, true, 0, 1.0f, 0.0f, 0, 0, 0);
    const Insets none{0, 0, 0, 0};
    if (std::trunc(static_cast<double>(Angle)) == 0.0) {
        // The direct copy replaces the whole block it draws, byte for byte.
        const int64_t hw = Source.Width() / 2, hh = Source.Height() / 2;
        ClearAround(Target, std::max<int64_t>(0, CentreX - hw), std::max<int64_t>(0, CentreY - hh),
                    std::min<int64_t>(dw, CentreX + hw), std::min<int64_t>(dh, CentreY + hh));
        DirectCopy(Target, Source, CentreX, CentreY, noKey, stage, 0, firstBlue, firstGreen, firstRed, none);
    } else {
        TransformedScan(Target, Source, CentreX, CentreY, Angle, 1.0f, 1.0f, 0.0f, 0, 0, true, noKey, stage, none, true);
    }
}
