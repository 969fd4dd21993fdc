// Animated GIF through giflib with one global palette. Each frame keeps only the
// rectangle that changed from the one before, drawn over it ("do not dispose").
// The palette can only be chosen once every frame is known, so the rectangles
// wait in an unlinked temporary file beside the output, never in memory, and are
// encoded in Finish.
#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "files/replacement_file.h"
#include "motion/gif_colours.h"
#include "motion/writers.h"

namespace motion::writers {
namespace {

struct Area {
    std::int32_t left = 0, top = 0, width = 0, height = 0;
    std::size_t Pixels() const { return std::size_t(width) * std::size_t(height); }
};

struct SpilledFrame {
    Area area;
    off_t offset = 0;
};

// A file no other process can see: unnamed where the file system allows it,
// otherwise unlinked as soon as it is made.
int OpenSpill(const std::string& folder) {
    const int unnamed = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (unnamed >= 0) return unnamed;
    std::string name = folder + "/.lumarq-frames.XXXXXX";
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0) ::unlink(name.c_str());
    return named;
}

bool ReadAt(int descriptor, std::uint8_t* data, std::size_t count, off_t offset) {
    while (count > 0) {
        const ssize_t done = ::pread(descriptor, data, count, offset);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        data += done;
        offset += done;
        count -= static_cast<std::size_t>(done);
    }
    return true;
}

// Bytes of rows gathered before they go to the spill file together.
constexpr std::size_t kSpillBuffer = std::size_t(1) << 18;

// Pixels in a band of a frame's area mapped to the palette at once.
constexpr std::size_t kBandPixels = std::size_t(1) << 18;

bool SamePixel(const std::uint8_t* a, const std::uint8_t* b) { return a[0] == b[0] && a[1] == b[1] && a[2] == b[2]; }

// Frame i shows from i * 100 / fps hundredths of a second on, rounded, so the
// delays add up to the animation's length instead of drifting.
int Hundredths(std::int64_t frame, std::int32_t fps) { return static_cast<int>((frame * 200 + fps) / (2 * fps)); }

class GifWriter final : public AnimationWriter {
public:
    GifWriter(const std::string& path, const AnimationOptions& options)
        : path_(path), file_(path), options_(options) {}
    ~GifWriter() override {
        if (gif_) EGifCloseFile(gif_, nullptr);  // frees what giflib holds; the temporary goes with file_
        if (spill_ >= 0) ::close(spill_);
    }
    GifWriter(const GifWriter&) = delete;
    GifWriter& operator=(const GifWriter&) = delete;

    SaveResult Open() {
        if (!file_.Created()) return file_.Created();
        if (options_.width > 65535 || options_.height > 65535)
            return {false, "Cannot create file " + path_, "a GIF is at most 65535 pixels wide and high"};
        const std::string& temporary = file_.TemporaryName();
        const std::size_t slash = temporary.rfind('/');
        errno = 0;
        spill_ = OpenSpill(slash == std::string::npos ? "." : slash == 0 ? "/" : temporary.substr(0, slash));
        if (spill_ < 0) return {false, "Cannot create file " + path_, std::strerror(errno)};
        previous_.resize(RowBytes() * std::size_t(options_.height));
        return {};
    }

    SaveResult Add(const TWin& frame) override {
        if (SaveResult size = CheckFrameSize(frame, options_); !size) return size;
        const Area area = ChangedArea(frame);
        const std::size_t areaRow = 3 * std::size_t(area.width);
        // The rows go to the spill through a small buffer, so a frame is never
        // held twice.
        pixels_.clear();
        errno = 0;
        for (std::int32_t y = 0; y < area.height; ++y) {
            const std::uint8_t* row = frame.PixelAddress(area.left, area.top + y);
            std::memcpy(PreviousAt(area.left, area.top + y), row, areaRow);
            if (colours_.Fit()) colours_.Add(row, std::size_t(area.width));
            if (pixels_.size() + areaRow > kSpillBuffer && !SpillWaiting()) return files::StreamWriteError();
            pixels_.insert(pixels_.end(), row, row + areaRow);
        }
        if (!SpillWaiting()) return files::StreamWriteError();
        frames_.push_back({area, spillEnd_});
        spillEnd_ += static_cast<off_t>(areaRow * std::size_t(area.height));
        return {};
    }

