// Decoded samples go through libswresample into the encoder's sample format, rate
// and channels, then wait in a FIFO until they fill the encoder's frame: the
// encoder takes fixed frames only, the decoder gives what each packet holds. The
// frames are numbered by their samples from the stream's first timestamp on, so
// that the sound stays continuous and in step with the picture. The encoder's
// priming puts its first packet before that timestamp: MP4 and MOV keep it in
// their edit list; WebM cannot go below zero, so its muxer moves every stream
// later by those few milliseconds, picture and sound alike.
#include "motion/sound_encode.h"

#include <algorithm>
#include <cstring>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace motion::writers {
namespace {

constexpr int kBitsPerSecondPerChannel = 64000;  // plenty for a clip's sound in either codec

// The input's own rate where the encoder takes it, else the next it takes above
// (Opus: 44.1 kHz becomes 48 kHz), else its highest.
int ChooseRate(const AVCodec& codec, int rate) {
    if (!codec.supported_samplerates) return rate;
    int above = 0, highest = 0;
    for (const int* each = codec.supported_samplerates; *each; ++each) {
        if (*each == rate) return rate;
        if (*each > rate && (above == 0 || *each < above)) above = *each;
        if (*each > highest) highest = *each;
    }
    return above ? above : highest;
}

// The input's layout where the encoder takes it, else one of as many channels,
// else stereo, else the encoder's first.
void ChooseLayout(const AVCodec& codec, const AVChannelLayout& input, AVChannelLayout& chosen) {
    AVChannelLayout wanted{};
    if (input.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&input) == 0)
        av_channel_layout_default(&wanted, input.nb_channels);
    else
        av_channel_layout_copy(&wanted, &input);
    const AVChannelLayout* pick = nullptr;
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    for (const AVChannelLayout* each = codec.ch_layouts; each && each->nb_channels; ++each)
        if (av_channel_layout_compare(each, &wanted) == 0) pick = each;
    for (const AVChannelLayout* each = codec.ch_layouts; !pick && each && each->nb_channels; ++each)
        if (each->nb_channels == wanted.nb_channels) pick = each;
    for (const AVChannelLayout* each = codec.ch_layouts; !pick && each && each->nb_channels; ++each)
        if (av_channel_layout_compare(each, &stereo) == 0) pick = each;
    if (!pick && codec.ch_layouts && codec.ch_layouts->nb_channels) pick = codec.ch_layouts;
    av_channel_layout_copy(&chosen, pick ? pick : &wanted);
    av_channel_layout_uninit(&wanted);
}

}  // namespace

const AVCodec* SoundEncoderFor(const AVOutputFormat* container) {
    if (!container) return nullptr;
    const std::string name = container->name;
    if (name == "mp4" || name == "mov") return avcodec_find_encoder_by_name("aac");
    if (name == "webm") {
        if (const AVCodec* opus = avcodec_find_encoder_by_name("libopus")) return opus;
        return avcodec_find_encoder_by_name("opus");
    }
    return nullptr;
}

std::unique_ptr<SoundEncoder> SoundEncoder::Open(const AVStream& from, const AVCodec& codec, AVFormatContext& format) {
    std::unique_ptr<SoundEncoder> sound(new SoundEncoder);
    if (!sound->SetUp(from, codec, format)) return nullptr;
    return sound;
}

SoundEncoder::~SoundEncoder() {
    avcodec_free_context(&decoder_);
    avcodec_free_context(&encoder_);
    swr_free(&resampler_);
    if (fifo_) av_audio_fifo_free(fifo_);
    av_frame_free(&decoded_);
    av_frame_free(&converted_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
}

const char* SoundEncoder::CodecName() const { return encoder_->codec_id == AV_CODEC_ID_AAC ? "AAC" : "Opus"; }

bool SoundEncoder::SetUp(const AVStream& from, const AVCodec& codec, AVFormatContext& format) {
    format_ = &format;
    const AVCodecParameters* input = from.codecpar;
    const AVCodec* decoding = avcodec_find_decoder(input->codec_id);
    if (!decoding || input->sample_rate <= 0 || input->ch_layout.nb_channels <= 0) return false;
    decoder_ = avcodec_alloc_context3(decoding);
    if (!decoder_ || avcodec_parameters_to_context(decoder_, input) < 0) return false;
    decoder_->pkt_timebase = from.time_base;
    decoder_->thread_count = 1;
    if (avcodec_open2(decoder_, decoding, nullptr) < 0) return false;

    encoder_ = avcodec_alloc_context3(&codec);
    if (!encoder_) return false;
    encoder_->sample_rate = ChooseRate(codec, input->sample_rate);
    encoder_->sample_fmt = codec.sample_fmts ? codec.sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
    ChooseLayout(codec, input->ch_layout, encoder_->ch_layout);
    encoder_->time_base = AVRational{1, encoder_->sample_rate};
    encoder_->bit_rate = std::int64_t{kBitsPerSecondPerChannel} * encoder_->ch_layout.nb_channels;
    // FFmpeg's own Opus encoder, used when libopus is missing, is marked experimental.
    if (std::strcmp(codec.name, "opus") == 0) encoder_->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    if (format.oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(encoder_, &codec, nullptr) < 0) return false;
    frameSize_ = encoder_->frame_size > 0 ? encoder_->frame_size : 1024;

    fifo_ = av_audio_fifo_alloc(encoder_->sample_fmt, encoder_->ch_layout.nb_channels, frameSize_);
    decoded_ = av_frame_alloc();
    converted_ = av_frame_alloc();
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!fifo_ || !decoded_ || !converted_ || !frame_ || !packet_) return false;

    // Last, so that a failure above leaves the container as it was.
    stream_ = avformat_new_stream(&format, nullptr);
    if (!stream_) return false;
    stream_->time_base = encoder_->time_base;
    return avcodec_parameters_from_context(stream_->codecpar, encoder_) >= 0;
}

