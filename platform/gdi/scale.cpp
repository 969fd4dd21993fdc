#include "platform/gdi/scale.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <cstdint>
#include <memory>
#include <numeric>
#include <vector>

#include "platform/gdi/scale_blocks.h"
#include "platform/threads/parallel.h"

namespace platform::gdi {

namespace {
constexpr int kRowsPerPiece = 16;
constexpr std::int64_t kOne = 1 << 16;  // a whole weight
}  // namespace

// For view pixels first..last - 1 along one axis: the image pixels each covers and
// their weights. Below 1 a view pixel i spans [i q, (i + 1) q) and image pixel j
// spans [j p, (j + 1) p), in 1/p of an image pixel; a weight is the difference of
// the rounded-down running coverage, so that a view pixel's weights add up to kOne.
struct ScaleTaps {
    std::vector<int> start;     // first image pixel of each view pixel
    std::vector<int> offset;    // where its weights begin in `weights`; one more at the end
    std::vector<std::uint32_t> weights;

    ScaleTaps(int first, int last, ViewScale scale) {
        const std::int64_t p = scale.numerator, q = scale.denominator;
        start.reserve(static_cast<std::size_t>(last - first));
        offset.reserve(static_cast<std::size_t>(last - first) + 1);
        for (std::int64_t i = first; i < last; ++i) {
            const std::int64_t begin = i * q, end = begin + q;
            start.push_back(static_cast<int>(begin / p));
            offset.push_back(static_cast<int>(weights.size()));
            std::int64_t before = 0;
            for (std::int64_t j = begin / p; j * p < end; ++j) {
                const std::int64_t covered = std::min((j + 1) * p, end) - begin;
                const std::int64_t upTo = covered * kOne / q;
                weights.push_back(static_cast<std::uint32_t>(upTo - before));
                before = upTo;
            }
        }
        offset.push_back(static_cast<int>(weights.size()));
    }
    int Count(std::size_t i) const { return offset[i + 1] - offset[i]; }
    // The image pixels that view pixels first..last - 1 of this table reach: [low, high).
    int Low() const { return start.front(); }
    int High() const { return start.back() + Count(start.size() - 1); }
};

namespace {

void Store(std::uint8_t* out, int bytesPerPixel, std::uint32_t blue, std::uint32_t green, std::uint32_t red) {
    if (bytesPerPixel == 4) {
        const std::uint32_t pixel = 0xFF000000u | red << 16 | green << 8 | blue;
        std::copy_n(reinterpret_cast<const std::uint8_t*>(&pixel), 4, out);
    } else {
        out[0] = static_cast<std::uint8_t>(blue);
        out[1] = static_cast<std::uint8_t>(green);
        out[2] = static_cast<std::uint8_t>(red);
    }
}

// Rows first..last - 1 of the view's clip, reduced: each row's image rows summed
// with their weights into `sums` (one per channel of the image columns reached),
// then each view pixel's image columns summed from it.
void ReduceRows(const Surface& dst, int left, int top, const Surface& src, const ClipBox& clip, const ScaleTaps& rows,
                const ScaleTaps& columns, int first, int last) {
    const int low = columns.Low();
    const std::size_t channels = 3 * static_cast<std::size_t>(columns.High() - low);
    std::vector<std::uint32_t> sums(channels);
    for (int y = first; y < last; ++y) {
        const std::size_t row = static_cast<std::size_t>(y - clip.top);
        const int count = rows.Count(row);
        const std::uint32_t* weight = rows.weights.data() + rows.offset[row];
        for (int t = 0; t < count; ++t) {
            const std::uint8_t* in = src.pixel(low, rows.start[row] + t);
            const std::uint32_t w = weight[t];
            std::uint32_t* sum = sums.data();
            if (t == 0) {
                for (std::size_t k = 0; k < channels; ++k) sum[k] = w * in[k];
            } else {
                for (std::size_t k = 0; k < channels; ++k) sum[k] += w * in[k];
            }
        }
        std::uint8_t* out = dst.pixel(clip.left - left, y - top);
        for (std::size_t x = 0; x < columns.start.size(); ++x, out += dst.bytesPerPixel) {
            const std::uint32_t* in = sums.data() + 3 * static_cast<std::size_t>(columns.start[x] - low);
            const std::uint32_t* w = columns.weights.data() + columns.offset[x];
            std::uint64_t blue = 0, green = 0, red = 0;
            for (int t = columns.Count(x); t > 0; --t, ++w, in += 3) {
                blue += std::uint64_t{*w} * in[0];
                green += std::uint64_t{*w} * in[1];
                red += std::uint64_t{*w} * in[2];
            }
            constexpr std::uint64_t kHalf = std::uint64_t{1} << 31;
            Store(out, dst.bytesPerPixel, static_cast<std::uint32_t>((blue + kHalf) >> 32),
                  static_cast<std::uint32_t>((green + kHalf) >> 32), static_cast<std::uint32_t>((red + kHalf) >> 32));
        }
    }
}

// The exact mean of n x n bytes whose sum is `total`, rounded to the nearest, halves
// up: with k = 40 and m = ceil(2^k / d), (s m) >> k is s / d rounded down for every
// s below 2^k / d, which holds for n below 128.
std::uint32_t BlockMean(std::uint32_t total, std::uint64_t area, std::uint64_t multiplier) {
    return static_cast<std::uint32_t>(((2 * std::uint64_t{total} + area) * multiplier) >> 40);
}

// Every block mean of n x n bytes, by its sum, for the small n whose table stays
// in the cache.
constexpr int kLargestTabledBlock = 8;
const std::vector<std::uint8_t>& BlockMeans(int n) {
    static const auto tables = [] {
        std::array<std::vector<std::uint8_t>, kLargestTabledBlock + 1> all;
        for (int k = 2; k <= kLargestTabledBlock; ++k) {
            const std::uint64_t area = static_cast<std::uint64_t>(k) * static_cast<std::uint64_t>(k);
            const std::uint64_t multiplier = ((std::uint64_t{1} << 40) + 2 * area - 1) / (2 * area);
            for (std::uint32_t total = 0; total <= 255 * area; ++total)
                all[static_cast<std::size_t>(k)].push_back(static_cast<std::uint8_t>(BlockMean(total, area, multiplier)));
        }
        return all;
    }();
    return tables[static_cast<std::size_t>(n)];
}

// Rows first..last - 1 of the view's clip at 1/n: each view pixel the exact mean of
// n x n whole image pixels, rounded to the nearest, halves up. Plain sums (a column
// of n bytes fits 16 bits for n below 128): down the n rows, then across n
// pixels for every byte at once (one add of the row shifted by a pixel per pixel
// more), of which each view pixel takes its three; the means from a table where n
// is small.
template <int N>
void AverageBlocksOf(const Surface& dst, int left, int top, const Surface& src, const ClipBox& clip, int dynamicN,
                     int first, int last) {
    const int n = N > 0 ? N : dynamicN;
    const int width = clip.right - clip.left;
    const std::size_t channels = 3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(n);
    const std::uint64_t area = static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(n);
    const std::uint64_t multiplier = ((std::uint64_t{1} << 40) + 2 * area - 1) / (2 * area);
    const std::uint8_t* table = n <= kLargestTabledBlock ? BlockMeans(n).data() : nullptr;
    std::vector<std::uint16_t> columns(channels);
    std::vector<std::uint32_t> blocks(channels);
    for (int y = first; y < last; ++y) {
        const std::uint8_t* row = src.pixel(n * clip.left, n * y);
        {
            std::uint16_t* __restrict__ sum = columns.data();
            const std::uint8_t* __restrict__ in = row;
            for (std::size_t k = 0; k < channels; ++k) sum[k] = in[k];
            for (int t = 1; t < n; ++t) {
                in = row + t * src.stride;
                for (std::size_t k = 0; k < channels; ++k) sum[k] = static_cast<std::uint16_t>(sum[k] + in[k]);
            }
        }
        {
            // blocks[k]: the sum of byte k and the same channel's bytes of the next n - 1 pixels.
            const std::size_t reach = channels - 3 * static_cast<std::size_t>(n - 1);
            std::uint32_t* __restrict__ block = blocks.data();
            const std::uint16_t* __restrict__ in = columns.data();
            for (std::size_t k = 0; k < reach; ++k) block[k] = in[k];
            for (int t = 1; t < n; ++t) {
                const std::uint16_t* __restrict__ shifted = columns.data() + 3 * t;
                for (std::size_t k = 0; k < reach; ++k) block[k] += shifted[k];
            }
        }
        std::uint8_t* out = dst.pixel(clip.left - left, y - top);
        const std::uint32_t* in = blocks.data();
        const auto mean = [=](std::uint32_t total) {
            return table ? std::uint32_t{table[total]} : BlockMean(total, area, multiplier);
        };
        for (int x = 0; x < width; ++x, in += 3 * n) {
            const std::uint32_t pixel = 0xFF000000u | mean(in[2]) << 16 | mean(in[1]) << 8 | mean(in[0]);
            if (dst.bytesPerPixel == 4) {
                std::memcpy(out, &pixel, 4);  // a window's surface: whole 32-bit words
                out += 4;
            } else {
                Store(out, 3, pixel & 0xFF, pixel >> 8 & 0xFF, pixel >> 16 & 0xFF);
                out += 3;
            }
        }
    }
}

void AverageBlocks(const Surface& dst, int left, int top, const Surface& src, const ClipBox& clip, int n, int first,
                   int last) {
    if (AverageSmallBlocks(dst, left, top, src, clip, n, first, last)) return;
    // The common reductions with their loops unrolled.
    switch (n) {
        case 2: return AverageBlocksOf<2>(dst, left, top, src, clip, n, first, last);
        case 3: return AverageBlocksOf<3>(dst, left, top, src, clip, n, first, last);
        case 4: return AverageBlocksOf<4>(dst, left, top, src, clip, n, first, last);
        default: return AverageBlocksOf<0>(dst, left, top, src, clip, n, first, last);
    }
}

// Rows first..last - 1 of the view's clip, enlarged: each view pixel the image pixel it lies on.
void EnlargeRows(const Surface& dst, int left, int top, const Surface& src, const ClipBox& clip, ViewScale scale,
                 const std::vector<int>& columns, int first, int last) {
    for (int y = first; y < last; ++y) {
        const int row = static_cast<int>(static_cast<std::int64_t>(y) * scale.denominator / scale.numerator);
        const std::uint8_t* in = src.pixel(0, row);
        std::uint8_t* out = dst.pixel(clip.left - left, y - top);
        for (const int column : columns) {
            const std::uint8_t* pixel = in + 3 * static_cast<std::ptrdiff_t>(column);
            Store(out, dst.bytesPerPixel, pixel[0], pixel[1], pixel[2]);
            out += dst.bytesPerPixel;
        }
    }
}

}  // namespace

ViewScale MakeViewScale(long long numerator, long long denominator) {
    if (numerator <= 0 || denominator <= 0) return {};
    const long long common = std::gcd(numerator, denominator);
    return {static_cast<int>(numerator / common), static_cast<int>(denominator / common)};
}

int ScaledExtent(int extent, ViewScale scale) {
    const std::int64_t scaled = static_cast<std::int64_t>(extent) * scale.numerator / scale.denominator;
    return static_cast<int>(std::clamp<std::int64_t>(scaled, 0, std::int64_t{0x7FFFFFFF}));
}

ScaledRows::ScaledRows(ViewScale scale, ClipBox area, int width, int height) : scale_(scale) {
    if (scale.numerator <= 0 || scale.denominator <= 0) return;
    area.left = std::clamp(area.left, 0, ScaledExtent(width, scale));
    area.top = std::clamp(area.top, 0, ScaledExtent(height, scale));
    area.right = std::clamp(area.right, area.left, ScaledExtent(width, scale));
    area.bottom = std::clamp(area.bottom, area.top, ScaledExtent(height, scale));
    area_ = area;
    if (Empty()) return;
    const std::int64_t pixels = static_cast<std::int64_t>(area.right - area.left) * (area.bottom - area.top);
    if (scale.numerator == 1 && scale.denominator > 1 && scale.denominator < 128) {
        kind_ = Kind::Blocks;
        work_ = pixels * scale.denominator * scale.denominator;
    } else if (scale.numerator < scale.denominator) {
        kind_ = Kind::Reduce;
        rowTaps_ = std::make_unique<ScaleTaps>(area.top, area.bottom, scale);
        columnTaps_ = std::make_unique<ScaleTaps>(area.left, area.right, scale);
        work_ = static_cast<std::int64_t>(rowTaps_->High() - rowTaps_->Low()) * (columnTaps_->High() - columnTaps_->Low());
    } else {
        kind_ = Kind::Enlarge;
        for (std::int64_t x = area.left; x < area.right; ++x)
            columns_.push_back(static_cast<int>(x * scale.denominator / scale.numerator));
        work_ = pixels;
    }
}

ScaledRows::~ScaledRows() = default;

int ScaledRows::FirstImageRow(int y) const {
    switch (kind_) {
        case Kind::Blocks: return y * scale_.denominator;
        case Kind::Reduce: return rowTaps_->start[static_cast<std::size_t>(y - area_.top)];
        case Kind::Enlarge: break;
    }
    return static_cast<int>(static_cast<std::int64_t>(y) * scale_.denominator / scale_.numerator);
}

int ScaledRows::LastImageRow(int y) const {
    switch (kind_) {
        case Kind::Blocks: return (y + 1) * scale_.denominator;
        case Kind::Reduce: return FirstImageRow(y) + rowTaps_->Count(static_cast<std::size_t>(y - area_.top));
        case Kind::Enlarge: break;
    }
    return FirstImageRow(y) + 1;
}

void ScaledRows::Draw(const Surface& target, int left, int top, const Surface& source, int first, int last) const {
    first = std::max(first, area_.top);
    last = std::min(last, area_.bottom);
    if (first >= last) return;
    switch (kind_) {
        case Kind::Blocks: return AverageBlocks(target, left, top, source, area_, scale_.denominator, first, last);
        case Kind::Reduce: return ReduceRows(target, left, top, source, area_, *rowTaps_, *columnTaps_, first, last);
        case Kind::Enlarge: return EnlargeRows(target, left, top, source, area_, scale_, columns_, first, last);
    }
}

bool ScaleBlt(const DeviceContext& target, const DeviceContext& source, ViewScale scale, int viewLeft, int viewTop) {
    const Surface dst = target.Pixels();
    const Surface src = source.Pixels();
    if (dst.empty() || src.empty() || src.bytesPerPixel != 3) return false;
    ClipBox clip = target.Clip();
    clip.left = std::clamp(clip.left, 0, dst.width) + viewLeft;
    clip.top = std::clamp(clip.top, 0, dst.height) + viewTop;
    clip.right = std::clamp(clip.right, 0, dst.width) + viewLeft;
    clip.bottom = std::clamp(clip.bottom, 0, dst.height) + viewTop;
    const ScaledRows rows(scale, clip, src.width, src.height);
    if (rows.Empty()) return false;
    rows.DrawAll(dst, viewLeft, viewTop, src);
    return true;
}

void ScaledRows::DrawAll(const Surface& target, int left, int top, const Surface& source) const {
    if (Empty()) return;
    if (work_ < parallel::kFewestPixelsToShare) return Draw(target, left, top, source, area_.top, area_.bottom);
    // Every view row is worked out from the image alone, so the pieces may go in any order.
    const int pieces = (area_.bottom - area_.top + kRowsPerPiece - 1) / kRowsPerPiece;
    parallel::RunOn(parallel::Threads(), [&] {
        parallel::ForEach(pieces, [&](int piece) {
            const int first = area_.top + piece * kRowsPerPiece;
            Draw(target, left, top, source, first, first + kRowsPerPiece);
        });
    });
}

}  // namespace platform::gdi
