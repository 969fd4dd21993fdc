// Opening a video, checking it against the limits before any frame is decoded,
// and the serial step: demultiplexing and decoding frames in order.
#include "motion/video_input.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/display.h>
}

#include "motion/video_libav.h"

namespace motion {
namespace {

constexpr std::int64_t kMostPixels = static_cast<std::int64_t>(kMostVideoLongSide) * kMostVideoShortSide;

bool WithinLimits(int width, int height) {
    return width > 0 && height > 0 &&
           ((width <= kMostVideoLongSide && height <= kMostVideoShortSide) ||
            (width <= kMostVideoShortSide && height <= kMostVideoLongSide));
}

std::string TooLarge(int width, int height) {
    return "video is " + std::to_string(width) + " x " + std::to_string(height) + " pixels; Lumarq reads videos of at most " +
           std::to_string(kMostVideoLongSide) + " x " + std::to_string(kMostVideoShortSide);
}

std::string TooLong(double seconds) {
    return "video lasts " + VideoTime(seconds) + "; Lumarq reads videos of at most 24 hours";
}

int Sign(std::int32_t value) { return (value > 0) - (value < 0); }

// The display matrix's turn and mirror, each to the nearest right angle. It maps
// a stored pixel (x, y) to (a x + c y, b x + d y) on the screen (rows downward).
void ReadOrientation(const AVStream* stream, VideoFacts& facts) {
    size_t size = 0;
    const auto* matrix =
        reinterpret_cast<const std::int32_t*>(av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size));
    if (!matrix || size < 9 * sizeof(std::int32_t)) return;
    const double a = matrix[0], b = matrix[1], c = matrix[3], d = matrix[4];
    if (std::abs(a) + std::abs(d) >= std::abs(b) + std::abs(c)) {
        const int sa = Sign(matrix[0]), sd = Sign(matrix[4]);
        if (sa == 0 || sd == 0) return;  // degenerate: shown as stored
        facts.mirrored = sa != sd;
        facts.rotation = sd > 0 ? 0 : 180;
    } else {
        const int sb = Sign(matrix[1]), sc = Sign(matrix[3]);
        facts.mirrored = sb == sc;
        facts.rotation = sc < 0 ? 90 : 270;
    }
}

// Nested opens (playlists, references to other files, numbered image
// sequences) are refused: a video is the one file the user named.
int RefuseOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**) { return AVERROR(EPERM); }

}  // namespace

DecodedFrame::DecodedFrame() = default;
DecodedFrame::~DecodedFrame() { av_frame_free(&frame_); }
DecodedFrame::DecodedFrame(DecodedFrame&& other) noexcept { *this = std::move(other); }
DecodedFrame& DecodedFrame::operator=(DecodedFrame&& other) noexcept {
    if (this != &other) {
        av_frame_free(&frame_);
        frame_ = other.frame_, number_ = other.number_, timestamp_ = other.timestamp_, seconds_ = other.seconds_;
        other.frame_ = nullptr, other.number_ = -1;
    }
    return *this;
}

VideoReader::VideoReader(const std::string& path, VideoReaderOptions options)
    : options_(options), scalers_(std::make_unique<Scalers>()) {
    QuietVideoLibraries();
    try {
        Open(path);
    } catch (...) {
        avcodec_free_context(&decoder_);
        avformat_close_input(&format_);
        if (input_) avio_closep(&input_);
        throw;
    }
}

VideoReader::~VideoReader() {
    av_packet_free(&packet_);
    avcodec_free_context(&decoder_);
    avformat_close_input(&format_);
    if (input_) avio_closep(&input_);
}

