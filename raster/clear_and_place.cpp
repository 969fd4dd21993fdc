#include "raster/clear_and_place.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "raster/turned_copy.h"

using namespace placement;

ClearAndPlace::ClearAndPlace(TWin& Target, TWin& Source, std::int32_t CentreX, std::int32_t CentreY, float Angle)
    : target_(Target), source_(Source), centreX_(CentreX), centreY_(CentreY), angle_(Angle) {
    // Drawing a raster into itself reads what the clear wiped: that one goes the long way.
    if (!Target.HasPixels() || !Source.HasPixels() || &Target == &Source || Target.Width() < 2) {
        mode_ = Mode::Sequence;
    } else if (std::trunc(static_cast<double>(Angle)) == 0.0) {
        mode_ = Mode::Direct;
        block_ = DirectBlockFor(Target, Source, CentreX, CentreY, Insets{0, 0, 0, 0});
    } else {
        plan_ = rotation::PlanScan(Target, Source, CentreX, CentreY, Angle, 1.0f, 1.0f, 0.0f, 0, 0, true, 0, 0, 0, 0);
        mode_ = plan_.finite && !plan_.empty ? Mode::Turned : Mode::ClearOnly;
    }
}

void ClearAndPlace::WholeRow(std::int64_t y, std::vector<rotation::RowRun>& runs) const {
    switch (mode_) {
        case Mode::Sequence:
            break;
        case Mode::ClearOnly:
            ClearRowsAround(target_, y, y + 1, 0, 0, 0, 0);
            break;
        case Mode::Direct:
            // The direct copy replaces the whole block it draws, byte for byte.
            CopyDirectRows(target_, source_, block_, y, y + 1);
            break;
        case Mode::Turned: {
            // Black before and after the row's run; the full scan visits every row,
            // and never the last column.
            const rotation::RowRun run = rotation::RunOfRow(plan_, y, plan_.limits);
            if (run.first > run.last) {
                ClearRowsAround(target_, y, y + 1, 0, 0, 0, 0);
                break;
            }
            const std::int64_t dw = target_.Width(), after = plan_.x0 + run.last + 1;
            std::uint8_t* row = target_.PixelAddress(0, static_cast<std::int32_t>(y));
            std::memset(row, 0, static_cast<std::size_t>(3 * (plan_.x0 + run.first)));
            std::memset(row + 3 * after, 0, static_cast<std::size_t>(3 * (dw - after)));
            runs.push_back(run);
            break;
        }
    }
}

void ClearAndPlace::Part(std::int64_t y, std::int64_t a, std::int64_t b, const rotation::RowRun& run,
                         std::vector<rotation::RowRun>& runs) const {
    a = std::max<std::int64_t>(a, 0);
    b = std::min<std::int64_t>(b, target_.Width() - 1);
    if (a > b) return;
    std::uint8_t* const row = target_.PixelAddress(0, static_cast<std::int32_t>(y));
    // Black in a..b but for the drawn columns from..to, which are placed.
    std::int64_t from = b + 1, to = b;
    if (mode_ == Mode::Direct && block_.reached && y >= block_.y0 && y < block_.y1) {
        from = std::max(a, block_.x0), to = std::min(b, block_.x1 - 1);
        if (from <= to)
            std::memcpy(row + 3 * from,
                        source_.PixelAddress(static_cast<std::int32_t>(from - block_.ox), static_cast<std::int32_t>(y - block_.oy)),
                        static_cast<std::size_t>(3 * (to - from + 1)));
    } else if (mode_ == Mode::Turned) {
        rotation::RowRun part = run;
        part.first = std::max(run.first, a - plan_.x0), part.last = std::min(run.last, b - plan_.x0);
        if (part.first <= part.last) {
            from = plan_.x0 + part.first, to = plan_.x0 + part.last;
            if (part.first < part.last) {
                runs.push_back(part);
            } else {
                // A lone pixel (a pattern's sample) is copied here, not as a run of its own.
                std::int32_t u, v;
                rotation::SamplePoint(plan_, run, part.first, u, v);
                std::memcpy(row + 3 * from, source_.PixelAddress(u, v), 3);
            }
        }
    }
    if (from > to) from = b + 1, to = b;
    std::memset(row + 3 * a, 0, static_cast<std::size_t>(3 * (from - a)));
    std::memset(row + 3 * (to + 1), 0, static_cast<std::size_t>(3 * (b - to)));
}

void ClearAndPlace::FetchSamples(std::int64_t y, const Columns& columns) const {
    if (mode_ != Mode::Turned || columns.samples == 0) return;
    const rotation::RowRun run = rotation::RunOfRow(plan_, y, plan_.limits);
    for (std::int64_t i = 0, k = columns.firstSample - plan_.x0; i < columns.samples; ++i, k += columns.samplePitch) {
        if (k < run.first || k > run.last) continue;
        std::int32_t u, v;
        rotation::SamplePoint(plan_, run, k, u, v);
#if defined(__GNUC__) || defined(__clang__)
        __builtin_prefetch(source_.PixelAddress(u, v), 0, 2);
#endif
    }
}