int SoundEncoder::Write(const AVPacket& packet) {
    // A damaged packet: its sound is missing, the rest plays.
    if (avcodec_send_packet(decoder_, &packet) < 0) return 0;
    if (int code = Decoded(); code < 0) return code;
    return EncodeWhole(false);
}

int SoundEncoder::Finish() {
    avcodec_send_packet(decoder_, nullptr);
    if (int code = Decoded(); code < 0) return code;
    if (resampler_) {  // the samples the resampler's filter still holds
        if (int code = Resample(nullptr); code < 0) return code;
    }
    return EncodeWhole(true);
}

// Every frame the decoder has ready, resampled into the FIFO.
int SoundEncoder::Decoded() {
    for (;;) {
        const int code = avcodec_receive_frame(decoder_, decoded_);
        if (code < 0) return 0;  // EAGAIN, the end, or a frame the decoder gave up on
        const int resampled = Resample(decoded_);
        av_frame_unref(decoded_);
        if (resampled < 0) return resampled;
    }
}

// `frame` made afresh to hold `samples` samples in the encoder's format.
int SoundEncoder::EncoderFrame(AVFrame& frame, int samples) const {
    av_frame_unref(&frame);
    frame.format = encoder_->sample_fmt;
    frame.sample_rate = encoder_->sample_rate;
    frame.nb_samples = samples;
    if (int code = av_channel_layout_copy(&frame.ch_layout, &encoder_->ch_layout); code < 0) return code;
    return av_frame_get_buffer(&frame, 0);
}

// `frame` (nullptr: what the resampler holds) in the encoder's format, into the FIFO.
int SoundEncoder::Resample(const AVFrame* frame) {
    if (frame && !started_) {
        const std::int64_t first = frame->best_effort_timestamp;
        nextPts_ = first == AV_NOPTS_VALUE ? 0 : av_rescale_q(first, decoder_->pkt_timebase, encoder_->time_base);
        started_ = true;
    }
    if (frame && (!resampler_ || frame->format != inputFormat_ || frame->sample_rate != inputRate_ ||
                  frame->ch_layout.nb_channels != inputChannels_)) {
        AVChannelLayout layout{};
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&layout, frame->ch_layout.nb_channels);
        else if (int code = av_channel_layout_copy(&layout, &frame->ch_layout); code < 0)
            return code;
        swr_free(&resampler_);
        int code = swr_alloc_set_opts2(&resampler_, &encoder_->ch_layout, encoder_->sample_fmt, encoder_->sample_rate,
                                       &layout, static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&layout);
        if (code >= 0) code = swr_init(resampler_);
        if (code < 0) return code;
        inputFormat_ = frame->format, inputRate_ = frame->sample_rate, inputChannels_ = frame->ch_layout.nb_channels;
    }
    const int room = swr_get_out_samples(resampler_, frame ? frame->nb_samples : 0);
    if (room <= 0) return room;
    if (int code = EncoderFrame(*converted_, room); code < 0) return code;
    const int got = swr_convert(resampler_, converted_->extended_data, room,
                                frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr,
                                frame ? frame->nb_samples : 0);
    if (got <= 0) return got;
    const int written = av_audio_fifo_write(fifo_, reinterpret_cast<void**>(converted_->extended_data), got);
    return written < 0 ? written : 0;
}

// Whole frames out of the FIFO into the encoder; at the end also the last part
// frame, then the encoder's own delay.
int SoundEncoder::EncodeWhole(bool last) {
    while (av_audio_fifo_size(fifo_) >= frameSize_ || (last && av_audio_fifo_size(fifo_) > 0)) {
        const int count = std::min(av_audio_fifo_size(fifo_), frameSize_);
        if (int code = EncoderFrame(*frame_, count); code < 0) return code;
        if (int code = av_audio_fifo_read(fifo_, reinterpret_cast<void**>(frame_->extended_data), count); code < 0)
            return code;
        frame_->pts = nextPts_;
        nextPts_ += count;
        if (int code = Send(frame_); code < 0) return code;
    }
    return last ? Send(nullptr) : 0;
}

int SoundEncoder::Send(const AVFrame* frame) {
    if (int code = avcodec_send_frame(encoder_, frame); code < 0) return code;
    for (;;) {
        const int code = avcodec_receive_packet(encoder_, packet_);
        if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return 0;
        if (code < 0) return code;
        av_packet_rescale_ts(packet_, encoder_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        if (int written = av_interleaved_write_frame(format_, packet_); written < 0) return written;
    }
}

}  // namespace motion::writers