void VideoReader::Open(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) throw LoadError(CannotOpenFileError(path), std::strerror(errno));
    if (!S_ISREG(status.st_mode)) throw LoadError(CannotOpenFileError(path), std::strerror(EISDIR));
    AVDictionary* protocol = nullptr;
    av_dict_set(&protocol, "protocol_whitelist", "file", 0);
    ForgetLibraryError();
    int result = avio_open2(&input_, ("file:" + path).c_str(), AVIO_FLAG_READ, nullptr, &protocol);
    av_dict_free(&protocol);
    if (result < 0) throw LoadError(CannotOpenFileError(path), LibraryError(result));

    format_ = avformat_alloc_context();
    if (!format_) throw LoadError(kOutOfMemoryError);
    format_->pb = input_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    format_->io_open = RefuseOpen;
    format_->probesize = 5'000'000;
    format_->format_probesize = 1 << 20;
    format_->max_analyze_duration = 5 * AV_TIME_BASE;
    ForgetLibraryError();
    // The empty name keeps the probe to the content: the extension does not vote.
    result = avformat_open_input(&format_, "", nullptr, nullptr);
    if (result < 0) throw LoadError("is not a video Lumarq can read (" + LibraryError(result) + ")");
    // Single images (PNG, JPEG, JPEG XL, ... as libavformat's image demuxers see
    // them) are the image loader's; a GIF stays, being possibly animated.
    const std::string demuxer = format_->iformat->name;
    if (demuxer == "image2" || (demuxer.size() > 5 && demuxer.compare(demuxer.size() - 5, 5, "_pipe") == 0))
        throw LoadError("is a still image, not a video");

    // The decoders that look into the first packets obey the same size limit.
    std::vector<AVDictionary*> decoding(format_->nb_streams, nullptr);
    for (AVDictionary*& settings : decoding) {
        av_dict_set_int(&settings, "max_pixels", kMostPixels, 0);
        av_dict_set(&settings, "threads", "1", 0);
    }
    ForgetLibraryError();
    result = avformat_find_stream_info(format_, decoding.data());
    for (AVDictionary*& settings : decoding) av_dict_free(&settings);
    if (result < 0) throw LoadError("video is damaged or incomplete: " + LibraryError(result));

    AVStream* video = nullptr;
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        AVStream* stream = format_->streams[i];
        const AVMediaType type = stream->codecpar->codec_type;
        facts_.hasAudio = facts_.hasAudio || type == AVMEDIA_TYPE_AUDIO;
        if (type != AVMEDIA_TYPE_VIDEO || (stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) continue;
        if (!video || ((stream->disposition & AV_DISPOSITION_DEFAULT) && !(video->disposition & AV_DISPOSITION_DEFAULT)))
            video = stream;
    }
    if (!video) throw LoadError("has no video stream");
    const AVCodecParameters* parameters = video->codecpar;
    facts_.streamIndex = video->index;
    facts_.codec = avcodec_get_name(parameters->codec_id);
    facts_.storedWidth = parameters->width, facts_.storedHeight = parameters->height;
    if (facts_.storedWidth <= 0 || facts_.storedHeight <= 0)
        throw LoadError("video is damaged or incomplete: its picture size is unknown");
    if (!WithinLimits(facts_.storedWidth, facts_.storedHeight))
        throw LoadError(TooLarge(facts_.storedWidth, facts_.storedHeight));
    ReadOrientation(video, facts_);
    const bool across = facts_.rotation == 90 || facts_.rotation == 270;
    facts_.width = across ? facts_.storedHeight : facts_.storedWidth;
    facts_.height = across ? facts_.storedWidth : facts_.storedHeight;
    facts_.timeBase = {video->time_base.num, video->time_base.den};
    if (facts_.timeBase.num <= 0 || facts_.timeBase.den <= 0) throw LoadError("video is damaged or incomplete: its time base is invalid");
    const AVRational rate = video->avg_frame_rate.num > 0 ? video->avg_frame_rate : video->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) facts_.frameRate = {rate.num, rate.den};
    if (video->duration > 0 && video->duration != AV_NOPTS_VALUE)
        facts_.seconds = video->duration * av_q2d(video->time_base);
    else if (format_->duration > 0)
        facts_.seconds = format_->duration / static_cast<double>(AV_TIME_BASE);
    if (facts_.seconds > kMostVideoSeconds) throw LoadError(TooLong(facts_.seconds));
    facts_.frames = video->nb_frames > 0 ? video->nb_frames : 0;
    startTimestamp_ = nextTimestamp_ = video->start_time != AV_NOPTS_VALUE ? video->start_time : 0;

    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec) throw LoadError("video is coded as " + facts_.codec + ", which Lumarq cannot decode");
    decoder_ = avcodec_alloc_context3(codec);
    if (!decoder_) throw LoadError(kOutOfMemoryError);
    result = avcodec_parameters_to_context(decoder_, parameters);
    if (result < 0) throw LoadError("video is damaged or incomplete: " + LibraryError(result));
    decoder_->pkt_timebase = video->time_base;
    decoder_->max_pixels = kMostPixels;
    decoder_->thread_count = options_.decoderThreads;
    // Damage is reported, not hidden under the decoder's concealment.
    decoder_->err_recognition |= AV_EF_EXPLODE;
    ForgetLibraryError();
    result = avcodec_open2(decoder_, codec, nullptr);
    if (result < 0) throw LoadError("video is coded as " + facts_.codec + ", which Lumarq cannot decode (" + LibraryError(result) + ")");
    // Only the video and what a writer may copy are read.
    for (unsigned i = 0; i < format_->nb_streams; ++i)
        if (format_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_DATA) format_->streams[i]->discard = AVDISCARD_ALL;
    packet_ = av_packet_alloc();
    if (!packet_) throw LoadError(kOutOfMemoryError);
}

