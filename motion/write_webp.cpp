// Animated WebP through libwebp's animation encoder: lossless and exact when no
// quality is asked for, lossy at the asked quality otherwise.
#include <webp/encode.h>
#include <webp/mux.h>

#include <cerrno>

#include "files/replacement_file.h"
#include "motion/writers.h"

namespace motion::writers {
namespace {

// Frame i starts at i * 1000 / fps milliseconds, rounded, so the durations add up
// to the whole animation's length however the rate divides.
int Timestamp(std::int64_t frame, std::int32_t fps) { return static_cast<int>((frame * 2000 + fps) / (2 * fps)); }

SaveResult EncoderFailure(WebPAnimEncoder* encoder) {
    const char* reason = encoder ? WebPAnimEncoderGetError(encoder) : nullptr;
    return {false, "Stream write error", reason && *reason ? reason : "the WebP encoder failed"};
}

class WebPWriter final : public AnimationWriter {
public:
    WebPWriter(const std::string& path, const AnimationOptions& options) : file_(path), options_(options) {}
    ~WebPWriter() override {
        if (encoder_) WebPAnimEncoderDelete(encoder_);
    }

    SaveResult Open() {
        if (!file_.Created()) return file_.Created();
        WebPAnimEncoderOptions encoderOptions;
        if (!WebPAnimEncoderOptionsInit(&encoderOptions) || !WebPConfigInit(&config_))
            return {false, "Stream write error", "the WebP library does not match its headers"};
        encoderOptions.anim_params.loop_count = options_.loop;
        encoderOptions.allow_mixed = 0;
        if (options_.quality == 0) {
            config_.lossless = 1;
            config_.exact = 1;  // keep every pixel's colour as given
        } else {
            config_.quality = static_cast<float>(options_.quality);
        }
        config_.thread_level = 1;
        if (!WebPValidateConfig(&config_)) return {false, "Stream write error", "the WebP settings are not valid"};
        encoder_ = WebPAnimEncoderNew(options_.width, options_.height, &encoderOptions);
        if (!encoder_) return {false, "Stream write error", "the WebP encoder could not start"};
        return {};
    }

    SaveResult Add(const TWin& frame) override {
        if (SaveResult size = CheckFrameSize(frame, options_); !size) return size;
        WebPPicture picture;
        if (!WebPPictureInit(&picture)) return EncoderFailure(nullptr);
        picture.use_argb = 1;  // the animation encoder compares frames as ARGB
        picture.width = frame.Width();
        picture.height = frame.Height();
        const bool added =
            WebPPictureImportBGR(&picture, frame.Bits, static_cast<int>(frame.Stride)) &&
            WebPAnimEncoderAdd(encoder_, &picture, Timestamp(added_, options_.fps), &config_);
        WebPPictureFree(&picture);
        if (!added) return EncoderFailure(encoder_);
        ++added_;
        return {};
    }

    SaveResult Finish() override {
        if (added_ == 0) return {false, "Stream write error", "no frames"};
        // The end time gives the last frame its duration.
        if (!WebPAnimEncoderAdd(encoder_, nullptr, Timestamp(added_, options_.fps), nullptr))
            return EncoderFailure(encoder_);
        WebPData data;
        WebPDataInit(&data);
        if (!WebPAnimEncoderAssemble(encoder_, &data)) return EncoderFailure(encoder_);
        errno = 0;
        const bool written = files::WriteAll(file_.Descriptor(), data.bytes, data.size);
        const SaveResult writeFailure = written ? SaveResult{} : files::StreamWriteError();
        WebPDataClear(&data);
        if (!written) return writeFailure;
        return file_.Commit();
    }

private:
    files::ReplacementFile file_;
    AnimationOptions options_;
    WebPConfig config_{};
    WebPAnimEncoder* encoder_ = nullptr;
    std::int64_t added_ = 0;
};

}  // namespace

std::unique_ptr<AnimationWriter> OpenWebP(const std::string& path, const AnimationOptions& options,
                                          SaveResult& failure) {
    auto writer = std::make_unique<WebPWriter>(path, options);
    failure = writer->Open();
    if (!failure) return nullptr;
    return writer;
}

}  // namespace motion::writers
