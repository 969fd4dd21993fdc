// The sweep export's pipeline, through a writer that records what it is given:
// the frames arrive in order, each the render of its own settings whatever the
// thread count, only a few are in flight, and a stop leaves the output unfinished.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "motion/export.h"
#include "platform/threads/parallel.h"
#include "raster/render.h"
#include "tests/raster/test_util.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes PixelBytes(const TWin& win) {
    Bytes bytes;
    for (int y = 0; y < win.Height(); ++y) bytes.insert(bytes.end(), win.PixelAddress(0, y), win.PixelAddress(win.Width(), y));
    return bytes;
}

class RecordingWriter : public motion::AnimationWriter {
public:
    std::vector<Bytes> frames;
    int width = 0, height = 0;
    bool finished = false;
    int failAt = -1;                       // Add of this frame fails
    int cancelAt = -1;                     // Add of this frame asks to cancel
    std::atomic<bool>* cancel = nullptr;

    SaveResult Add(const TWin& frame) override {
        EXPECT_FALSE(finished);
        width = frame.Width(), height = frame.Height();
        frames.push_back(PixelBytes(frame));
        const int index = static_cast<int>(frames.size()) - 1;
        if (index == cancelAt) cancel->store(true);
        if (index == failAt) return {false, "Stream write error", "No space left on device"};
        return {};
    }
    SaveResult Finish() override {
        finished = true;
        return {};
    }
};

// A frame as a single render of its settings from a fresh source, each pixel
// made a scale x scale block.
Bytes SingleRender(const RenderSettings& settings, int width, int height, int scale) {
    TWin source(width, height), frame(width, height), large(width * scale, height * scale);
    FillWithCoordinates(source);
    RenderPipeline(frame, source, settings);
    for (int y = 0; y < large.Height(); ++y)
        for (int x = 0; x < large.Width(); ++x) SetPixel(large, x, y, PixelAt(frame, x / scale, y / scale));
    return PixelBytes(large);
}

}  // namespace

TEST(ExportSweep, FramesArriveInOrderAsSingleRendersOnAnyThreadCount) {
    constexpr int kWidth = 97, kHeight = 61;
    TWin source(kWidth, kHeight);
    FillWithCoordinates(source);
    motion::ExportRequest request;
    request.sweep.from = {48, 90, 255, 0, 40, 0, 0, 0};
    request.sweep.to = {48, 90, 0, 0, 40, -60, 10, 90};
    request.sweep.frames = 12;
    for (const int threads : {1, 3}) {
        for (const int scale : {1, 2}) {
            parallel::SetThreads(threads);
            request.scale = scale;
            RecordingWriter writer;
            std::vector<std::int32_t> progress;
            motion::ExportStats stats;
            const SaveResult result = motion::ExportSweep(
                source, request, writer, [&](std::int32_t done, std::int32_t) { progress.push_back(done); }, nullptr, &stats);
            ASSERT_TRUE(result.ok) << result.Message();
            EXPECT_TRUE(writer.finished);
            ASSERT_EQ(writer.frames.size(), 12u);
            EXPECT_EQ(writer.width, kWidth * scale);
            EXPECT_EQ(writer.height, kHeight * scale);
            for (int i = 0; i < 12; ++i) {
                EXPECT_EQ(writer.frames[i], SingleRender(request.sweep.Frame(i), kWidth, kHeight, scale))
                    << "frame " << i << ", " << threads << " threads, scale " << scale;
                EXPECT_EQ(progress[i], i + 1);
            }
            // A few frames in flight, whatever the sweep's length.
            EXPECT_LE(stats.tokens, 6);
            EXPECT_GE(stats.mostInFlight, 1);
            EXPECT_LE(stats.mostInFlight, stats.tokens);
            const std::int64_t frameBytes = static_cast<std::int64_t>(kWidth * 3 + 1) * kHeight;
            EXPECT_LE(stats.mostRasterBytes, stats.tokens * frameBytes * (1 + (scale == 1 ? 0 : scale * scale)));
        }
    }
    parallel::SetThreads(0);
}

// A Cancel between frames and a writer that fails both stop the source: nothing
// more is written and the output is never finished.
TEST(ExportSweep, ACancelOrAFailureStopsWithoutFinishing) {
    TWin source(64, 48);
    FillWithCoordinates(source);
    motion::ExportRequest request;
    request.sweep.to.XOffset = -300;
    request.sweep.frames = 40;
    for (const bool cancelled : {true, false}) {
        std::atomic<bool> cancel{false};
        RecordingWriter writer;
        (cancelled ? writer.cancelAt : writer.failAt) = 3;
        writer.cancel = &cancel;
        const SaveResult result = motion::ExportSweep(source, request, writer, {}, &cancel);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, cancelled ? motion::kExportCancelled : "Stream write error");
        EXPECT_FALSE(writer.finished);
        EXPECT_EQ(writer.frames.size(), 4u) << (cancelled ? "cancelled" : "failed");
    }
}
