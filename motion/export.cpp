// The sweep's frames on a oneTBB pipeline: a serial source of frame numbers, the
// renders side by side, and a serial writer taking the frames in order. Only a few
// frames are in flight whatever the sweep's length, so memory stays a few frames.
//
// RenderPipeline only reads the source's pixels but moves its working pointers
// (Cursor, Probe, Step through Seek and PeekBlue), so two renders at once must not
// share one source object: each slot reads through its own object over the same
// pixels, which cost nothing more.
#include "motion/export.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "motion/pipeline.h"
#include "platform/threads/parallel.h"
#include "raster/load_errors.h"
#include "raster/render.h"

namespace motion {

namespace {


// The rasters of one frame in flight.
struct Slot {
    TWin source{0, 0};  // the source's pixels, not owned: the slot's own reading pointers
    TWin work{0, 0};
    TWin enlarged{0, 0};
    bool made = false;

    // The frame rasters, made on first use; false when the memory cannot be had.
    bool Make(const TWin& original, std::int32_t scale) {
        if (made) return true;
        TWin frame(original.Width(), original.Height());
        if (!frame.HasPixels()) return false;
        source.Info = original.Info;
        source.Stride = original.Stride;
        source.Bits = original.Bits;
        work.Swap(frame);
        if (scale > 1) {
            TWin large(original.Width() * scale, original.Height() * scale);
            if (!large.HasPixels()) return false;
            enlarged.Swap(large);
        }
        made = true;
        return true;
    }
    std::int64_t Bytes() const {
        const auto bytes = [](const TWin& raster) { return static_cast<std::int64_t>(raster.Stride) * raster.Height(); };
        return bytes(work) + bytes(enlarged);
    }
};

struct Item {
    std::int32_t frame = 0;
    Slot* slot = nullptr;
};

// The state the stages share.
class Run {
public:
    Run(const TWin& source, const ExportRequest& request, AnimationWriter& writer, const ExportProgress& progress,
        const std::atomic<bool>* cancel, int tokens)
        : source_(source), request_(request), writer_(writer), progress_(progress), cancel_(cancel),
          slots_(static_cast<std::size_t>(tokens)) {
        for (Slot& slot : slots_) free_.push_back(&slot);
    }

    Item Next(tbb::flow_control& control) {
        if (next_ == request_.sweep.frames || Stopped()) {
            control.stop();
            return {};
        }
        const std::lock_guard lock(mutex_);
        // A token is back only once its slot is: there is always one free here.
        Slot* slot = free_.back();
        free_.pop_back();
        stats_.mostInFlight = std::max(stats_.mostInFlight, static_cast<std::int32_t>(slots_.size() - free_.size()));
        return {next_++, slot};
    }

    Item Render(Item item) {
        if (Stopped()) return item;
        Slot& slot = *item.slot;
        if (!slot.Make(source_, request_.scale)) {
            Fail({false, kOutOfMemoryError});
            return item;
        }
        {
            const std::lock_guard lock(mutex_);
            std::int64_t bytes = 0;
            for (const Slot& each : slots_) bytes += each.Bytes();
            stats_.mostRasterBytes = std::max(stats_.mostRasterBytes, bytes);
        }
        RenderPipeline(slot.work, slot.source, request_.sweep.Frame(item.frame));
        if (request_.scale > 1) Enlarge(slot.work, request_.scale, slot.enlarged);
        return item;
    }

    void Write(Item item) {
        if (!Stopped()) {
            const TWin& frame = request_.scale > 1 ? item.slot->enlarged : item.slot->work;
            if (SaveResult added = writer_.Add(frame); !added)
                Fail(std::move(added));
            else if (progress_)
                progress_(item.frame + 1, request_.sweep.frames);
        }
        const std::lock_guard lock(mutex_);
        free_.push_back(item.slot);
    }

