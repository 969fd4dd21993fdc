// Reading the user's own footage (a phone clip, a screen recording, an animated
// GIF) frame by frame through FFmpeg's libraries, so that each frame can go
// through the effect like a still.
//
// A pipeline uses one VideoReader in two kinds of step:
//   - serial, in order, on one thread at a time: ReadFrame demultiplexes and
//     decodes the next frame into a DecodedFrame (still in the decoder's own
//     pixel format). Packets of the other streams (audio above all) go, in the
//     file's order, to the handler given to SetOtherPackets, so that a video
//     writer can copy them untouched; the AVFormatContext (Format()) holds the
//     streams' parameters and the file's metadata to copy;
//   - parallel, from any number of threads at once: Convert turns a
//     DecodedFrame into an upright TWin (blue-green-red, the file's display
//     turn and mirror applied), so the effect's LED grid lies square on the
//     picture as a player shows it.
// The reader must outlive the conversions of its frames.
//
// Every failure is a LoadError whose message is what the user reads after the
// file's name ("has no video stream", "video is damaged or incomplete at frame
// 37 (0:01.48): Invalid data found when processing input").
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "raster/win.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVIOContext;
struct AVPacket;

namespace motion {

// The largest video read: 8K in either orientation, one day long.
inline constexpr int kMostVideoLongSide = 7680;
inline constexpr int kMostVideoShortSide = 4320;
inline constexpr double kMostVideoSeconds = 24 * 3600;

struct Fraction {
    int num = 0, den = 1;  // 0/1 when unknown
    double Value() const { return den ? static_cast<double>(num) / den : 0; }
};

// What is known of a video before any frame is decoded.
struct VideoFacts {
    int width = 0, height = 0;              // upright, as every converted frame is
    int storedWidth = 0, storedHeight = 0;  // as coded, before the turn
    int rotation = 0;        // degrees clockwise that turn the stored picture upright: 0, 90, 180 or 270
    bool mirrored = false;   // the stored picture is also mirrored left to right (before the turn)
    Fraction frameRate;      // average frames per second; 0/1 when the file does not say
    Fraction timeBase;       // of the video stream's timestamps
    double seconds = 0;      // duration; 0 when unknown
    std::int64_t frames = 0; // frame count the file declares; 0 when unknown
    int streamIndex = -1;    // of the video stream in Format()
    bool hasAudio = false;
    std::string codec;       // "h264", "gif", ...
};

// One decoded frame, in the stream's own pixel format, until Convert makes a
// raster of it. Movable, not copyable; owns its AVFrame.
class DecodedFrame {
public:
    DecodedFrame();
    ~DecodedFrame();
    DecodedFrame(DecodedFrame&&) noexcept;
    DecodedFrame& operator=(DecodedFrame&&) noexcept;

    std::int64_t Number() const { return number_; }        // 0 for the first frame
    std::int64_t Timestamp() const { return timestamp_; }  // in the stream's time base
    double Seconds() const { return seconds_; }            // from the stream's start
    const AVFrame* Frame() const { return frame_; }

private:
    friend class VideoReader;
    AVFrame* frame_ = nullptr;
    std::int64_t number_ = -1, timestamp_ = 0;
    double seconds_ = 0;
};

struct VideoReaderOptions {
    // Damage ends the video at the last good frame instead of failing: ReadFrame
    // then returns false and Damage() says what was found and where.
    bool keepGoing = false;
    // The decoder's own threads; 0: as many as it sees fit.
    int decoderThreads = 0;
};

class VideoReader {
public:
    // Opens and inspects `path` (any container and codec FFmpeg's libraries read,
    // recognised by content). Throws LoadError: the file cannot be opened, is no
    // video, has no video stream, is larger or longer than the limits above, or
    // is coded in a way the libraries cannot decode.
    explicit VideoReader(const std::string& path, VideoReaderOptions options = {});
    ~VideoReader();
    VideoReader(const VideoReader&) = delete;
    VideoReader& operator=(const VideoReader&) = delete;

    const VideoFacts& Facts() const { return facts_; }
    // The demuxer, for the streams' parameters and metadata (format->metadata,
    // each stream's codecpar and metadata). Read it, do not read packets from it.
    AVFormatContext* Format() const { return format_; }

    // Receives every packet that is not the video stream's, in the file's order,
    // as ReadFrame comes upon it (packets after the last frame arrive before
    // ReadFrame returns false). The packet is the reader's: take it with
    // av_packet_ref or av_packet_move_ref. No handler: they are dropped.
    using PacketHandler = std::function<void(AVPacket& packet)>;
    void SetOtherPackets(PacketHandler handler) { otherPackets_ = std::move(handler); }

    // The next frame in display order into `frame`; false after the last one.
    // Serial: one thread at a time. Throws LoadError on damage (unless keepGoing):
    // a demuxer or decoder error, a damaged picture, or an MP4 or MOV file that ends
    // before the frames its index lists. The frames decoded before the damage come
    // first; the message then names the frame after them (counting from 1) and the
    // time where the last good one ends.
    bool ReadFrame(DecodedFrame& frame);

    // The damage that ended the video in keepGoing mode; empty when none.
    const std::string& Damage() const { return damage_; }

    // `frame` as an upright Facts().width x Facts().height raster (rebuilt when
    // its size differs). Safe from several threads at once. Throws LoadError when
    // memory runs out.
    void Convert(const DecodedFrame& frame, TWin& upright) const;

private:
    struct Scalers;
    void Open(const std::string& path);
    bool Damaged(int error, const std::string& detail = {});
    void Drain();

    VideoReaderOptions options_;
    VideoFacts facts_;
    AVFormatContext* format_ = nullptr;
    AVIOContext* input_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    AVPacket* packet_ = nullptr;
    PacketHandler otherPackets_;
    std::unique_ptr<Scalers> scalers_;
    std::string damage_, damageFound_;  // reported; found, reported once the frames before it are out
    std::int64_t framesOut_ = 0, videoPackets_ = 0;
    std::int64_t startTimestamp_ = 0, nextTimestamp_ = 0;
    bool draining_ = false, finished_ = false;
};

// The upright first frame of a video, for the windows. Throws LoadError.
void ReadFirstFrame(const std::string& path, TWin& image);

// Whether the file's first bytes are those of a video or sound container (MP4,
// MOV, Matroska, WebM, AVI, MPEG, Ogg, ...), which the image loader would refuse;
// GIFs and every image are not. Cheap: reads a few kilobytes.
bool LooksLikeVideo(const std::string& path);

// Keeps FFmpeg's libraries off the console: their errors are kept (per thread)
// for our own messages instead. Called by the reader; call it before any other
// use of the libraries in the program.
void QuietVideoLibraries();

// "0:01.48", "1:02:03.04": a position in a video as a player shows it.
std::string VideoTime(double seconds);

}  // namespace motion
