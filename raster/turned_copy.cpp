#include "raster/turned_copy.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

#include "raster/turned_copy_wide.h"

namespace placement {

namespace {

std::atomic<int> copyWidthCap{16};

// How many source rows one strip of a destination row may cross: enough for
// long runs, few enough that the rows' cache lines and pages stay at hand.
constexpr std::int64_t kStripSourceRows = 128;
// How far ahead of the row being copied the lines of a later row are fetched.
constexpr std::size_t kRowsAhead = 12;
constexpr std::int64_t kPrefetchColumns = 12;

int CopyWidth(const TWin& source) {
    // The wide copies index the source with 32-bit offsets.
    if (static_cast<std::int64_t>(source.Stride) * source.Height() >= (std::int64_t{1} << 31)) return 1;
    const int widest = wide::WidestCopy(), cap = copyWidthCap.load(std::memory_order_relaxed);
    if (widest >= 16 && cap >= 16) return 16;
    return widest >= 8 && cap >= 8 ? 8 : 1;
}

wide::Walk WalkOf(const rotation::RowRun& run, std::int64_t k, const rotation::ScanPlan& plan, const TWin& source) {
    return {static_cast<std::uint32_t>(run.startU - k * plan.F), static_cast<std::uint32_t>(run.startV - k * plan.E),
            static_cast<std::uint32_t>(-plan.F), static_cast<std::uint32_t>(-plan.E), run.PU, run.PV, source.Bits,
            static_cast<std::ptrdiff_t>(source.Stride)};
}

const std::uint8_t* NextSample(wide::Walk& walk) {
    const std::int32_t u = (static_cast<std::int32_t>(walk.sumU) >> 16) + walk.PU;
    const std::int32_t v = (static_cast<std::int32_t>(walk.sumV) >> 16) + walk.PV;
    walk.sumU += walk.stepU;
    walk.sumV += walk.stepV;
    return walk.sourceBits + v * walk.sourceStride + 3 * static_cast<std::ptrdiff_t>(u);
}

// Copies count pixels, the source pixel at each sample point to out, which moves
// by step. Every sample point lies inside the source with u >= 1, so the four
// bytes ending with a pixel are always source bytes; the write spills one byte
// onto the pixel written next, which is why the last pixel goes byte by byte.
void CopyRun(std::uint8_t* out, std::int32_t step, wide::Walk walk, std::int64_t count, int width) {
    if (width > 1) count = wide::CopyWide(width, out, step, walk, count);
    if constexpr (std::endian::native == std::endian::little) {
        for (; count > 1 && step > 0; --count, out += 3) {
            std::uint32_t word;
            std::memcpy(&word, NextSample(walk) - 1, 4);
            word >>= 8;
            std::memcpy(out, &word, 4);  // its fourth byte is the next pixel's, written next
        }
        for (; count > 1 && step < 0; --count, out -= 3) {
            std::uint32_t word;
            std::memcpy(&word, NextSample(walk) - 1, 4);
            std::memcpy(out - 1, &word, 4);  // its first byte is the pixel to the left, written next
        }
    }
    for (; count > 0; --count, out += step) std::memcpy(out, NextSample(walk), 3);
}

inline void Prefetch([[maybe_unused]] const std::uint8_t* address, [[maybe_unused]] bool forWriting) {
#if defined(__GNUC__) || defined(__clang__)
    if (forWriting)
        __builtin_prefetch(address, 1);
    else
        __builtin_prefetch(address);
#endif
}

// The lines that columns a..b of a later row will read and write: a turned walk
// is nothing the hardware predicts. Inlined by force: the compiler takes a
// function that only prefetches for one without effect and drops its calls.
[[gnu::always_inline]] inline void PrefetchRun(const TWin& target, const TWin& source, const rotation::ScanPlan& plan, const rotation::RowRun& run,
                 std::int64_t a, std::int64_t b) {
    if (a > b) return;
    for (std::int64_t k = a; k <= b; k += kPrefetchColumns) {
        wide::Walk walk = WalkOf(run, k, plan, source);
        Prefetch(NextSample(walk), false);
    }
    const std::uint8_t* first =
        target.PixelAddress(static_cast<std::int32_t>(rotation::ColumnOf(plan, plan.mirrored ? b : a)), run.y);
    const std::int64_t span = 3 * (b - a) + 2;
    for (std::int64_t offset = 0; offset < span + 64; offset += 64) Prefetch(first + std::min(offset, span), true);
}

}  // namespace

void CopyRuns(const TWin& target, const TWin& source, const rotation::ScanPlan& plan,
              const std::vector<rotation::RowRun>& runs) {
    if (runs.empty()) return;
    std::int64_t lowest = runs.front().first, highest = runs.front().last;
    for (const rotation::RowRun& run : runs) lowest = std::min(lowest, run.first), highest = std::max(highest, run.last);
    const int width = CopyWidth(source);
    const std::int32_t step = plan.mirrored ? -3 : 3;
    // A level walk (E = 0) stays on one source row: one strip does.
    const std::int64_t stripColumns =
        plan.E == 0 ? highest - lowest + 1 : std::max<std::int64_t>(16, kStripSourceRows * 65536 / std::abs(plan.E));
    for (std::int64_t stripFirst = lowest; stripFirst <= highest; stripFirst += stripColumns) {
        const std::int64_t stripLast = std::min(highest, stripFirst + stripColumns - 1);
        for (std::size_t i = 0; i < runs.size(); ++i) {
            if (plan.E != 0 && i + kRowsAhead < runs.size()) {
                const rotation::RowRun& later = runs[i + kRowsAhead];
                PrefetchRun(target, source, plan, later, std::max(later.first, stripFirst), std::min(later.last, stripLast));
            }
            const rotation::RowRun& run = runs[i];
            const std::int64_t a = std::max(run.first, stripFirst), b = std::min(run.last, stripLast);
            if (a > b) continue;
            std::uint8_t* const start = target.PixelAddress(static_cast<std::int32_t>(rotation::ColumnOf(plan, a)), run.y);
            CopyRun(start, step, WalkOf(run, a, plan, source), b - a + 1, width);
        }
    }
}

void CapCopyWidthForTesting(int pixels) { copyWidthCap.store(pixels, std::memory_order_relaxed); }

}  // namespace placement
