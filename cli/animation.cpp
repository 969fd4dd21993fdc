#include "cli/animation.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/progress.h"
#include "cli/library_messages.h"
#include "cli/report.h"
#include "motion/export.h"
#include "motion/video_export.h"
#include "motion/video_input.h"
#include "platform/text/quote.h"
#include "raster/apply_pattern.h"

namespace {

std::atomic<bool> cancelled{false};
volatile std::sig_atomic_t stoppedBy = 0;

void Stop(int signal) {
    stoppedBy = signal;
    cancelled.store(true);
}

// The signals' own handlers, back in place when the export is over.
class StopOnSignals {
public:
    StopOnSignals() {
        struct sigaction action {};
        action.sa_handler = Stop;
        sigemptyset(&action.sa_mask);
        // A signal the caller ignores (nohup, a shell's background job) stays ignored.
        for (const auto& [signal, previous] : {std::pair{SIGINT, &interrupt_}, std::pair{SIGTERM, &terminate_}}) {
            sigaction(signal, nullptr, previous);
            if (previous->sa_handler != SIG_IGN) sigaction(signal, &action, nullptr);
        }
    }
    ~StopOnSignals() {
        sigaction(SIGINT, &interrupt_, nullptr);
        sigaction(SIGTERM, &terminate_, nullptr);
    }
    StopOnSignals(const StopOnSignals&) = delete;
    StopOnSignals& operator=(const StopOnSignals&) = delete;

private:
    struct sigaction interrupt_ {}, terminate_ {};
};

// The smallest pitch of the pattern's cells over the sweep, in the source's
// pixels; 0 when no frame draws cells. A pattern's cells depend on the pattern
// and the raster's size only.
std::int32_t SmallestCell(const TWin& source, const Sweep& sweep) {
    const std::int32_t first = std::min(sweep.from.Pattern, sweep.to.Pattern);
    const std::int32_t last = std::max(sweep.from.Pattern, sweep.to.Pattern);
    std::int32_t smallest = 0;
    for (std::int32_t pattern = first; pattern <= last; ++pattern) {
        const pattern::Layout layout(source, pattern, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1, -2, -3, -4);
        if (layout.Bands() == 0) continue;
        std::int32_t cell = layout.SamplePitch();
        if (layout.Bands() > 1) cell = std::min(cell, layout.BandTop(1) - layout.BandTop(0));
        if (cell > 0 && (smallest == 0 || cell < smallest)) smallest = cell;
    }
    return smallest;
}

motion::VideoExportRequest VideoRequest(const RenderOptions& options, const std::string& output) {
    motion::VideoExportRequest request;
    request.sweep = {options.settings, options.to, 2};
    request.scale = options.scale;
    request.output = output;
    request.options.loop = options.loop;
    request.options.quality = options.quality;
    request.options.dither = options.dither;
    request.options.audio = !options.noAudio;
    return request;
}

// A note about the output, its name once in front.
std::string OutputNote(const std::string& output, std::string note) {
    if (note.rfind(output + ": ", 0) == 0) note.erase(0, output.size() + 2);
    return "lumarq-render: " + platform::text::ShellQuoted(output) + ": " + platform::text::Printable(note) + "\n";
}

// The writer's notes that came since the last call, each once, off the bar's line.
void ShowNewNotes(const std::vector<std::string>& notes, std::size_t& shown, const std::string& output,
                  const BatchProgress& progress) {
    if (shown == notes.size()) return;
    progress.Clear();
    for (; shown < notes.size(); ++shown) std::cerr << OutputNote(output, notes[shown]);
}

// One export in front of the user: the writer's notes as they come, the bar, and
// Ctrl+C or SIGTERM stopping it cleanly. The exit status when it was stopped
// (reported already), else nothing and `result` says how it went.
std::optional<int> RunInFront(const std::string& output, BatchProgress& progress, std::vector<std::string>& notes,
                              const std::function<SaveResult(const motion::ExportProgress&, const std::atomic<bool>*)>& run,
                              SaveResult& result) {
    std::size_t shown = 0;
    const auto advance = [&](std::int32_t, std::int32_t) {
        ShowNewNotes(notes, shown, output, progress);
        progress.Advance(false);
    };
    cancelled.store(false);
    stoppedBy = 0;
    {
        const StopOnSignals stopper;
        result = run(advance, &cancelled);
    }
    progress.Clear();
    ShowNewNotes(notes, shown, output, progress);
    if (result || result.error != motion::kExportCancelled) return std::nullopt;
    ReportFailure({output, result.error, "nothing written"});
    return 128 + (stoppedBy ? static_cast<int>(stoppedBy) : SIGINT);
}

std::string DamageNote(const std::string& input, const motion::VideoReader& reader) {
    return "lumarq-render: " + platform::text::ShellQuoted(input) + ": " + platform::text::Printable(reader.Damage()) +
           " (--keep-going: the frames before it are written)\n";
}

}  // namespace

