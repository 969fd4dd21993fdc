#include "platform/gdi/scaled_view.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/gdi/convert.h"

namespace platform::gdi {

bool ScaledView::Aim(ViewScale scale, ClipBox area, int width, int height) {
    parked_ = false;
    if (rows_ && scale == scale_ && width == width_ && height == height_ && area.left == rows_->Area().left &&
        area.top == rows_->Area().top && area.right == rows_->Area().right && area.bottom == rows_->Area().bottom)
        return true;
    valid_ = false;
    auto rows = std::make_unique<ScaledRows>(scale, area, width, height);
    const ClipBox& cut = rows->Area();
    const auto pixels = static_cast<std::size_t>(cut.right - cut.left) * static_cast<std::size_t>(cut.bottom - cut.top);
    if (pixels > capacity_) {
        pixels_.reset();
        capacity_ = 0;
        if (!ImageAllocationAllowed(4 * pixels)) return Drop(), false;
        pixels_.reset(new (std::nothrow) std::uint32_t[pixels]);
        if (!pixels_) return Drop(), false;
        capacity_ = pixels;
    }
    held_ = {reinterpret_cast<std::uint8_t*>(pixels_.get()), cut.right - cut.left, cut.bottom - cut.top,
             4 * static_cast<std::ptrdiff_t>(cut.right - cut.left), 4};
    rows_ = std::move(rows);
    lastSeen_ = beforeSeen_ = true;
    scale_ = scale;
    width_ = width;
    height_ = height;
    return true;
}

void ScaledView::Drop() {
    rows_.reset();
    pixels_.reset();
    capacity_ = 0;
    held_ = {};
    drawn_.clear();
    drawn_.shrink_to_fit();
    valid_ = false;
}

bool ScaledView::Fits(const Surface& source) const {
    return rows_ && !rows_->Empty() && !source.empty() && source.bytesPerPixel == 3 && source.width == width_ &&
           source.height == height_;
}

bool ScaledView::Begin(const Surface& source) {
    valid_ = false;
    const bool follow = lastSeen_ && beforeSeen_ && !parked_;
    beforeSeen_ = lastSeen_;
    lastSeen_ = false;
    if (!follow || !Fits(source)) return false;
    drawn_.assign(static_cast<std::size_t>(rows_->Area().bottom - rows_->Area().top), 0);
    return true;
}

void ScaledView::DrawRows(const Surface& source, int first, int last) {
    const ClipBox& area = rows_->Area();
    rows_->Draw(held_, area.left, area.top, source, first, last);
    std::fill(drawn_.begin() + (first - area.top), drawn_.begin() + (last - area.top), std::uint8_t{1});
}

void ScaledView::Rows(const Surface& source, int first, int last) {
    const ClipBox& area = rows_->Area();
    // The view rows reading only image rows first..last - 1: their first image rows
    // rise with them, so they are one run.
    int from = area.top, to = area.bottom;
    while (from < to && rows_->FirstImageRow(from) < first) ++from;
    int end = from;
    while (end < to && rows_->LastImageRow(end) <= last) ++end;
    if (from < end) DrawRows(source, from, end);
}

void ScaledView::Finish(const Surface& source) {
    const ClipBox& area = rows_->Area();
    for (int y = area.top; y < area.bottom;) {
        if (drawn_[static_cast<std::size_t>(y - area.top)]) {
            ++y;
            continue;
        }
        int end = y + 1;
        while (end < area.bottom && !drawn_[static_cast<std::size_t>(end - area.top)]) ++end;
        DrawRows(source, y, end);
        y = end;
    }
    valid_ = true;
}

bool ScaledView::CatchUp(const Surface& source) {
    if (valid_) return true;
    if (!Fits(source)) return false;
    const ClipBox& area = rows_->Area();
    rows_->DrawAll(held_, area.left, area.top, source);
    valid_ = true;
    return true;
}

bool ScaledView::CopyTo(const DeviceContext& target, ViewScale scale, int viewLeft, int viewTop) {
    const Surface dst = target.Pixels();
    if (!valid_ || !(scale == scale_) || dst.empty()) return false;
    ClipBox clip = target.Clip();
    clip.left = std::clamp(clip.left, 0, dst.width);
    clip.top = std::clamp(clip.top, 0, dst.height);
    clip.right = std::clamp(clip.right, clip.left, dst.width);
    clip.bottom = std::clamp(clip.bottom, clip.top, dst.height);
    // Only the part on the view: the paint fills the rest.
    clip.right = std::min(clip.right, ScaledExtent(width_, scale) - viewLeft);
    clip.bottom = std::min(clip.bottom, ScaledExtent(height_, scale) - viewTop);
    if (clip.left >= clip.right || clip.top >= clip.bottom) return true;
    const ClipBox& area = rows_->Area();
    if (clip.left + viewLeft < area.left || clip.top + viewTop < area.top || clip.right + viewLeft > area.right ||
        clip.bottom + viewTop > area.bottom)
        return false;
    for (int y = clip.top; y < clip.bottom; ++y)
        CopyPixels(dst.pixel(clip.left, y), dst.bytesPerPixel,
                   held_.pixel(clip.left + viewLeft - area.left, y + viewTop - area.top), 4, clip.right - clip.left);
    lastSeen_ = true;
    return true;
}

}  // namespace platform::gdi
