// Numbered stills only, until the animation writers arrive from their branch;
// this file goes when they do.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "image_io/image_file.h"
#include "motion/animation_writer.h"

namespace motion {

namespace {

class NumberedStills : public AnimationWriter {
public:
    explicit NumberedStills(std::string pattern) : pattern_(std::move(pattern)) {}
    ~NumberedStills() override {
        if (!finished_)
            for (const std::string& name : written_) std::filesystem::remove(name);
    }
    SaveResult Add(const TWin& frame) override {
        written_.push_back(NumberedName(pattern_, static_cast<std::int32_t>(written_.size())));
        return image_io::SaveImageFile(frame, written_.back());
    }
    SaveResult Finish() override {
        finished_ = true;
        return {};
    }

private:
    std::string pattern_;
    std::vector<std::string> written_;
    bool finished_ = false;
};

}  // namespace

OutputKind OutputKindFor(std::string_view path) {
    if (path.find("%d") != std::string_view::npos || path.find("%0") != std::string_view::npos)
        return OutputKind::NumberedStills;
    std::string extension(path.substr(std::min(path.size(), path.rfind('.') + 1)));
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
    if (extension == "webp") return OutputKind::WebP;
    if (extension == "gif") return OutputKind::Gif;
    if (extension == "mp4" || extension == "webm" || extension == "mkv") return OutputKind::Video;
    return OutputKind::Still;
}

std::unique_ptr<AnimationWriter> OpenAnimation(const std::string& path, const AnimationOptions&, SaveResult& failure,
                                               std::vector<std::string>&) {
    if (OutputKindFor(path) == OutputKind::NumberedStills) return std::make_unique<NumberedStills>(path);
    failure = {false, "Cannot create file " + path, "not written yet"};
    return nullptr;
}

std::string NumberedName(const std::string& pattern, std::int32_t frame) {
    char name[4096];
    std::snprintf(name, sizeof name, pattern.c_str(), frame);
    return name;
}

}  // namespace motion
