// The part of the image window's scaled view that the window shows, held as its
// 32-bit pixels and worked out while a render's rows are still in the cache: the
// render hands over each band of rows as it finishes it, and the view draws the
// view rows that lie wholly inside the band; the few that straddle two bands are
// drawn at the end. The paint then only copies. The bytes are ScaleBlt's.
// Renders that come faster than paints (a held arrow key: Qt paints once for
// many) would each pay for a view nobody sees, so a render follows only when the
// renders before it were seen, the last two; otherwise the paint draws the view.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gdi/scale.h"

namespace platform::gdi {

class ScaledView {
public:
    // Holds `area` (view pixels) of the view of a width x height image at `scale`,
    // nothing drawn yet; keeps what it holds when asked for the same again. False,
    // and nothing held, when the memory cannot be had.
    bool Aim(ViewScale scale, ClipBox area, int width, int height);
    // Holds nothing and gives the memory back.
    void Drop();
    // Follows no render until aimed again, but keeps what it holds while no render
    // changes the image: back at its scale, the view is a copy.
    void Park() { parked_ = true; }
    // What it holds no longer shows the image.
    void Forget() { valid_ = false; }

    // A render of `source` begins: whether this view follows it. It does not when
    // either of the last two renders never reached the screen.
    bool Begin(const Surface& source);
    // The render finished image rows first..last - 1; any thread, no two bands at once
    // with the same rows.
    void Rows(const Surface& source, int first, int last);
    // The render is done: the rows no band held whole are drawn.
    void Finish(const Surface& source);

    // Draws the whole area from `source` now, on the render's threads, unless it
    // holds it already. False when it cannot.
    bool CatchUp(const Surface& source);

    // Copies the target's clip box, target pixel (x, y) from view pixel
    // (x + viewLeft, y + viewTop), where this view holds the image at `scale`
    // and all of that part. False, and nothing written, otherwise.
    bool CopyTo(const DeviceContext& target, ViewScale scale, int viewLeft, int viewTop);

private:
    void DrawRows(const Surface& source, int first, int last);
    bool Fits(const Surface& source) const;

    std::unique_ptr<ScaledRows> rows_;
    int width_ = 0, height_ = 0;  // the image's
    ViewScale scale_;
    std::unique_ptr<std::uint32_t[]> pixels_;
    std::size_t capacity_ = 0;  // pixels
    Surface held_;              // the area's pixels, its top-left first
    std::vector<std::uint8_t> drawn_;  // per view row of the area, during a render
    bool valid_ = false;
    // Whether the last render, and the one before it, reached the screen (after
    // Aim: as if they had).
    bool lastSeen_ = true, beforeSeen_ = true;
    bool parked_ = false;
};

}  // namespace platform::gdi
