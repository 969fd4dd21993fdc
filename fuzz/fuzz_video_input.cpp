// Feeds arbitrary bytes to the video reader as a file, the way lumarq-render and
// the windows open footage: whichever demuxer and decoder FFmpeg's libraries pick
// by content, the first few frames must decode and convert upright, or the reader
// must give a message. Seed it with tests/data/video.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/input_file.h"
#include "motion/video_input.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::MakeInputFile("fuzz_video_input");
    motion::QuietVideoLibraries();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = fuzz::WriteInput(data, size);
    motion::LooksLikeVideo(path);
    try {
        // One decoder thread: the same input decodes the same way every run.
        motion::VideoReader reader(path, {.keepGoing = (size & 1) != 0, .decoderThreads = 1});
        const motion::VideoFacts& facts = reader.Facts();
        if (facts.width <= 0 || facts.height <= 0 || facts.width > motion::kMostVideoLongSide ||
            facts.height > motion::kMostVideoLongSide)
            __builtin_trap();
        motion::DecodedFrame frame;
        TWin upright(1, 1);
        for (int frames = 0; frames < 3 && reader.ReadFrame(frame); ++frames) {
            reader.Convert(frame, upright);
            if (upright.Width() != facts.width || upright.Height() != facts.height || !upright.HasPixels())
                __builtin_trap();
        }
    } catch (const LoadError&) {
    }
    return 0;
}