    SaveResult Result() const {
        if (!failure_.ok) return failure_;
        if (Cancelled()) return {false, kExportCancelled};
        return {};
    }
    ExportStats Stats() const { return stats_; }

private:
    bool Cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }
    bool Stopped() const { return failed_.load(std::memory_order_relaxed) || Cancelled(); }
    void Fail(SaveResult failure) {
        const std::lock_guard lock(mutex_);
        if (failure_.ok) failure_ = std::move(failure);
        failed_ = true;
    }

    const TWin& source_;
    const ExportRequest& request_;
    AnimationWriter& writer_;
    const ExportProgress& progress_;
    const std::atomic<bool>* cancel_;
    std::vector<Slot> slots_;
    std::vector<Slot*> free_;
    std::mutex mutex_;
    std::int32_t next_ = 0;
    std::atomic<bool> failed_{false};
    SaveResult failure_;
    ExportStats stats_;
};

}  // namespace

void Enlarge(const TWin& frame, std::int32_t scale, TWin& enlarged) {
    const std::int64_t width = static_cast<std::int64_t>(frame.Width()) * scale;
    const std::int64_t height = static_cast<std::int64_t>(frame.Height()) * scale;
    if (enlarged.Width() != width || enlarged.Height() != height) {
        // A size beyond a raster's is no raster: it stays 0 x 0, as memory not had does.
        const bool fits = width <= INT32_MAX && height <= INT32_MAX;
        TWin fresh(fits ? static_cast<std::int32_t>(width) : 0, fits ? static_cast<std::int32_t>(height) : 0);
        enlarged.Swap(fresh);
    }
    if (!frame.HasPixels() || !enlarged.HasPixels()) return;
    const auto rowBytes = static_cast<std::size_t>(3 * width);
    for (std::int32_t y = 0; y < frame.Height(); ++y) {
        // One row widened, then copied down into the rows below it.
        const std::uint8_t* in = frame.PixelAddress(0, y);
        std::uint8_t* first = enlarged.PixelAddress(0, y * scale);
        std::uint8_t* out = first;
        for (std::int32_t x = 0; x < frame.Width(); ++x, in += 3)
            for (std::int32_t copy = 0; copy < scale; ++copy, out += 3) out[0] = in[0], out[1] = in[1], out[2] = in[2];
        for (std::int32_t row = 1; row < scale; ++row) std::memcpy(enlarged.PixelAddress(0, y * scale + row), first, rowBytes);
    }
}

SaveResult ExportSweep(const TWin& source, const ExportRequest& request, AnimationWriter& writer,
                       const ExportProgress& progress, const std::atomic<bool>* cancel, ExportStats* stats) {
    const int threads = parallel::Threads();
    const int tokens = pipeline::Tokens(threads);
    SaveResult result;
    {
        // The frames in flight are let go before the writer's own last work (a GIF's
        // palette and encoding), so the two never add up.
        Run run(source, request, writer, progress, cancel, tokens);
        pipeline::RunStages<Item>(run, threads, tokens);
        if (stats) {
            *stats = run.Stats();
            stats->tokens = tokens;
        }
        result = run.Result();
    }
    if (!result) return result;
    return writer.Finish();
}

SaveResult ExportSweep(const TWin& source, const ExportRequest& request, std::vector<std::string>& notes,
                       const ExportProgress& progress, const std::atomic<bool>* cancel) {
    ExportRequest filled = request;
    const std::int64_t width = static_cast<std::int64_t>(source.Width()) * request.scale;
    const std::int64_t height = static_cast<std::int64_t>(source.Height()) * request.scale;
    if (width > INT32_MAX || height > INT32_MAX) return {false, kOutOfMemoryError};
    filled.options.width = static_cast<std::int32_t>(width);
    filled.options.height = static_cast<std::int32_t>(height);
    filled.options.frames = request.sweep.frames;
    SaveResult failure;
    std::unique_ptr<AnimationWriter> writer = OpenAnimation(filled.output, filled.options, failure, notes);
    if (!writer) return failure.ok ? SaveResult{false, "Cannot create file " + filled.output} : failure;
    return ExportSweep(source, filled, *writer, progress, cancel);
}

}  // namespace motion
