// Video through FFmpeg's libraries: H.264 (libx264) in .mp4 and .mkv, VP9
// (libvpx) in .webm, 4:2:0 in BT.709 limited range, one frame per 1/fps second.
// Quality 0 is CRF 18 for H.264 and CRF 32 for VP9; quality q in 1..100 maps
// linearly onto CRF 50..10 (H.264) and 62..10 (VP9), higher quality being a lower
// CRF, so about 80 matches the default H.264 look.
//
// A video made from a video keeps the input's timing (its timestamps, in its own
// time base, so a variable frame rate stays variable) and its sound, packet for
// packet, where the container takes the codec; where it does not, the sound is
// encoded again in one it takes (sound_encode.cpp), and left out only when that
// cannot be set up. The sound's packets arrive from the reader's thread while
// frames are encoded on another; they wait in a queue that the writing thread
// empties at every frame, copying or re-encoding them into the muxer, whose
// interleaving puts them in order. The queue stays short: the reader runs only a
// few frames ahead. The input's display turn is not copied: the frames are upright.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "files/replacement_file.h"
#include "motion/sound_encode.h"
#include "motion/video_input.h"
#include "motion/writers.h"

namespace motion::writers {
namespace {

std::string ErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// "a webm file", "an mp4 file": a container as the notes name it.
std::string AFile(const std::string& container) { return (container == "mp4" ? "an " : "a ") + container + " file"; }

// Dictionaries handed to libav, freed on every path.
struct Options {
    AVDictionary* entries = nullptr;
    ~Options() { av_dict_free(&entries); }
    void Set(const char* key, const std::string& value) { av_dict_set(&entries, key, value.c_str(), 0); }
};

class VideoWriter final : public AnimationWriter {
public:
    VideoWriter(const std::string& path, const AnimationOptions& options)
        : path_(path), file_(path), options_(options), width_(options.width + options.width % 2),
          height_(options.height + options.height % 2) {}