void ClearAndPlace::TurnedSamples(std::int64_t y, const rotation::RowRun& run, const Columns& columns) const {
    std::uint8_t* const row = target_.PixelAddress(0, static_cast<std::int32_t>(y));
    for (std::int64_t i = 0, x = columns.firstSample; i < columns.samples; ++i, x += columns.samplePitch) {
        if (x < 0 || x >= target_.Width()) continue;
        const std::int64_t k = x - plan_.x0;
        if (k < run.first || k > run.last) {
            std::memset(row + 3 * x, 0, 3);
            continue;
        }
        std::int32_t u, v;
        rotation::SamplePoint(plan_, run, k, u, v);
        std::memcpy(row + 3 * x, source_.PixelAddress(u, v), 3);
    }
}

void ClearAndPlace::Rows(std::int64_t first, std::int64_t last, const ColumnsOfRow& columnsOf) const {
    std::vector<rotation::RowRun> runs;
    runs.reserve(static_cast<std::size_t>(last - first));
    // A turned row's samples lie rows apart in the source, each on a line and a
    // page of its own: all of them are asked for before the first is placed, so
    // that their fetches overlap instead of following one another.
    std::vector<Columns> columnsOfRows(static_cast<std::size_t>(last - first));
    for (std::int64_t y = first; y < last; ++y) {
        Columns& columns = columnsOfRows[static_cast<std::size_t>(y - first)];
        if (columnsOf) columns = columnsOf(y);
        FetchSamples(y, columns);
    }
    for (std::int64_t y = first; y < last; ++y) {
        const Columns& columns = columnsOfRows[static_cast<std::size_t>(y - first)];
        if (columns.coveredFrom > columns.coveredTo) {
            WholeRow(y, runs);
            continue;
        }
        const rotation::RowRun run = mode_ == Mode::Turned ? rotation::RunOfRow(plan_, y, plan_.limits) : rotation::RowRun{};
        Part(y, 0, columns.coveredFrom - 1, run, runs);
        Part(y, columns.coveredTo + 1, target_.Width() - 1, run, runs);
        if (mode_ == Mode::Turned) {
            TurnedSamples(y, run, columns);
            continue;
        }
        for (std::int64_t i = 0, x = columns.firstSample; i < columns.samples; ++i, x += columns.samplePitch)
            Part(y, x, x, run, runs);
    }
    if (mode_ == Mode::Turned) CopyRuns(target_, source_, plan_, runs);
}

void ClearAndPlace::Finish() const {
    // The working pointers as the clear leaves them, for the placement to move on.
    target_.Step = 3;
    target_.Cursor = target_.PixelAddress(0, target_.Height() - 1) + 3 * static_cast<std::ptrdiff_t>(target_.Width());
    source_.PeekBlue(0, 0);
    if (mode_ == Mode::Direct && block_.reached && block_.y0 < block_.y1) {
        const std::int64_t y = block_.y1 - 1, columns = block_.Columns();
        target_.Cursor = target_.PixelAddress(static_cast<std::int32_t>(block_.x0), static_cast<std::int32_t>(y)) + 3 * columns;
        source_.Step = 3;
        source_.Cursor = source_.PixelAddress(static_cast<std::int32_t>(block_.x0 - block_.ox),
                                              static_cast<std::int32_t>(y - block_.oy)) + 3 * columns;
    } else if (mode_ == Mode::Turned) {
        // The last row with a run is where a row-by-row scan stopped.
        for (std::int64_t y = plan_.y1; y >= plan_.y0; --y) {
            const rotation::RowRun run = rotation::RunOfRow(plan_, y, plan_.limits);
            if (run.first > run.last) continue;
            std::uint8_t* out = nullptr;
            const std::uint8_t* lastRead = nullptr;
            PointersAfter(target_, source_, plan_, run, out, lastRead);
            target_.Cursor = out;
            source_.Probe = const_cast<std::uint8_t*>(lastRead);
            break;
        }
    }
}

void ClearAndPlace::Run() const {
    if (mode_ == Mode::Sequence) {
        target_.FillBox(0, 0, target_.Width() - 1, target_.Height() - 1, 0, 0, 0, 128);
        target_.PlaceRotated(source_, centreX_, centreY_, angle_, 1.0f, 1.0f, 0.0f, 0, 0, -256, 0, 1.0f, 0.0f, 0, 0, 0,
                             0, 1, 0, 0, 0, 0);
        return;
    }
    Rows(0, target_.Height());
    Finish();
}

void ClearAndPlaceRotated(TWin& Target, TWin& Source, std::int32_t CentreX, std::int32_t CentreY, float Angle) {
    ClearAndPlace(Target, Source, CentreX, CentreY, Angle).Run();
}
