// Writing a sequence of rendered frames as one animation: an animated WebP or GIF,
// a video, or a folder of numbered stills, chosen by the output's name. Every
// writer saves the way single images do: until Finish succeeds nothing is in
// place, and a writer dropped before that (a failure, a Cancel, Ctrl+C) leaves
// nothing behind and the old file, if any, as it was.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/atomic_file.h"
#include "raster/win.h"

namespace motion {

enum class OutputKind {
    Still,           // a single image (BMP, PNG, ...): cannot hold an animation
    WebP,            // .webp
    Gif,             // .gif
    Video,           // .mp4, .webm, .mkv
    NumberedStills,  // a name with a printf-style %d field: frames/%04d.png
};

// Decided by the name: a %d field (%d, %4d, %04d) first, then the extension in any
// letter case.
OutputKind OutputKindFor(std::string_view path);

struct AnimationOptions {
    std::int32_t width = 0, height = 0;  // of every frame given
    std::int32_t frames = 0;             // how many will be given
    std::int32_t fps = 25;               // 1..120 (GIF 1..50)
    std::int32_t loop = 0;               // plays; 0: forever
    std::int32_t quality = 0;  // 0: lossless WebP, CRF 18 video, the still format's default; else 1..100
    bool dither = false;       // GIF with more than 256 colours
};

class AnimationWriter {
public:
    virtual ~AnimationWriter() = default;
    // The frames in order, each options.width x options.height, from one thread at
    // a time.
    virtual SaveResult Add(const TWin& frame) = 0;
    // Completes the output and puts it in place.
    virtual SaveResult Finish() = 0;
};

// The writer for `path`, or nothing with `failure` saying why ("Cannot create
// file PATH" and the reason). Things worth saying once about the output (an odd
// size padded for video) are appended to `notes`.
std::unique_ptr<AnimationWriter> OpenAnimation(const std::string& path, const AnimationOptions& options,
                                               SaveResult& failure, std::vector<std::string>& notes);

// frames/%04d.png with frame 7: frames/0007.png.
std::string NumberedName(const std::string& pattern, std::int32_t frame);

}  // namespace motion