    SaveResult Finish() override {
        if (frames_.empty()) return {false, "Stream write error", "no frames"};
        std::vector<std::uint8_t>().swap(previous_);  // only Add compares with it
        std::vector<PaletteColour> palette;
        QuantizedColours quantized;
        if (colours_.Fit()) {
            palette = colours_.MakePalette();
        } else {
            for (const SpilledFrame& frame : frames_)
                for (std::int32_t top = 0; top < frame.area.height; top += BandRows(frame.area)) {
                    const std::int32_t rows = std::min(BandRows(frame.area), frame.area.height - top);
                    if (SaveResult read = ReadBack(frame, top, rows); !read) return read;
                    if (!quantized.AddToHistogram(pixels_.data(), frame.area.width, rows))
                        return {false, "Stream write error", quantized.Error()};
                }
            if (!quantized.Quantize(options_.dither, palette)) return {false, "Stream write error", quantized.Error()};
        }

        int error = 0;
        gif_ = EGifOpen(this, &GifWriter::Output, &error);
        if (!gif_) return {false, "Stream write error", GifErrorString(error)};
        if (!PutHeader(palette)) return GifFailure();
        for (std::size_t i = 0; i < frames_.size(); ++i) {
            const Area& area = frames_[i].area;
            GraphicsControlBlock control{};
            control.DisposalMode = DISPOSE_DO_NOT;
            control.DelayTime = Hundredths(std::int64_t(i) + 1, options_.fps) - Hundredths(std::int64_t(i), options_.fps);
            control.TransparentColor = NO_TRANSPARENT_COLOR;
            GifByteType extension[4];
            EGifGCBToExtension(&control, extension);
            if (EGifPutExtension(gif_, GRAPHICS_EXT_FUNC_CODE, 4, extension) != GIF_OK ||
                EGifPutImageDesc(gif_, area.left, area.top, area.width, area.height, false, nullptr) != GIF_OK)
                return GifFailure();
            // Dithering carries each pixel's error to the rows below, so it maps the
            // frame whole; without it every pixel maps alone and a band at a time will do.
            const std::int32_t band = !colours_.Fit() && options_.dither ? area.height : BandRows(area);
            for (std::int32_t top = 0; top < area.height; top += band) {
                const std::int32_t rows = std::min(band, area.height - top);
                if (SaveResult read = ReadBack(frames_[i], top, rows); !read) return read;
                const std::size_t count = std::size_t(area.width) * std::size_t(rows);
                indices_.resize(count);
                if (colours_.Fit())
                    colours_.Map(pixels_.data(), count, indices_.data());
                else if (!quantized.Remap(pixels_.data(), area.width, rows, indices_.data()))
                    return {false, "Stream write error", quantized.Error()};
                if (EGifPutLine(gif_, indices_.data(), static_cast<int>(count)) != GIF_OK) return GifFailure();
            }
        }
        GifFileType* gif = gif_;
        gif_ = nullptr;
        if (EGifCloseFile(gif, &error) != GIF_OK) return GifFailure(error);
        if (!Flush()) return GifFailure();
        return file_.Commit();
    }

private:
    std::size_t RowBytes() const { return 3 * std::size_t(options_.width); }
    std::uint8_t* PreviousAt(std::int32_t x, std::int32_t y) {
        return previous_.data() + RowBytes() * std::size_t(y) + 3 * std::size_t(x);
    }

    // The smallest rectangle holding every pixel that differs from the previous
    // frame: the whole first frame, one pixel for a frame that repeats the last.
    Area ChangedArea(const TWin& frame) {
        const std::int32_t width = options_.width, height = options_.height;
        if (frames_.empty()) return {0, 0, width, height};
        const auto changed = [&](std::int32_t y) {
            return std::memcmp(frame.PixelAddress(0, y), PreviousAt(0, y), RowBytes()) != 0;
        };
        std::int32_t top = 0, bottom = height - 1;
        while (top < height && !changed(top)) ++top;
        if (top == height) return {0, 0, 1, 1};
        while (!changed(bottom)) --bottom;
        std::int32_t left = width, right = -1;
        for (std::int32_t y = top; y <= bottom; ++y) {
            const std::uint8_t* row = frame.PixelAddress(0, y);
            const std::uint8_t* before = PreviousAt(0, y);
            for (std::int32_t x = 0; x < left; ++x)
                if (!SamePixel(row + 3 * x, before + 3 * x)) left = x;
            for (std::int32_t x = width - 1; x > right; --x)
                if (!SamePixel(row + 3 * x, before + 3 * x)) right = x;
        }
        return {left, top, right - left + 1, bottom - top + 1};
    }

