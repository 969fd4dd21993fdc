// The render pipeline on every core: the raster is cut into bands of rows where
// the pattern's own bands of cells fall. Each band is cleared and placed, then its
// cells are drawn, all by one thread; no band reads or writes another's rows, so
// the bytes are those of the plain sequence whatever the thread count.
#include "raster/render.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/threads/parallel.h"
#include "raster/apply_pattern.h"
#include "raster/clear_and_place.h"

namespace {

// Rows per piece of work: enough to be worth handing out, few enough that a
// piece's rows are still in the cache when its cells are drawn over them.
constexpr std::int32_t kRowsPerPiece = 64;
// Where the pattern covers nothing (grid lines or no pattern), nothing is drawn
// over the placed rows while they are cached, and a turned placement reads its
// source better in taller pieces, up to this many rows: a piece's edges cut
// source lines in two. Each thread still gets several pieces to share.
constexpr std::int32_t kRowsPerUncoveredPiece = 256;
constexpr std::int32_t kPiecesPerThread = 4;

// From this many columns apart, a row's samples are placed one by one.
constexpr std::int32_t kSparseSamplePitch = 4;

// A piece: rows first..last - 1 and the pattern's bands first..last - 1 inside them.
struct Piece {
    std::int32_t firstRow, lastRow, firstBand, lastBand;
};

std::vector<Piece> Pieces(const pattern::Layout& layout, std::int32_t height, int threads) {
    std::vector<Piece> pieces;
    const std::int32_t bands = layout.Bands();
    const std::int32_t rowsPerPiece =
        layout.Covers() ? kRowsPerPiece
                        : std::clamp(height / (kPiecesPerThread * std::max(threads, 1)), kRowsPerPiece,
                                     kRowsPerUncoveredPiece);
    if (bands == 0) {
        for (std::int32_t row = 0; row < height; row += rowsPerPiece)
            pieces.push_back({row, std::min(height, row + rowsPerPiece), 0, 0});
        return pieces;
    }
    // Whole bands only; the rows above the first band go with it and those below
    // the last one with the last.
    const std::int32_t pitch = std::max(1, layout.BandTop(1) - layout.BandTop(0));
    const std::int32_t bandsPerPiece = std::max(1, rowsPerPiece / pitch);
    for (std::int32_t band = 0; band < bands; band += bandsPerPiece) {
        const std::int32_t last = std::min(bands, band + bandsPerPiece);
        pieces.push_back({band == 0 ? 0 : layout.BandTop(band), last == bands ? height : layout.BandTop(last), band, last});
    }
    return pieces;
}

// The columns of row y that the pattern leaves as placed or reads.
ClearAndPlace::Columns ColumnsLeftBy(const pattern::Layout& layout, std::int64_t y) {
    const std::int64_t pitch = layout.BandTop(1) - layout.BandTop(0);
    if (y < layout.BandTop(0)) return {};
    const auto band = static_cast<std::int32_t>(std::min<std::int64_t>((y - layout.BandTop(0)) / pitch, layout.Bands() - 1));
    if (y > layout.BandBottom(band)) return {};
    ClearAndPlace::Columns columns{layout.SpanLeft(), layout.SpanRight()};
    if (y == layout.BandTop(band) + layout.HalfPitchDown()) {
        // Samples close together are placed faster with their whole row.
        if (layout.SamplePitch() < kSparseSamplePitch) return {};
        columns.firstSample = layout.FirstSample(), columns.samplePitch = layout.SamplePitch(), columns.samples = layout.Samples();
    }
    return columns;
}

pattern::Layout LayoutOf(const TWin& raster, const RenderSettings& s) {
    return pattern::Layout(raster, s.Pattern, s.Detector, s.Red, s.Green, s.Blue, s.Red / 8, s.Green / 8, s.Blue / 8, 0,
                           0, 0, -1, -2, -3, -4);
}

// Places again, in rows first..last - 1, what the lines of `lines` covered: its
// rows across whole, its columns down on every row.
void PlaceUnderLines(const ClearAndPlace& place, const pattern::Layout& lines, std::int64_t width, std::int64_t first,
                     std::int64_t last) {
    if (lines.Bands() == 0) return;
    ClearAndPlace::Columns down{0, width - 1};
    down.firstSample = lines.SpanLeft(), down.samplePitch = lines.SamplePitch(), down.samples = lines.LineColumns();
    place.Rows(first, last, [&](std::int64_t y) { return lines.LineRow(y) ? ClearAndPlace::Columns{} : down; });
    if (!lines.ClosingColumn()) return;
    ClearAndPlace::Columns closing{0, width - 1};
    closing.firstSample = lines.SpanRight(), closing.samples = 1;
    place.Rows(first, last, [&](std::int64_t) { return closing; });
}

}  // namespace

void RenderPipeline(TWin& WorkRaster, TWin& SourceRaster, const RenderSettings& s, const RenderThreads& threads,
                    const RowsRendered& rowsRendered, const RenderSettings* holding) {
    // The clear to black and the placement (weight 128, no key, full scan, clamp 1,
    // all else neutral) in one pass.
    const ClearAndPlace place(WorkRaster, SourceRaster, SourceRaster.Width() / 2 + s.XOffset,
                              SourceRaster.Height() / 2 + s.YOffset, static_cast<float>(s.Angle));
    const pattern::Layout layout = LayoutOf(WorkRaster, s);
    if (!place.InBands()) {
        place.Run();
        layout.DrawBands(WorkRaster, 0, layout.Bands());
        if (rowsRendered) rowsRendered(0, WorkRaster.Height());
        return;
    }
    const int count = threads.count > 0 ? threads.count : parallel::Threads();
    const std::vector<Piece> pieces = Pieces(layout, WorkRaster.Height(), count);
    // What the pattern covers need not be placed: only what it leaves and the samples it reads.
    ClearAndPlace::ColumnsOfRow columnsOf;
    if (layout.Covers()) columnsOf = [&](std::int64_t y) { return ColumnsLeftBy(layout, y); };
    // Over a render at the same place whose pattern covered nothing, its lines
    // are all that is not placed (a slider stepping through the grids).
    std::optional<pattern::Layout> before;
    if (holding && holding->Angle == s.Angle && holding->XOffset == s.XOffset && holding->YOffset == s.YOffset) {
        before = LayoutOf(WorkRaster, *holding);
        if (before->Covers()) before.reset();
    }
    const auto draw = [&](int i) {
        if (before)
            PlaceUnderLines(place, *before, WorkRaster.Width(), pieces[i].firstRow, pieces[i].lastRow);
        else
            place.Rows(pieces[i].firstRow, pieces[i].lastRow, columnsOf);
        layout.DrawBands(WorkRaster, pieces[i].firstBand, pieces[i].lastBand);
        if (rowsRendered) rowsRendered(pieces[i].firstRow, pieces[i].lastRow);
    };
    const long long pixels = static_cast<long long>(WorkRaster.Width()) * WorkRaster.Height();
    if (count <= 1 || pixels < threads.fewestPixelsToShare) {
        for (std::size_t i = 0; i < pieces.size(); ++i) draw(static_cast<int>(i));
    } else {
        parallel::RunOn(count, [&] { parallel::ForEach(static_cast<int>(pieces.size()), draw); });
    }
    place.Finish();
}
