// The image window's view at another scale than actual size: a box filter below
// it, so that fine patterns show their true average colour, and whole blocks of
// one pixel above it, so that single cells stay crisp.
#pragma once

#include <memory>
#include <vector>

#include "platform/gdi/gdi.h"

namespace platform::gdi {

// A view scale as a fraction in lowest terms, both parts positive.
struct ViewScale {
    int numerator = 1;
    int denominator = 1;

    bool operator==(const ViewScale&) const = default;
    bool IsActualSize() const { return numerator == denominator; }
    // Whether this scale is below `other`, exactly.
    bool operator<(const ViewScale& other) const {
        return static_cast<long long>(numerator) * other.denominator <
               static_cast<long long>(other.numerator) * denominator;
    }
};

// numerator / denominator in lowest terms; 1 / 1 when either is not positive.
ViewScale MakeViewScale(long long numerator, long long denominator);

// How many view pixels `extent` image pixels make: extent x scale, rounded down,
// so that every view pixel lies wholly on the image.
int ScaledExtent(int extent, ViewScale scale);

// Draws `source` at `scale` into `target`, target pixel (x, y) showing view pixel
// (x + viewLeft, y + viewTop), changing only the target's clip box. Below 1 a view
// pixel is the mean of the image pixels it covers, each weighted by the part of it
// that is covered: per axis the weights are in 65536ths and add up to exactly
// 65536, and the sum of weight x weight x value is rounded to the nearest, halves
// up. At 1/n a view pixel is the exact mean of n x n whole pixels, rounded to the
// nearest, halves up. Above 1 a view pixel shows the image pixel it lies on. Runs
// on the render's threads; the same bytes for every thread count. Returns false
// when nothing was drawn.
bool ScaleBlt(const DeviceContext& target, const DeviceContext& source, ViewScale scale, int viewLeft = 0,
              int viewTop = 0);

struct ScaleTaps;

// The rows of one part of a view, worked out as ScaleBlt does, one range of rows
// at a time: set up once for the part, then drawn from any thread.
class ScaledRows {
public:
    // `area`, in view pixels, is cut to the view of a width x height image.
    ScaledRows(ViewScale scale, ClipBox area, int width, int height);
    ~ScaledRows();
    ScaledRows(const ScaledRows&) = delete;
    ScaledRows& operator=(const ScaledRows&) = delete;

    bool Empty() const { return area_.left >= area_.right || area_.top >= area_.bottom; }
    const ClipBox& Area() const { return area_; }
    // The image rows that view row y reads: first..last - 1.
    int FirstImageRow(int y) const;
    int LastImageRow(int y) const;
    // View rows first..last - 1 of the part from `source`, view pixel (x, y) into
    // target pixel (x - left, y - top).
    void Draw(const Surface& target, int left, int top, const Surface& source, int first, int last) const;
    // Every row of the part, shared out over the render's threads when it is worth it.
    void DrawAll(const Surface& target, int left, int top, const Surface& source) const;

private:
    enum class Kind { Blocks, Reduce, Enlarge };
    Kind kind_ = Kind::Enlarge;
    ViewScale scale_;
    ClipBox area_;
    std::unique_ptr<ScaleTaps> rowTaps_, columnTaps_;
    std::vector<int> columns_;  // above 1: the image column of each view column
    long long work_ = 0;        // about how many image pixels it reads or view pixels it writes
};

}  // namespace platform::gdi
