// Writing a sequence of rendered frames as one animation: an animated WebP or GIF,
// a video, or a folder of numbered stills, chosen by the output's name. Every
// writer saves the way single images do: until Finish succeeds nothing is in
// place, and a writer dropped before that (a failure, a Cancel, Ctrl+C) leaves
// nothing behind and the old file, if any, as it was. Numbered stills cannot be
// replaced as one: each still replaces its namesake atomically as it is written,
// and an unfinished set is removed again, namesakes it replaced included.
//
// WebP: libwebp's animation encoder, lossless and exact at quality 0, lossy at
// the quality otherwise. GIF: one global palette, exact when all frames together
// have 256 colours or fewer, else libimagequant's over every frame (dithered on
// request); each frame stores only the rectangle that changed. Frames wait on disk
// beside the output until Finish, so memory stays the same for any frame count.
// Video: H.264 (libx264, preset veryfast) in .mp4 and .mkv, VP9 (libvpx) in
// .webm; 4:2:0, BT.709, limited range; an odd width or height gains one black
// column or row (said once in the notes).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/atomic_file.h"
#include "raster/win.h"

namespace motion {

class VideoReader;

enum class OutputKind {
    Still,           // a single image (BMP, PNG, ...): cannot hold an animation
    WebP,            // .webp
    Gif,             // .gif
    Video,           // .mp4, .mov, .webm, .mkv
    NumberedStills,  // a name with a printf-style %d field: frames/%04d.png
};

// Decided by the name: a %d field (%d, %4d, %04d) first, then the extension in any
// letter case.
OutputKind OutputKindFor(std::string_view path);

struct AnimationOptions {
    std::int32_t width = 0, height = 0;  // of every frame given
    std::int32_t frames = 0;             // how many will be given
    std::int32_t fps = 25;               // 1..120 (GIF 1..50)
    // Plays; 0: forever. A GIF's loop count is the plays after the first, so a GIF
    // that plays once has none.
    std::int32_t loop = 0;
    // 0: lossless WebP, CRF 18 for H.264 and 32 for VP9, the still format's
    // default. 1..100: the WebP or still quality; for video a CRF from 50 (H.264)
    // or 62 (VP9) at 1 down to 10 at 100, about 80 giving H.264's CRF 18. GIFs
    // ignore it.
    std::int32_t quality = 0;
    bool dither = false;  // GIF with more than 256 colours
    // A video made from a video: its frames come with AddAt and the input's
    // timestamps, its sound is copied from this reader (handed over through
    // SetOtherPackets), and the input's creation time and languages go along.
    // Other kinds of output ignore it. The reader must outlive the writer.
    VideoReader* source = nullptr;
    bool audio = true;  // with a source: false leaves its sound out
};

class AnimationWriter {
public:
    virtual ~AnimationWriter() = default;
    // The frames in order, each options.width x options.height, from one thread at
    // a time.
    virtual SaveResult Add(const TWin& frame) = 0;
    // The same with the frame's timestamp in the source video's time base; only a
    // video writer with a source keeps it, the others play at options.fps.
    virtual SaveResult AddAt(const TWin& frame, std::int64_t /*timestamp*/) { return Add(frame); }
    // Completes the output and puts it in place.
    virtual SaveResult Finish() = 0;
};

// The writer for `path`, or nothing with `failure` saying why: "Cannot create
// file PATH" and the reason (for numbered stills PATH is the first still's name),
// "GIF frame delays are in hundredths of a second: --fps can be at most 50 for a
// GIF", or, for a name that is a single still, "A .png file cannot hold an
// animation: ...". The folder is checked here, before any frame is rendered.
// Later failures are "Stream write error" and the reason. Things worth saying once
// about the output (an odd size padded for video) are appended to `notes`.
std::unique_ptr<AnimationWriter> OpenAnimation(const std::string& path, const AnimationOptions& options,
                                               SaveResult& failure, std::vector<std::string>& notes);

// frames/%04d.png with frame 7: frames/0007.png. The one field is %d, %Nd or
// %0Nd (N up to two digits) and "%%" is a '%'; a name without exactly one such
// field, or with any other '%', is returned as it is. Numbered stills are named
// with the frame's index from 0, as the sweep counts its frames.
std::string NumberedName(const std::string& pattern, std::int32_t frame);

}  // namespace motion