bool VideoReader::Damaged(int error, const std::string& detail) {
    const double seconds = (static_cast<double>(nextTimestamp_) - static_cast<double>(startTimestamp_)) * facts_.timeBase.Value();
    std::string message = "video is damaged or incomplete at frame " + std::to_string(framesOut_ + 1) + " (" +
                          VideoTime(seconds) + "): " + (detail.empty() ? LibraryError(error) : detail);
    finished_ = true;
    if (!options_.keepGoing) throw LoadError(message);
    damage_ = std::move(message);
    return false;
}

bool VideoReader::ReadFrame(DecodedFrame& decoded) {
    if (finished_) return false;
    if (!decoded.frame_) decoded.frame_ = av_frame_alloc();
    if (!decoded.frame_) throw LoadError(kOutOfMemoryError);
    AVFrame* frame = decoded.frame_;
    const AVStream* video = format_->streams[facts_.streamIndex];
    for (;;) {
        av_frame_unref(frame);
        ForgetLibraryError();
        int result = avcodec_receive_frame(decoder_, frame);
        if (result == 0) {
            if ((frame->flags & AV_FRAME_FLAG_CORRUPT) || frame->decode_error_flags)
                return Damaged(AVERROR_INVALIDDATA, "the picture is damaged");
            if (!WithinLimits(frame->width, frame->height)) {
                finished_ = true;
                throw LoadError(TooLarge(frame->width, frame->height));
            }
            std::int64_t timestamp = frame->best_effort_timestamp;
            if (timestamp == AV_NOPTS_VALUE) timestamp = nextTimestamp_;
            if (framesOut_ == 0 && video->start_time == AV_NOPTS_VALUE) startTimestamp_ = timestamp;
            std::int64_t duration = frame->pkt_duration;
            if (duration <= 0 && facts_.frameRate.num > 0)
                duration = av_rescale_q(1, {facts_.frameRate.den, facts_.frameRate.num}, video->time_base);
            if (__builtin_add_overflow(timestamp, std::max<std::int64_t>(duration, 1), &nextTimestamp_))
                nextTimestamp_ = timestamp;
            decoded.number_ = framesOut_++;
            decoded.timestamp_ = timestamp;
            decoded.seconds_ = (static_cast<double>(timestamp) - static_cast<double>(startTimestamp_)) * facts_.timeBase.Value();
            if (decoded.seconds_ > kMostVideoSeconds) {
                finished_ = true;
                throw LoadError(TooLong(decoded.seconds_));
            }
            return true;
        }
        if (result == AVERROR_EOF) {
            if (!damageFound_.empty()) return Damaged(0, damageFound_);
            finished_ = true;
            // A file cut short still ends cleanly for some demuxers: its index knows better.
            const int indexed = avformat_index_get_entries_count(video);
            if (format_->pb && format_->pb->error < 0) return Damaged(format_->pb->error);
            if (indexed > 0 && videoPackets_ < indexed && format_->iformat &&
                std::strstr(format_->iformat->name, "mp4"))
                return Damaged(AVERROR_EOF, "the file ends before frame " + std::to_string(framesOut_ + 1) + " of " +
                                                std::to_string(indexed));
            return false;
        }
        if (result != AVERROR(EAGAIN) || draining_) return Damaged(result);
        ForgetLibraryError();
        result = av_read_frame(format_, packet_);
        if (result < 0) {
            // The frames decoded before the damage are good: they come first.
            if (result != AVERROR_EOF) damageFound_ = LibraryError(result);
            Drain();
            continue;
        }
        if (packet_->stream_index != facts_.streamIndex) {
            if (otherPackets_) otherPackets_(*packet_);
            av_packet_unref(packet_);
            continue;
        }
        ++videoPackets_;
        if (packet_->pts != AV_NOPTS_VALUE && framesOut_ == 0 && video->start_time == AV_NOPTS_VALUE)
            startTimestamp_ = nextTimestamp_ = packet_->pts;
        if (packet_->flags & AV_PKT_FLAG_CORRUPT) {
            av_packet_unref(packet_);
            damageFound_ = LibraryError(AVERROR_INVALIDDATA);
            Drain();
            continue;
        }
        ForgetLibraryError();
        result = avcodec_send_packet(decoder_, packet_);
        av_packet_unref(packet_);
        if (result < 0 && result != AVERROR(EAGAIN)) {
            damageFound_ = LibraryError(result);
            Drain();
        }
    }
}

void VideoReader::Drain() {
    draining_ = true;
    avcodec_send_packet(decoder_, nullptr);
}

}  // namespace motion
