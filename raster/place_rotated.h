// The control panel's placement onto a cleared raster, row band by row band:
// what the render pipeline runs on every core.
#pragma once

#include <cstdint>

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
    // Rows first..last - 1 (only when InBands).
    void Rows(std::int64_t first, std::int64_t last) const;
    // After every row was drawn: the working pointers the plain sequence leaves.
    void Finish() const;
    // All rows and Finish, or the plain sequence.
    void Run() const;

private:
    enum class Mode { Sequence, ClearOnly, Direct, Turned };
    TWin& target_;
    TWin& source_;
    std::int32_t centreX_, centreY_;
    float angle_;
    Mode mode_;
    placement::DirectBlock block_{};
    rotation::ScanPlan plan_;
};

void ClearAndPlaceRotated(TWin& Target, TWin& Source, std::int32_t CentreX, std::int32_t CentreY, float Angle);
