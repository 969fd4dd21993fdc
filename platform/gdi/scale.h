// The image window's view at another scale than actual size: a box filter below
// it, so that fine patterns show their true average colour, and whole blocks of
// one pixel above it, so that single cells stay crisp.
#pragma once

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

// Draws `source` at `scale` into `target`, the view's top-left corner on the
// target's (0, 0), changing only the target's clip box. Below 1 a view pixel is
// the mean of the image pixels it covers, each weighted by the part of it that is
// covered: per axis the weights are in 65536ths and add up to exactly 65536, and
// the sum of weight x weight x value is rounded to the nearest, halves up. At 1/n
// a view pixel is the exact mean of n x n whole pixels, rounded to the nearest,
// halves up. Above 1 a view pixel shows the
// image pixel it lies on. Runs on the render's threads; the same bytes for every
// thread count. Returns false when nothing was drawn.
bool ScaleBlt(const DeviceContext& target, const DeviceContext& source, ViewScale scale);

}  // namespace platform::gdi
