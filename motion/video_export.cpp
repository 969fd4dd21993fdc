// The video's frames on a oneTBB pipeline: a serial reader that decodes them in
// order, conversions and renders side by side, and a serial writer taking them in
// order. Each slot keeps its own rasters, as in export.cpp: the render moves the
// source's working pointers, so no two renders may share a source raster. A slot
// lets go of its decoded frame as soon as it is converted, so that the decoder's
// pool is not held by frames already upright.
#include "motion/video_export.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <mutex>
#include <optional>

#include "motion/pipeline.h"
#include "platform/threads/parallel.h"
#include "raster/load_errors.h"
#include "raster/render.h"

namespace motion {

namespace {


struct Slot {
    DecodedFrame decoded;
    TWin upright{0, 0}, work{0, 0}, enlarged{0, 0};
    std::int64_t Bytes() const {
        const auto bytes = [](const TWin& raster) { return static_cast<std::int64_t>(raster.Stride) * raster.Height(); };
        return bytes(upright) + bytes(work) + bytes(enlarged);
    }
};

struct Item {
    std::int64_t frame = 0, timestamp = 0;
    Slot* slot = nullptr;
};

class Run {
public:
    Run(VideoReader& reader, const VideoExportRequest& request, std::int64_t expected, AnimationWriter& writer,
        const ExportProgress& progress, const std::atomic<bool>* cancel, int tokens)
        : reader_(reader), request_(request), writer_(writer), progress_(progress), cancel_(cancel),
          slots_(static_cast<std::size_t>(tokens)) {
        for (Slot& slot : slots_) free_.push_back(&slot);
        if (expected >= 2 && !(request.sweep.from == request.sweep.to))
            spread_ = Sweep{request.sweep.from, request.sweep.to, static_cast<std::int32_t>(std::min<std::int64_t>(expected, INT32_MAX))};
        total_ = static_cast<std::int32_t>(std::min<std::int64_t>(expected, INT32_MAX));
    }

    Item Next(tbb::flow_control& control) {
        if (Stopped()) {
            control.stop();
            return {};
        }
        Slot* slot = nullptr;
        {
            const std::lock_guard lock(mutex_);
            slot = free_.back();  // a token is back only once its slot is
            free_.pop_back();
            stats_.mostInFlight = std::max(stats_.mostInFlight, static_cast<std::int32_t>(slots_.size() - free_.size()));
        }
        bool more = false;
        try {
            more = reader_.ReadFrame(slot->decoded);
        } catch (const LoadError& error) {
            Fail({false, error.what(), error.Reason()}, true);
        } catch (const std::exception& error) {
            Fail({false, error.what()}, true);
        }
        if (!more) {
            Release(slot);
            control.stop();
            return {};
        }
        return {slot->decoded.Number(), slot->decoded.Timestamp(), slot};
    }

    Item Render(Item item) {
        if (Stopped()) return item;
        Slot& slot = *item.slot;
        try {
            reader_.Convert(slot.decoded, slot.upright);
        } catch (const LoadError& error) {
            Fail({false, error.what(), error.Reason()}, true);
            return item;
        } catch (const std::exception& error) {
            Fail({false, error.what()}, true);
            return item;
        }
        slot.decoded = DecodedFrame();
        if (slot.work.Width() != slot.upright.Width() || slot.work.Height() != slot.upright.Height()) {
            TWin fresh(slot.upright.Width(), slot.upright.Height());
            slot.work.Swap(fresh);
        }
        if (!slot.work.HasPixels()) {
            Fail({false, kOutOfMemoryError}, true);
            return item;
        }
        const RenderSettings settings =
            spread_ ? spread_->Frame(static_cast<std::int32_t>(std::min<std::int64_t>(item.frame, spread_->frames - 1)))
                    : request_.sweep.from;
        RenderPipeline(slot.work, slot.upright, settings);
        if (request_.scale > 1) {
            Enlarge(slot.work, request_.scale, slot.enlarged);
            if (!slot.enlarged.HasPixels()) Fail({false, kOutOfMemoryError}, true);
        }
        const std::lock_guard lock(mutex_);
        std::int64_t bytes = 0;
        for (const Slot& each : slots_) bytes += each.Bytes();
        stats_.mostRasterBytes = std::max(stats_.mostRasterBytes, bytes);
        return item;
    }

