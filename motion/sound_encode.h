// A sound stream the output container cannot hold as it is, decoded and encoded
// again in a codec it takes: AAC in MP4 and MOV, Opus in WebM. Internal to the
// video writer, which calls it on its writing thread only.
#pragma once

#include <cstdint>
#include <memory>

struct AVAudioFifo;
struct AVCodec;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVOutputFormat;
struct AVPacket;
struct AVStream;
struct SwrContext;

namespace motion::writers {

// The encoder `container` takes sound in; nullptr when there is none to use.
const AVCodec* SoundEncoderFor(const AVOutputFormat* container);

class SoundEncoder {
public:
    // Decoder, encoder and a new stream in `format` for the sound of `from`;
    // nullptr, and no stream added, when any of them cannot be set up.
    static std::unique_ptr<SoundEncoder> Open(const AVStream& from, const AVCodec& codec, AVFormatContext& format);
    ~SoundEncoder();
    SoundEncoder(const SoundEncoder&) = delete;
    SoundEncoder& operator=(const SoundEncoder&) = delete;

    AVStream* Stream() const { return stream_; }
    // "AAC", "Opus": the new codec as the user knows it.
    const char* CodecName() const;

    // One packet of the input stream (its time base): decoded, and every whole
    // frame of the encoder's muxed. A packet the decoder refuses is skipped, as a
    // player would. Below 0: the libraries' error from encoding or writing.
    int Write(const AVPacket& packet);
    // The decoder's, resampler's and encoder's last samples into the muxer.
    int Finish();

private:
    SoundEncoder() = default;
    bool SetUp(const AVStream& from, const AVCodec& codec, AVFormatContext& format);
    int Decoded();
    int EncoderFrame(AVFrame& frame, int samples) const;
    int Resample(const AVFrame* frame);
    int EncodeWhole(bool last);
    int Send(const AVFrame* frame);

    AVFormatContext* format_ = nullptr;
    AVStream* stream_ = nullptr;
    AVCodecContext* decoder_ = nullptr;
    AVCodecContext* encoder_ = nullptr;
    SwrContext* resampler_ = nullptr;
    AVAudioFifo* fifo_ = nullptr;
    AVFrame* decoded_ = nullptr;
    AVFrame* converted_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int frameSize_ = 0;
    std::int64_t nextPts_ = 0;  // in the encoder's time base
    bool started_ = false;
    // What the resampler was made for; a change rebuilds it.
    int inputFormat_ = -1, inputRate_ = 0, inputChannels_ = 0;
};

}  // namespace motion::writers
