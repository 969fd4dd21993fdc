// The control panel's placement onto a cleared raster, row band by row band:
// what the render pipeline runs on every core.
#pragma once

#include <cstdint>
#include <functional>

#include "raster/placement.h"
#include "raster/rotation.h"

// The same bytes and working pointers as FillBox to black over the whole of
// Target followed by PlaceRotated of Source at (CentreX, CentreY) and Angle with
// scale 1, BlendCode -256, Clamp 1 and every other setting neutral, with each row
// written once instead of twice. Each destination row depends on nothing but the
// source, so rows may be drawn in any order and bands of them side by side.
class ClearAndPlace {
public:
    ClearAndPlace(TWin& Target, TWin& Source, std::int32_t CentreX, std::int32_t CentreY, float Angle);

    // False where the rows are not independent (a raster drawn into itself, an
    // empty one): then Run draws everything at once, the plain way.
    bool InBands() const { return mode_ != Mode::Sequence; }
    // The columns of a row that matter: every one, or, where a pattern will
    // cover columns coveredFrom..coveredTo whatever they hold, only those around
    // them and the `samples` columns the pattern reads there, from firstSample on,
    // samplePitch apart.
    struct Columns {
        std::int64_t coveredFrom = 0, coveredTo = -1;  // nothing covered
        std::int64_t firstSample = 0, samplePitch = 1, samples = 0;
    };
    using ColumnsOfRow = std::function<Columns(std::int64_t y)>;

    // Rows first..last - 1 (only when InBands), each row's columns that matter.
    void Rows(std::int64_t first, std::int64_t last, const ColumnsOfRow& columnsOf = {}) const;
    // After every row was drawn: the working pointers the plain sequence leaves.
    void Finish() const;
    // All rows and Finish, or the plain sequence.
    void Run() const;

private:
    enum class Mode { Sequence, ClearOnly, Direct, Turned };
    void WholeRow(std::int64_t y, std::vector<rotation::RowRun>& runs) const;
    // Row y's samples in the turned copy: each pixel copied alone, as Part would
    // copy a column of its own, without a call and two empty clears each.
    void TurnedSamples(std::int64_t y, const rotation::RowRun& run, const Columns& columns) const;
    // Asks the caches for the source pixels of row y's samples.
    void FetchSamples(std::int64_t y, const Columns& columns) const;
    // Columns a..b of row y; `run` is the row's run in the turned copy.
    void Part(std::int64_t y, std::int64_t a, std::int64_t b, const rotation::RowRun& run,
              std::vector<rotation::RowRun>& runs) const;

    TWin& target_;
    TWin& source_;
    std::int32_t centreX_, centreY_;
    float angle_;
    Mode mode_;
    placement::DirectBlock block_{};
    rotation::ScanPlan plan_;
};

void ClearAndPlaceRotated(TWin& Target, TWin& Source, std::int32_t CentreX, std::int32_t CentreY, float Angle);