    bool SpillWaiting() {
        const bool written = files::WriteAll(spill_, pixels_.data(), pixels_.size());
        pixels_.clear();
        return written;
    }

    // Rows of a frame's area worked on together after the spill: the palette's
    // library holds four floats a pixel of what it is given.
    static std::int32_t BandRows(const Area& area) {
        return static_cast<std::int32_t>(std::max<std::size_t>(1, kBandPixels / std::size_t(area.width)));
    }

    // Rows first..first + rows - 1 of a spilled frame's area.
    SaveResult ReadBack(const SpilledFrame& frame, std::int32_t first, std::int32_t rows) {
        const std::size_t rowBytes = 3 * std::size_t(frame.area.width);
        pixels_.resize(rowBytes * std::size_t(rows));
        errno = 0;
        if (!ReadAt(spill_, pixels_.data(), pixels_.size(), frame.offset + static_cast<off_t>(rowBytes * std::size_t(first))))
            return files::StreamWriteError();
        return {};
    }

    bool PutHeader(const std::vector<PaletteColour>& palette) {
        int bits = 1;
        while ((std::size_t(1) << bits) < palette.size()) ++bits;
        std::vector<GifColorType> colours(std::size_t(1) << bits, GifColorType{0, 0, 0});
        for (std::size_t i = 0; i < palette.size(); ++i)
            colours[i] = GifColorType{palette[i].red, palette[i].green, palette[i].blue};
        ColorMapObject* map = GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
        if (!map) return false;
        EGifSetGifVersion(gif_, true);
        const bool described = EGifPutScreenDesc(gif_, options_.width, options_.height, 8, 0, map) == GIF_OK;
        GifFreeMapObject(map);
        if (!described) return false;
        // The loop count is the plays after the first; a GIF shown once has none.
        if (options_.loop == 1) return true;
        const int repeats = options_.loop == 0 ? 0 : std::min(options_.loop - 1, 65535);
        const GifByteType loop[3] = {1, static_cast<GifByteType>(repeats & 0xff), static_cast<GifByteType>(repeats >> 8)};
        return EGifPutExtensionLeader(gif_, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
               EGifPutExtensionBlock(gif_, 11, "NETSCAPE2.0") == GIF_OK &&
               EGifPutExtensionBlock(gif_, 3, loop) == GIF_OK && EGifPutExtensionTrailer(gif_) == GIF_OK;
    }

    // giflib writes in pieces of at most 255 bytes: gather them into larger writes.
    static int Output(GifFileType* gif, const GifByteType* data, int length) {
        auto* writer = static_cast<GifWriter*>(gif->UserData);
        writer->output_.insert(writer->output_.end(), data, data + length);
        if (writer->output_.size() >= (1u << 16) && !writer->Flush()) return 0;
        return length;
    }
    bool Flush() {
        errno = 0;
        if (!files::WriteAll(file_.Descriptor(), output_.data(), output_.size())) {
            writeError_ = errno ? errno : EIO;
            return false;
        }
        output_.clear();
        return true;
    }

    SaveResult GifFailure(int error = 0) {
        if (writeError_) return {false, "Stream write error", std::strerror(writeError_)};
        if (error == 0 && gif_) error = gif_->Error;
        return {false, "Stream write error", GifErrorString(error) ? GifErrorString(error) : "giflib failed"};
    }

    std::string path_;
    files::ReplacementFile file_;
    AnimationOptions options_;
    int spill_ = -1;
    off_t spillEnd_ = 0;
    std::vector<SpilledFrame> frames_;
    std::vector<std::uint8_t> previous_;  // the last frame, rows packed
    std::vector<std::uint8_t> pixels_;    // rows on their way to the spill, or one frame's area read back
    std::vector<std::uint8_t> indices_;
    std::vector<std::uint8_t> output_;
    ExactColours colours_;
    GifFileType* gif_ = nullptr;  // open only inside Finish
    int writeError_ = 0;
};

}  // namespace

std::unique_ptr<AnimationWriter> OpenGif(const std::string& path, const AnimationOptions& options,
                                         SaveResult& failure) {
    auto writer = std::make_unique<GifWriter>(path, options);
    failure = writer->Open();
    if (!failure) return nullptr;
    return writer;
}

}  // namespace motion::writers
