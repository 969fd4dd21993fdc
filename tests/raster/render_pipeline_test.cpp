// The render pipeline writes each row once (clear and placement together); it must
// leave exactly the bytes and working pointers of the plain sequence: FillBox over
// the whole raster, PlaceRotated with the panel's values, ApplyPattern.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "raster/clear_and_place.h"
#include "raster/render.h"
#include "tests/raster/test_util.h"
#include "raster/win.h"

namespace {

// Every byte of the store, row padding included, from the generator: a missed
// clear or a stray write shows up as a difference.
void Scramble(TWin& win, std::mt19937& random) {
    if (!win.HasPixels()) return;
    const std::size_t bytes = static_cast<std::size_t>(win.Stride) * static_cast<std::size_t>(win.Height());
    for (std::size_t i = 0; i < bytes; ++i) win.Bits[i] = static_cast<std::uint8_t>(random());
}

void CopyStore(const TWin& from, TWin& to) {
    if (!from.HasPixels()) return;
    std::memcpy(to.Bits, from.Bits, static_cast<std::size_t>(from.Stride) * static_cast<std::size_t>(from.Height()));
}

void PlainPlacement(TWin& work, TWin& source, std::int32_t centreX, std::int32_t centreY, float angle) {
    work.FillBox(0, 0, work.Width() - 1, work.Height() - 1, 0, 0, 0, 128);
    work.PlaceRotated(source, centreX, centreY, angle, 1.0f, 1.0f, 0.0f, 0, 0, -256, 0, 1.0f, 0.0f, 0, 0, 0, 0, 1, 0,
                      0, 0, 0);
}

void PlainPipeline(TWin& work, TWin& source, const RenderSettings& s) {
    PlainPlacement(work, source, source.Width() / 2 + s.XOffset, source.Height() / 2 + s.YOffset,
                   static_cast<float>(s.Angle));
    work.ApplyPattern(s.Pattern, s.Detector, s.Red, s.Green, s.Blue, s.Red / 8, s.Green / 8, s.Blue / 8, 0, 0, 0, -1,
                      -2, -3, -4);
}

// Offsets (as a byte distance from Bits) instead of pointers, so that the two
// rasters' working pointers compare.
std::ptrdiff_t Offset(const TWin& win, const std::uint8_t* pointer) {
    return pointer ? pointer - win.Bits : std::numeric_limits<std::ptrdiff_t>::min();
}

// Byte for byte, padding included, and the working pointers of both rasters.
void ExpectSame(const TWin& expected, const TWin& actual, const TWin& expectedSource, const TWin& actualSource,
                const std::string& what) {
    ASSERT_EQ(expected.Stride, actual.Stride) << what;
    if (expected.HasPixels()) {
        const std::size_t bytes = static_cast<std::size_t>(expected.Stride) * static_cast<std::size_t>(expected.Height());
        std::size_t firstDifference = 0;
        while (firstDifference < bytes && expected.Bits[firstDifference] == actual.Bits[firstDifference])
            ++firstDifference;
        EXPECT_EQ(firstDifference, bytes) << what << ": first difference at row "
                                          << firstDifference / expected.Stride << ", byte "
                                          << firstDifference % expected.Stride;
    }
    EXPECT_EQ(expected.Step, actual.Step) << what;
    EXPECT_EQ(Offset(expected, expected.Cursor), Offset(actual, actual.Cursor)) << what;
    EXPECT_EQ(Offset(expected, expected.Probe), Offset(actual, actual.Probe)) << what;
    EXPECT_EQ(Offset(expectedSource, expectedSource.Probe), Offset(actualSource, actualSource.Probe)) << what;
    EXPECT_EQ(Offset(expectedSource, expectedSource.Cursor), Offset(actualSource, actualSource.Cursor)) << what;
}

// Two copies of the same source and of the same scrambled working raster, so that
// the plain sequence and the pipeline start from identical state.
struct Pair {
    TWin source1, source2, work1, work2;
    Pair(int sw, int sh, int ww, int wh, std::mt19937& random)
        : source1(sw, sh), source2(sw, sh), work1(ww, wh), work2(ww, wh) {
        Scramble(source1, random);
        CopyStore(source1, source2);
        Scramble(work1, random);
        CopyStore(work1, work2);
    }
};

// Every case runs on these thread counts, each sharing out even the smallest raster.
constexpr int kThreadCounts[] = {1, 2, 3, 7};

// The pipeline from the pair's starting state on every thread count, against the
// plain sequence already run on work1 and source1.
void ExpectPipelineMatches(Pair& images, const RenderSettings& s, const std::string& what) {
    const std::vector<std::uint8_t> start(images.work2.Bits,
                                          images.work2.Bits + std::size_t{images.work2.Stride} * images.work2.Height());
    for (const int threads : kThreadCounts) {
        if (!start.empty()) std::memcpy(images.work2.Bits, start.data(), start.size());
        RenderPipeline(images.work2, images.source2, s, RenderThreads{threads, 0});
        ExpectSame(images.work1, images.work2, images.source1, images.source2,
                   what + " on " + std::to_string(threads) + " threads");
    }
}

TEST(RenderPipeline, MatchesTheClearPlacementAndPatternInSequence) {
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> size(1, 90), angle(0, 360), offset(-1500, 1500), pattern(0, 65), level(0, 255);
    for (int round = 0; round < 300; ++round) {
        // Mostly the working raster at the source's size, as in the panel; otherwise
        // any size, as after a load that failed.
        const int sw = size(random), sh = size(random);
        const bool sameSize = round % 3 != 0;
        const int ww = sameSize ? sw : size(random), wh = sameSize ? sh : size(random);
        Pair images(sw, sh, ww, wh, random);
        RenderSettings s;
        s.Angle = round % 10 == 0 ? (round / 10) % 5 * 90 : angle(random);
        // Near offsets keep the image on the raster; the panel's whole range pushes
        // it partly or fully off.
        const bool near = round % 2 == 0;
        s.XOffset = near ? offset(random) % (sw + 2) : offset(random);
        s.YOffset = near ? offset(random) % (sh + 2) : offset(random);
        s.Pattern = pattern(random);
        s.Detector = level(random);
        s.Red = level(random);
        s.Green = level(random);
        s.Blue = level(random);
        PlainPipeline(images.work1, images.source1, s);
        ExpectPipelineMatches(images, s,
                   "source " + std::to_string(sw) + "x" + std::to_string(sh) + ", work " + std::to_string(ww) + "x" +
                       std::to_string(wh) + ", angle " + std::to_string(s.Angle) + ", offsets " +
                       std::to_string(s.XOffset) + "," + std::to_string(s.YOffset) + ", pattern " +
                       std::to_string(s.Pattern));
        if (HasFailure()) return;
    }
}

TEST_P(CopyWidth, RenderPipelineMatchesOnWideImagesWhereRunsAreSplitIntoStrips) {
    std::mt19937 random(7);
    // The last one is tall enough for taller pieces of work where the pattern covers nothing.
    const int sizes[][4] = {{640, 200, 640, 200}, {641, 199, 641, 199}, {700, 150, 520, 260}, {300, 300, 800, 120},
                            {300, 1100, 300, 1100}};
    const int angles[] = {1, 30, 45, 89, 90, 135, 180, 211, 270, 333, 359, 360};
    // Bands of every height, none at all (13), and the finest (0: one row each).
    const int patterns[] = {33, 0, 13, 7, 21, 47, 52, 65, 20, 30, 39};
    int round = 0;
    for (const auto& d : sizes)
        for (const int a : angles) {
            Pair images(d[0], d[1], d[2], d[3], random);
            RenderSettings s;
            s.Angle = a;
            s.XOffset = static_cast<int>(random() % 301) - 150;
            s.YOffset = static_cast<int>(random() % 301) - 150;
            s.Pattern = patterns[round++ % std::size(patterns)];
            PlainPipeline(images.work1, images.source1, s);
            ExpectPipelineMatches(images, s,
                       std::to_string(d[0]) + "x" + std::to_string(d[1]) + " into " + std::to_string(d[2]) + "x" +
                           std::to_string(d[3]) + " at " + std::to_string(a) + ", pattern " + std::to_string(s.Pattern));
            if (HasFailure()) return;
        }
}

// A render over the one before it: where that one was at the same place and
// angle with grid lines only (0-6), or no pattern (13), only its lines are placed
// again. Whatever the two patterns, or when the place moved, the bytes are those
// of a render from scratch, on every thread count.
TEST(RenderPipeline, RenderOverTheOneBeforeMatchesTheSequence) {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> pattern(0, 65), level(0, 255), angle(0, 360);
    const int sizes[][2] = {{97, 61}, {640, 200}, {300, 1100}, {1, 40}};
    const int before[] = {0, 1, 2, 3, 4, 5, 6, 13, 0, 3, 6, 13, 33, 21, 9};
    int round = 0;
    for (const auto& size : sizes)
        for (const int old : before) {
            RenderSettings was;
            was.Angle = round % 4 == 0 ? 0 : angle(random);
            was.XOffset = static_cast<int>(random() % 61) - 30, was.YOffset = static_cast<int>(random() % 61) - 30;
            was.Pattern = old;
            was.Detector = level(random);
            RenderSettings now = was;
            now.Pattern = round % 3 == 0 ? old : pattern(random);
            now.Detector = level(random), now.Red = level(random), now.Green = level(random), now.Blue = level(random);
            if (round % 7 == 6) now.XOffset += 1;  // moved: rendered from scratch
            ++round;
            Pair images(size[0], size[1], size[0], size[1], random);
            PlainPipeline(images.work1, images.source1, now);
            for (const int threads : kThreadCounts) {
                RenderPipeline(images.work2, images.source2, was, RenderThreads{threads, 0});
                RenderPipeline(images.work2, images.source2, now, RenderThreads{threads, 0}, {}, &was);
                ExpectSame(images.work1, images.work2, images.source1, images.source2,
                           std::to_string(size[0]) + "x" + std::to_string(size[1]) + " at " + std::to_string(was.Angle) +
                               ", pattern " + std::to_string(old) + " then " + std::to_string(now.Pattern) + " on " +
                               std::to_string(threads) + " threads");
            }
            if (HasFailure()) return;
        }
}

// Empty rasters, one-pixel-wide ones, a raster placed into itself, angles that are
// not whole degrees and a raster large enough for its rows to be written past the
// caches go the same way as the sequence.
TEST(RenderPipeline, ClearAndPlaceMatchesTheSequenceAtTheEdges) {
    std::mt19937 random(3);
    struct Case {
        int sw, sh, ww, wh;
        float angle;
        int dx, dy;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {0, 0, 40, 30, 30.0f, 0, 0},     {0, 0, 40, 30, 0.0f, 0, 0},      {40, 30, 0, 0, 30.0f, 0, 0},
        {1, 1, 1, 1, 30.0f, 0, 0},       {1, 9, 1, 9, 45.0f, 0, 0},       {9, 1, 9, 1, 300.0f, 0, 0},
        {2, 2, 2, 2, 90.0f, 0, 0},       {50, 40, 50, 40, 0.5f, 3, -2},  {50, 40, 50, 40, -0.9f, -60, 0},
        {50, 40, 50, 40, 359.99f, 1, 1}, {50, 40, 50, 40, -30.0f, 5, 5}, {50, 40, 50, 40, 45.004f, 0, 0},
        {50, 40, 50, 40, nan, 0, 0},     {50, 40, 50, 40, inf, 0, 0},    {50, 40, 60, 30, 720.25f, 0, 0},
        {50, 40, 50, 40, 30.0f, 40000, 0}, {2401, 2400, 2401, 2400, 0.0f, 7, -3},
    };
    for (const Case& c : cases) {
        Pair images(c.sw, c.sh, c.ww, c.wh, random);
        const int cx = c.sw / 2 + c.dx, cy = c.sh / 2 + c.dy;
        PlainPlacement(images.work1, images.source1, cx, cy, c.angle);
        ClearAndPlaceRotated(images.work2, images.source2, cx, cy, c.angle);
        ExpectSame(images.work1, images.work2, images.source1, images.source2,
                   std::to_string(c.sw) + "x" + std::to_string(c.sh) + " into " + std::to_string(c.ww) + "x" +
                       std::to_string(c.wh) + " at " + std::to_string(c.angle));
    }
    // Into itself: what is read has not been cleared yet in the sequence either.
    for (const float a : {0.0f, 30.0f}) {
        TWin self1(37, 23), self2(37, 23);
        Scramble(self1, random);
        CopyStore(self1, self2);
        PlainPlacement(self1, self1, 20, 10, a);
        ClearAndPlaceRotated(self2, self2, 20, 10, a);
        ExpectSame(self1, self2, self1, self2, "into itself at " + std::to_string(a));
    }
}

}  // namespace