    void Write(Item item) {
        if (!Stopped()) {
            const TWin& frame = request_.scale > 1 ? item.slot->enlarged : item.slot->work;
            if (SaveResult added = writer_.AddAt(frame, item.timestamp); !added)
                Fail(std::move(added), false);
            else if (progress_)
                progress_(static_cast<std::int32_t>(std::min<std::int64_t>(item.frame + 1, INT32_MAX)), total_);
        }
        Release(item.slot);
    }

    SaveResult Result() const {
        if (!failure_.ok) return failure_;
        if (Cancelled()) return {false, kExportCancelled};
        return {};
    }
    bool InputFailed() const { return inputFailed_; }
    ExportStats Stats() const { return stats_; }

private:
    bool Cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }
    bool Stopped() const { return failed_.load(std::memory_order_relaxed) || Cancelled(); }
    void Release(Slot* slot) {
        const std::lock_guard lock(mutex_);
        free_.push_back(slot);
    }
    void Fail(SaveResult failure, bool input) {
        const std::lock_guard lock(mutex_);
        if (failure_.ok) failure_ = std::move(failure), inputFailed_ = input;
        failed_ = true;
    }

    VideoReader& reader_;
    const VideoExportRequest& request_;
    AnimationWriter& writer_;
    const ExportProgress& progress_;
    const std::atomic<bool>* cancel_;
    std::optional<Sweep> spread_;
    std::int32_t total_ = 0;
    std::vector<Slot> slots_;
    std::vector<Slot*> free_;
    std::mutex mutex_;
    std::atomic<bool> failed_{false};
    SaveResult failure_;
    bool inputFailed_ = false;
    ExportStats stats_;
};

}  // namespace

std::int64_t ExpectedFrames(const VideoFacts& facts) {
    if (facts.frames > 0) return facts.frames;
    const double frames = facts.seconds * facts.frameRate.Value();
    return frames >= 1 ? static_cast<std::int64_t>(std::llround(frames)) : 0;
}

std::int32_t WholeFrameRate(const VideoFacts& facts, OutputKind kind) {
    const double rate = facts.frameRate.Value();
    const std::int32_t most = kind == OutputKind::Gif ? 50 : 120;
    if (!(rate > 0)) return 25;
    return static_cast<std::int32_t>(std::clamp<long>(std::lround(rate), 1, most));
}

SaveResult ExportVideo(VideoReader& reader, const VideoExportRequest& request, std::vector<std::string>& notes,
                       const ExportProgress& progress, const std::atomic<bool>* cancel, bool* inputFailed,
                       ExportStats* stats) {
    if (inputFailed) *inputFailed = false;
    const VideoFacts& facts = reader.Facts();
    const std::int64_t expected = ExpectedFrames(facts);
    if (expected < 2 && !(request.sweep.from == request.sweep.to))
        notes.push_back(request.output + ": the video's frame count is not known: every frame takes the first settings");
    AnimationOptions options = request.options;
    const std::int64_t width = static_cast<std::int64_t>(facts.width) * request.scale;
    const std::int64_t height = static_cast<std::int64_t>(facts.height) * request.scale;
    if (width > INT32_MAX || height > INT32_MAX) return {false, kOutOfMemoryError};
    options.width = static_cast<std::int32_t>(width);
    options.height = static_cast<std::int32_t>(height);
    options.frames = static_cast<std::int32_t>(std::min<std::int64_t>(expected, INT32_MAX));
    const OutputKind kind = OutputKindFor(request.output);
    options.fps = WholeFrameRate(facts, kind);
    options.source = kind == OutputKind::Video ? &reader : nullptr;

    SaveResult failure;
    std::unique_ptr<AnimationWriter> writer = OpenAnimation(request.output, options, failure, notes);
    if (!writer) return failure.ok ? SaveResult{false, "Cannot create file " + request.output} : failure;

    const int threads = parallel::Threads();
    const int tokens = pipeline::Tokens(threads);
    Run run(reader, request, expected, *writer, progress, cancel, tokens);
    pipeline::RunStages<Item>(run, threads, tokens);
    if (stats) {
        *stats = run.Stats();
        stats->tokens = tokens;
    }
    SaveResult result = run.Result();
    if (!result) {
        if (inputFailed) *inputFailed = run.InputFailed();
        return result;
    }
    return writer->Finish();
}

}  // namespace motion