int RenderVideo(const RenderOptions& options) {
    const std::string& input = options.inputs.front();
    std::unique_ptr<motion::VideoReader> reader;
    try {
        TakeLibraryMessages();
        reader = std::make_unique<motion::VideoReader>(input, motion::VideoReaderOptions{options.keepGoing, 0});
    } catch (const std::exception& error) {
        ReportFailure(LoadFailure(input, error));
        return 1;
    }
    const motion::VideoExportRequest request = VideoRequest(options, options.output);
    const auto expected = static_cast<std::size_t>(motion::ExpectedFrames(reader->Facts()));
    BatchProgress progress(expected, isatty(STDERR_FILENO) != 0);
    progress.ShowFrameRate();
    std::vector<std::string> notes;
    SaveResult result;
    bool inputFailed = false;
    const auto run = [&](const motion::ExportProgress& advance, const std::atomic<bool>* cancel) {
        return motion::ExportVideo(*reader, request, notes, advance, cancel, &inputFailed);
    };
    if (const auto stopped = RunInFront(options.output, progress, notes, run, result)) return *stopped;
    if (result) {
        if (!reader->Damage().empty()) std::cerr << DamageNote(input, *reader);
        return 0;
    }
    ReportFailure({inputFailed ? input : options.output, result.error, result.reason});
    return 1;
}

std::optional<Failure> RenderVideoInBatch(const RenderOptions& options, const std::string& input,
                                          const std::string& output, std::string& notes) {
    try {
        motion::VideoReader reader(input, motion::VideoReaderOptions{options.keepGoing, 0});
        std::vector<std::string> said;
        bool inputFailed = false;
        const SaveResult result = motion::ExportVideo(reader, VideoRequest(options, output), said, {}, nullptr, &inputFailed);
        for (const std::string& note : said) notes += OutputNote(output, note);
        if (!result) return Failure{inputFailed ? input : output, result.error, result.reason};
        if (!reader.Damage().empty()) notes += DamageNote(input, reader);
    } catch (const std::exception& error) {
        return LoadFailure(input, error);
    }
    return std::nullopt;
}

int RenderAnimation(const RenderOptions& options, const TWin& source) {
    motion::ExportRequest request;
    request.sweep = {options.settings, options.to, options.frames};
    request.scale = options.scale;
    request.output = options.output;
    request.options.fps = options.fps;
    request.options.loop = options.loop;
    request.options.quality = options.quality;
    request.options.dither = options.dither;

    const std::string shownOutput = platform::text::ShellQuoted(options.output);
    BatchProgress progress(static_cast<std::size_t>(options.frames), isatty(STDERR_FILENO) != 0);
    std::vector<std::string> notes;
    // Video keeps colour at half resolution: cells narrower than 4 pixels smear.
    if (motion::OutputKindFor(options.output) == motion::OutputKind::Video) {
        const std::int32_t cell = SmallestCell(source, request.sweep);
        if (cell > 0 && cell * options.scale < 4) {
            const std::int32_t keeps = std::min<std::int32_t>(8, (4 + cell - 1) / cell);
            progress.Clear();
            std::cerr << "lumarq-render: " << shownOutput << ": cells of " << cell * options.scale
                      << " pixels blur in a video; --scale " << keeps << " keeps them\n";
        }
    }
    SaveResult result;
    const auto run = [&](const motion::ExportProgress& advance, const std::atomic<bool>* cancel) {
        return motion::ExportSweep(source, request, notes, advance, cancel);
    };
    if (const auto stopped = RunInFront(options.output, progress, notes, run, result)) return *stopped;
    if (result) return 0;
    ReportFailure({options.output, result.error, result.reason});
    return 1;
}
