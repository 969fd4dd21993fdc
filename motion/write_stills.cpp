// Numbered stills: each frame saved as an image of its own, named by the pattern's
// %d field with the frame's number (from 0, as the sweep counts its frames).
#include <unistd.h>

#include "files/replacement_file.h"
#include "image_io/image_file.h"
#include "motion/writers.h"

namespace motion::writers {
namespace {

class StillsWriter final : public AnimationWriter {
public:
    StillsWriter(const std::string& pattern, const AnimationOptions& options) : pattern_(pattern), options_(options) {}

    // Every still is saved atomically on its own; the set is complete only when
    // Finish is reached, so an unfinished set is taken away again.
    ~StillsWriter() override {
        if (!finished_)
            for (const std::string& name : written_) ::unlink(name.c_str());
    }

    SaveResult Add(const TWin& frame) override {
        if (SaveResult size = CheckFrameSize(frame, options_); !size) return size;
        const std::string name = NumberedName(pattern_, next_);
        const SaveResult saved =
            image_io::SaveImageFile(frame, name, options_.quality ? options_.quality : image_io::kDefaultQuality);
        if (!saved) return saved;
        written_.push_back(name);
        ++next_;
        return {};
    }

    SaveResult Finish() override {
        finished_ = true;
        return {};
    }

private:
    std::string pattern_;
    AnimationOptions options_;
    std::int32_t next_ = 0;
    std::vector<std::string> written_;
    bool finished_ = false;
};

}  // namespace

std::unique_ptr<AnimationWriter> OpenStills(const std::string& pattern, const AnimationOptions& options,
                                            SaveResult& failure) {
    // A missing or read-only folder is found now, before any frame is rendered, the
    // way the first still's own save would find it.
    const std::string first = NumberedName(pattern, 0);
    const files::ReplacementFile probe(first);
    if (!probe.Created()) {
        failure = probe.Created();
        return nullptr;
    }
    return std::make_unique<StillsWriter>(pattern, options);
}

}  // namespace motion::writers
