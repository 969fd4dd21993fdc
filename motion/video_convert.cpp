// The parallel step: a decoded frame into an upright blue-green-red raster,
// through libswscale for the colours and our own loop for the turn.
#include <algorithm>
#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "motion/video_libav.h"

namespace motion {
namespace {

// The YUV matrix the frame was coded with. Files that do not say are shown as
// players show them: BT.709 from HD up, BT.601 below.
int Matrix(const AVFrame& frame) {
    switch (frame.colorspace) {
        case AVCOL_SPC_BT709: return SWS_CS_ITU709;
        case AVCOL_SPC_FCC: return SWS_CS_FCC;
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M: return SWS_CS_ITU601;
        case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
        default: return frame.width >= 1280 || frame.height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

// The old full-range "J" formats as their plain twins with the range said
// outright, which is how libswscale wants them.
AVPixelFormat Plain(AVPixelFormat format, bool& fullRange) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P: fullRange = true; return AV_PIX_FMT_YUV420P;
        case AV_PIX_FMT_YUVJ422P: fullRange = true; return AV_PIX_FMT_YUV422P;
        case AV_PIX_FMT_YUVJ444P: fullRange = true; return AV_PIX_FMT_YUV444P;
        case AV_PIX_FMT_YUVJ440P: fullRange = true; return AV_PIX_FMT_YUV440P;
        case AV_PIX_FMT_YUVJ411P: fullRange = true; return AV_PIX_FMT_YUV411P;
        default: return format;
    }
}

// Where the stored picture's pixel (0, 0) lands on the upright raster, and how
// far (in bytes) one step right and one step down in the stored picture move.
struct Turn {
    std::ptrdiff_t origin = 0, right = 3, down = 0;
};

Turn TurnFor(const VideoFacts& facts, std::ptrdiff_t stride) {
    // Images of the stored picture's x and y axes on the screen.
    int xx = facts.mirrored ? -1 : 1, xy = 0, yx = 0, yy = 1;
    for (int quarter = 0; quarter < facts.rotation / 90; ++quarter) {
        std::swap(xx, xy), xx = -xx;
        std::swap(yx, yy), yx = -yx;
    }
    const int w = facts.storedWidth, h = facts.storedHeight;
    const std::ptrdiff_t originX = xx < 0 ? w - 1 : yx < 0 ? h - 1 : 0;
    const std::ptrdiff_t originY = xy < 0 ? w - 1 : yy < 0 ? h - 1 : 0;
    return {originY * stride + 3 * originX, xx * 3 + xy * stride, yx * 3 + yy * stride};
}

}  // namespace

void VideoReader::Convert(const DecodedFrame& decoded, TWin& upright) const {
    const AVFrame* frame = decoded.Frame();
    if (!frame || frame->width <= 0 || frame->height <= 0 || !frame->data[0])
        throw LoadError("video is damaged or incomplete: a frame has no picture");
    const int w = facts_.storedWidth, h = facts_.storedHeight;
    if (upright.Width() != facts_.width || upright.Height() != facts_.height || !upright.HasPixels()) {
        TWin sized(facts_.width, facts_.height);
        if (!sized.HasPixels()) throw LoadError(kOutOfMemoryError);
        upright.Swap(sized);
    }
    bool fullRange = frame->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat source = Plain(static_cast<AVPixelFormat>(frame->format), fullRange);
    const AVPixFmtDescriptor* description = av_pix_fmt_desc_get(source);
    if (!description) throw LoadError("video is damaged or incomplete: a frame has no known pixel format");
    const bool alpha = description->flags & AV_PIX_FMT_FLAG_ALPHA;
    const bool turned = facts_.rotation != 0 || facts_.mirrored;
    const int bytes = alpha ? 4 : 3;

    // Straight into the raster when nothing is left to do after the scaler.
    std::vector<std::uint8_t> stored;
    std::uint8_t* target = upright.Bits;
    int targetStride = static_cast<int>(upright.Stride);
    if (alpha || turned) {
        targetStride = bytes * w;
        // With room past the last row, which the scaler's vector code writes into.
        stored.resize(static_cast<std::size_t>(targetStride) * h + 64);
        target = stored.data();
    }

    SwsContext* scaler = nullptr;
    {
        std::lock_guard<std::mutex> hold(scalers_->lock);
        if (!scalers_->idle.empty()) scaler = scalers_->idle.back(), scalers_->idle.pop_back();
    }
    scaler = sws_getCachedContext(scaler, frame->width, frame->height, source, w, h,
                                  alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!scaler) throw LoadError("video is coded in pixel format " + std::string(description->name) +
                                 ", which Lumarq cannot convert");
    if (!(description->flags & AV_PIX_FMT_FLAG_RGB)) {
        int *inverse = nullptr, *table = nullptr, sourceRange = 0, targetRange = 0, brightness = 0, contrast = 0,
            saturation = 0;
        sws_getColorspaceDetails(scaler, &inverse, &sourceRange, &table, &targetRange, &brightness, &contrast, &saturation);
        if (frame->color_range != AVCOL_RANGE_UNSPECIFIED || fullRange) sourceRange = fullRange;
        sws_setColorspaceDetails(scaler, sws_getCoefficients(Matrix(*frame)), sourceRange,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, brightness, contrast, saturation);
    }
    std::uint8_t* planes[4] = {target, nullptr, nullptr, nullptr};
    const int strides[4] = {targetStride, 0, 0, 0};
    const int rows = sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
    {
        std::lock_guard<std::mutex> hold(scalers_->lock);
        scalers_->idle.push_back(scaler);
    }
    if (rows != h) throw LoadError("video is damaged or incomplete at frame " + std::to_string(decoded.Number() + 1) +
                                   " (" + VideoTime(decoded.Seconds()) + "): its picture cannot be converted");
    if (!alpha && !turned) return;

    // The turn and mirror (and transparency over black) by one walk over the stored picture.
    const Turn turn = TurnFor(facts_, upright.Stride);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* in = stored.data() + static_cast<std::size_t>(y) * targetStride;
        std::uint8_t* out = upright.Bits + turn.origin + y * turn.down;
        if (alpha) {
            for (int x = 0; x < w; ++x, in += 4, out += turn.right)
                for (int channel = 0; channel < 3; ++channel) {
                    const unsigned t = in[channel] * in[3] + 128u;
                    out[channel] = static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
                }
        } else {
            for (int x = 0; x < w; ++x, in += 3, out += turn.right) std::memcpy(out, in, 3);
        }
    }
}

}  // namespace motion