    ~VideoWriter() override {
        if (options_.source && !outputOf_.empty()) options_.source->SetOtherPackets({});
        for (AVPacket* packet : waiting_) av_packet_free(&packet);
        if (format_ && format_->pb) avio_closep(&format_->pb);
        avformat_free_context(format_);
        avcodec_free_context(&encoder_);
        sws_freeContext(scaler_);
        av_frame_free(&frame_);
        av_packet_free(&packet_);
    }
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    SaveResult Open(std::vector<std::string>& notes) {
        if (!file_.Created()) return file_.Created();
        const AVOutputFormat* container = av_guess_format(nullptr, path_.c_str(), nullptr);
        const bool vp9 = container && std::strcmp(container->name, "webm") == 0;
        const AVCodec* codec = avcodec_find_encoder_by_name(vp9 ? "libvpx-vp9" : "libx264");
        if (!container || !codec)
            return CannotCreate(std::string(vp9 ? "libvpx-vp9" : "libx264") + " is not available in this FFmpeg");
        // By name, prefixed so that no ':' in it reads as a protocol; the MP4
        // muxer reopens this name to move its index to the front.
        const std::string url = "file:" + file_.TemporaryName();
        if (int code = avformat_alloc_output_context2(&format_, container, nullptr, url.c_str()); code < 0)
            return CannotCreate(ErrorText(code));

        encoder_ = avcodec_alloc_context3(codec);
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (!encoder_ || !frame_ || !packet_) return CannotCreate(ErrorText(AVERROR(ENOMEM)));
        encoder_->width = width_;
        encoder_->height = height_;
        encoder_->pix_fmt = AV_PIX_FMT_YUV420P;
        encoder_->time_base = AVRational{1, options_.fps};
        encoder_->framerate = AVRational{options_.fps, 1};
        if (options_.source) {
            const AVStream* input = SourceStream(options_.source->Facts().streamIndex);
            encoder_->time_base = input->time_base;
            if (input->avg_frame_rate.num > 0 && input->avg_frame_rate.den > 0) encoder_->framerate = input->avg_frame_rate;
        }
        encoder_->color_range = AVCOL_RANGE_MPEG;
        encoder_->color_primaries = AVCOL_PRI_BT709;
        encoder_->color_trc = AVCOL_TRC_BT709;
        encoder_->colorspace = AVCOL_SPC_BT709;
        encoder_->thread_count = 0;  // the encoder's own choice of threads
        if (format_->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        Options codecOptions;
        const int quality = options_.quality;
        if (vp9) {
            encoder_->bit_rate = 0;  // constant quality
            codecOptions.Set("crf", std::to_string(quality ? 10 + (100 - quality) * 52 / 99 : 32));
            codecOptions.Set("row-mt", "1");
            codecOptions.Set("deadline", "realtime");
            codecOptions.Set("cpu-used", "8");
        } else {
            codecOptions.Set("crf", std::to_string(quality ? 10 + (100 - quality) * 40 / 99 : 18));
            codecOptions.Set("preset", "veryfast");
        }
        if (int code = avcodec_open2(encoder_, codec, &codecOptions.entries); code < 0)
            return CannotCreate(ErrorText(code));

        stream_ = avformat_new_stream(format_, nullptr);
        if (!stream_) return CannotCreate(ErrorText(AVERROR(ENOMEM)));
        stream_->time_base = encoder_->time_base;
        stream_->avg_frame_rate = encoder_->framerate;
        if (int code = avcodec_parameters_from_context(stream_->codecpar, encoder_); code < 0)
            return CannotCreate(ErrorText(code));
        if (options_.source)
            if (SaveResult copied = CopyFromSource(container->name, notes); !copied) return copied;

        frame_->format = encoder_->pix_fmt;
        frame_->width = width_;
        frame_->height = height_;
        if (int code = av_frame_get_buffer(frame_, 0); code < 0) return CannotCreate(ErrorText(code));
        scaler_ = sws_getContext(width_, height_, AV_PIX_FMT_BGR24, width_, height_, AV_PIX_FMT_YUV420P, SWS_BILINEAR | SWS_ACCURATE_RND,
                                 nullptr, nullptr, nullptr);
        if (!scaler_) return CannotCreate("no conversion to 4:2:0 video");
        // Full-range RGB in, limited-range BT.709 out, as the stream is tagged.
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(scaler_, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
        if (width_ != options_.width || height_ != options_.height)
            padded_.assign(std::size_t(width_) * 3 * height_, 0);  // black stays in the added column or row

        if (int code = avio_open(&format_->pb, url.c_str(), AVIO_FLAG_WRITE); code < 0)
            return CannotCreate(ErrorText(code));
        Options muxOptions;
        if (std::strcmp(container->name, "mp4") == 0 || std::strcmp(container->name, "mov") == 0) muxOptions.Set("movflags", "+faststart");
        if (int code = avformat_write_header(format_, &muxOptions.entries); code < 0)
            return CannotCreate(ErrorText(code));
        return {};
    }

    SaveResult Add(const TWin& frame) override { return Encode(frame, next_); }
    SaveResult AddAt(const TWin& frame, std::int64_t timestamp) override {
        return Encode(frame, options_.source ? timestamp : next_);
    }

    SaveResult Finish() override {
        if (next_ == 0) return {false, "Stream write error", "no frames"};
        if (SaveResult sound = WriteWaiting(); !sound) return sound;
        if (SaveResult drained = Send(nullptr); !drained) return drained;
        if (SaveResult sound = WriteWaiting(); !sound) return sound;
        for (const auto& sound : encoders_)
            if (int code = sound ? sound->Finish() : 0; code < 0) return WriteError(code);
        if (int code = av_write_trailer(format_); code < 0) return WriteError(code);
        if (int code = avio_closep(&format_->pb); code < 0) return WriteError(code);
        return file_.Commit();
    }

private:
    SaveResult Encode(const TWin& frame, std::int64_t timestamp) {
        if (SaveResult size = CheckFrameSize(frame, options_); !size) return size;
        // The encoder may still hold the last frame's pixels.
        if (int code = av_frame_make_writable(frame_); code < 0) return WriteError(code);
        const std::uint8_t* source = frame.Bits;
        int stride = static_cast<int>(frame.Stride);
        if (!padded_.empty()) {
            const std::size_t row = 3 * std::size_t(options_.width);
            stride = 3 * width_;
            for (std::int32_t y = 0; y < options_.height; ++y)
                std::memcpy(padded_.data() + std::size_t(stride) * y, frame.PixelAddress(0, y), row);
            source = padded_.data();
        }
        sws_scale(scaler_, &source, &stride, 0, height_, frame_->data, frame_->linesize);
        // The encoder needs rising timestamps; a file that repeats one still gives every frame.
        if (next_ > 0 && timestamp <= lastTimestamp_) timestamp = lastTimestamp_ + 1;
        frame_->pts = lastTimestamp_ = timestamp;
        ++next_;
        if (SaveResult sound = WriteWaiting(); !sound) return sound;
        return Send(frame_);
    }

    const AVStream* SourceStream(int index) const { return options_.source->Format()->streams[index]; }

    // The creation time, the languages and the sound streams the container takes.
    SaveResult CopyFromSource(const std::string& container, std::vector<std::string>& notes) {
        const AVFormatContext* input = options_.source->Format();
        if (const AVDictionaryEntry* created = av_dict_get(input->metadata, "creation_time", nullptr, 0))
            av_dict_set(&format_->metadata, "creation_time", created->value, 0);
        const auto copyLanguage = [](const AVStream* from, AVStream* to) {
            if (const AVDictionaryEntry* language = av_dict_get(from->metadata, "language", nullptr, 0))
                av_dict_set(&to->metadata, "language", language->value, 0);
        };
        copyLanguage(SourceStream(options_.source->Facts().streamIndex), stream_);
        outputOf_.assign(input->nb_streams, -1);
        encoders_.resize(input->nb_streams);
        std::string refused, newCodec;
        std::vector<std::string> reencoded;  // their codecs, each once
        for (unsigned i = 0; options_.audio && i < input->nb_streams; ++i) {
            const AVStream* from = input->streams[i];
            if (from->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
            // 0: the container cannot hold it; below 0: the muxer does not say, and takes it.
            if (avformat_query_codec(format_->oformat, from->codecpar->codec_id, FF_COMPLIANCE_NORMAL) == 0) {
                const std::string name = avcodec_get_name(from->codecpar->codec_id);
                const AVCodec* codec = SoundEncoderFor(format_->oformat);
                encoders_[i] = codec ? SoundEncoder::Open(*from, *codec, *format_) : nullptr;
                if (!encoders_[i]) {
                    refused = name;
                    continue;
                }
                copyLanguage(from, encoders_[i]->Stream());
                outputOf_[i] = encoders_[i]->Stream()->index;
                newCodec = encoders_[i]->CodecName();
                if (std::find(reencoded.begin(), reencoded.end(), name) == reencoded.end()) reencoded.push_back(name);
                continue;
            }
            AVStream* to = avformat_new_stream(format_, nullptr);
            if (!to) return CannotCreate(ErrorText(AVERROR(ENOMEM)));
            if (int code = avcodec_parameters_copy(to->codecpar, from->codecpar); code < 0)
                return CannotCreate(ErrorText(code));
            to->codecpar->codec_tag = 0;  // the input container's tag may mean nothing in this one
            to->time_base = from->time_base;
            copyLanguage(from, to);
            outputOf_[i] = to->index;
        }
        if (!refused.empty())
            notes.push_back(path_ + ": the sound (" + refused + ") cannot go into " + AFile(container) +
                            " and is left out; a .mkv takes it");
        if (!reencoded.empty()) {
            std::string codecs;
            for (const std::string& name : reencoded) codecs += (codecs.empty() ? "" : ", ") + name;
            notes.push_back(path_ + ": the sound (" + codecs + ") cannot go into " + AFile(container) +
                            " and is re-encoded as " + newCodec);
        }
        options_.source->SetOtherPackets([this](AVPacket& packet) { Queue(packet); });
        return {};
    }

    // From the reader's thread: a reference to a sound packet, kept until the writing thread muxes it.
    void Queue(const AVPacket& packet) {
        if (packet.stream_index < 0 || static_cast<std::size_t>(packet.stream_index) >= outputOf_.size() ||
            outputOf_[static_cast<std::size_t>(packet.stream_index)] < 0)
            return;
        AVPacket* copy = av_packet_clone(&packet);
        const std::lock_guard lock(queueMutex_);
        if (copy)
            waiting_.push_back(copy);
        else
            soundLost_ = true;
    }

    // The sound packets waiting, into the muxer in the order they came.
    SaveResult WriteWaiting() {
        std::deque<AVPacket*> taken;
        {
            const std::lock_guard lock(queueMutex_);
            taken.swap(waiting_);
            if (soundLost_) return WriteError(AVERROR(ENOMEM));
        }
        SaveResult result;
        for (AVPacket* packet : taken) {
            const auto input = static_cast<std::size_t>(packet->stream_index);
            if (result && encoders_[input]) {
                if (int code = encoders_[input]->Write(*packet); code < 0) result = WriteError(code);
            } else if (result) {
                AVStream* to = format_->streams[outputOf_[input]];
                av_packet_rescale_ts(packet, SourceStream(static_cast<int>(input))->time_base, to->time_base);
                packet->stream_index = to->index;
                packet->pos = -1;
                if (int code = av_interleaved_write_frame(format_, packet); code < 0) result = WriteError(code);
            }
            av_packet_free(&packet);
        }
        return result;
    }

    SaveResult CannotCreate(const std::string& reason) const { return {false, "Cannot create file " + path_, reason}; }
    static SaveResult WriteError(int code) { return {false, "Stream write error", ErrorText(code)}; }

    // Hands a frame to the encoder (nothing: the end) and muxes every packet it has ready.
    SaveResult Send(const AVFrame* frame) {
        if (int code = avcodec_send_frame(encoder_, frame); code < 0) return WriteError(code);
        for (;;) {
            const int code = avcodec_receive_packet(encoder_, packet_);
            if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return {};
            if (code < 0) return WriteError(code);
            av_packet_rescale_ts(packet_, encoder_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            if (int written = av_interleaved_write_frame(format_, packet_); written < 0) return WriteError(written);
        }
    }

    std::string path_;
    files::ReplacementFile file_;
    AnimationOptions options_;
    std::int32_t width_, height_;  // even, for 4:2:0
    AVFormatContext* format_ = nullptr;
    AVCodecContext* encoder_ = nullptr;
    AVStream* stream_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    SwsContext* scaler_ = nullptr;
    std::vector<std::uint8_t> padded_;  // an odd-sized frame with its black edge
    std::int64_t next_ = 0;  // frames given
    std::int64_t lastTimestamp_ = 0;
    std::vector<int> outputOf_;  // each input stream's output stream, -1: left out
    std::vector<std::unique_ptr<SoundEncoder>> encoders_;  // each input stream's, where re-encoded
    std::mutex queueMutex_;
    std::deque<AVPacket*> waiting_;  // sound packets not yet muxed
    bool soundLost_ = false;
};

}  // namespace

std::unique_ptr<AnimationWriter> OpenVideo(const std::string& path, const AnimationOptions& options,
                                           SaveResult& failure, std::vector<std::string>& notes) {
    // libav's own console messages would mix with ours; its errors come back as codes.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
    auto writer = std::make_unique<VideoWriter>(path, options);
    failure = writer->Open(notes);
    if (!failure) return nullptr;
    if (options.width % 2 || options.height % 2)
        notes.push_back(path + ": frames of " + std::to_string(options.width) + " x " +
                        std::to_string(options.height) + " are padded with black to " +
                        std::to_string(options.width + options.width % 2) + " x " +
                        std::to_string(options.height + options.height % 2) +
                        ": 4:2:0 video needs an even width and height");
    return writer;
}

}  // namespace motion::writers
