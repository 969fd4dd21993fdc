#include "app/picture.h"

#include <cstring>
#include <utility>

#include "motion/video_input.h"
#include "platform/qt/file_names.h"

namespace {

std::function<void()>& RenderObserver() {
    static std::function<void()> observer;
    return observer;
}

}  // namespace

void SetRenderObserverForTesting(std::function<void()> observer) { RenderObserver() = std::move(observer); }

Picture::Picture(QObject* parent) : QObject(parent) {}

Picture::~Picture() = default;

void Picture::Create(const QString& fileName) {
    CurrentFileName = fileName;
    SourceRaster = std::make_unique<TWin>(32, 32);
    WorkRaster = std::make_unique<TWin>(32, 32);
    rendered_.reset();
}

void Picture::Free() {
    rendered_.reset();
    WorkRaster.reset();
    SourceRaster.reset();
}

void Picture::Read(const QString& fileName, Loaded& image) {
    // Both images are read before either raster changes: a file that fails to load
    // must not leave the image on screen without its source, or the next render
    // would turn it black and Save would write that.
    const std::string path = platform::NativePath(fileName);
    if (motion::LooksLikeVideo(path)) {
        // A video opens as its upright first frame: the look is tuned on it.
        TWin frame(0, 0);
        motion::ReadFirstFrame(path, frame);
        TWin copy(frame.Width(), frame.Height());
        if (!copy.HasPixels()) throw LoadError(kOutOfMemoryError);
        std::memcpy(copy.Bits, frame.Bits, static_cast<std::size_t>(frame.Stride) * frame.Height());
        image.source.Swap(frame);
        image.work.Swap(copy);
        return;
    }
    image_io::LoadImageFile(path, image.source, &image.work);
}

void Picture::Take(Loaded& image, const QString& sourceFile) {
    if (!SourceRaster) SourceRaster = std::make_unique<TWin>(0, 0);
    if (!WorkRaster) WorkRaster = std::make_unique<TWin>(0, 0);
    SourceRaster->Swap(image.source);
    WorkRaster->Swap(image.work);
    rendered_.reset();
    SourceFileName = sourceFile;
    if (View) View->Forget();
    hasImage_ = true;
    // The first render uses the settings in force, and that is what was opened.
    cleanSettings_ = settings_;
}

void Picture::Render(const RenderSettings& settings) {
    settings_ = settings;
    if (!WorkRaster || !SourceRaster) return;
    const platform::gdi::Surface rows = WorkRaster->DC.Pixels();
    // Taken first: a render cut short leaves the raster holding no render.
    const std::optional<RenderSettings> held = std::exchange(rendered_, std::nullopt);
    const RenderSettings* holding = held ? &*held : nullptr;
    const bool viewFollows = View && View->Begin(rows);
    RenderPipeline(*WorkRaster, *SourceRaster, settings_, {},
                   viewFollows ? RowsRendered([this, &rows](int first, int last) { View->Rows(rows, first, last); })
                               : RowsRendered(),
                   holding);
    if (viewFollows) View->Finish(rows);
    rendered_ = settings_;
    if (RenderObserver()) RenderObserver()();
    emit Changed();
}

SaveResult Picture::Save() {
    // The name's extension chooses the format: saving over an opened JPEG writes a JPEG.
    const SaveResult result = image_io::SaveImageFile(*WorkRaster, platform::NativePath(CurrentFileName));
    if (result) {
        cleanSettings_ = settings_;
        emit Saved(CurrentFileName);
    }
    return result;
}
