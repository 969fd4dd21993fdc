#include "motion/animation_writer.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "motion/writers.h"

namespace {

// Where a numbered name's one %d field sits and how it pads.
struct NumberField {
    std::size_t start = 0, length = 0;
    bool zeros = false;
    int width = 0;
};

// The name's single %d, %Nd or %0Nd field (N at most two digits); nothing when it
// has none, two, or any other use of '%' than "%%". The pattern is only ever read
// here, never handed to printf.
std::optional<NumberField> FindNumberField(std::string_view pattern) {
    std::optional<NumberField> found;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') continue;
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            ++i;
            continue;
        }
        NumberField field{i};
        std::size_t at = i + 1;
        if (at < pattern.size() && pattern[at] == '0') {
            field.zeros = true;
            ++at;
        }
        for (int digits = 0; at < pattern.size() && pattern[at] >= '0' && pattern[at] <= '9'; ++at, ++digits) {
            if (digits == 2) return std::nullopt;
            field.width = field.width * 10 + (pattern[at] - '0');
        }
        if (found || at >= pattern.size() || pattern[at] != 'd') return std::nullopt;
        field.length = at + 1 - i;
        found = field;
        i = at;
    }
    return found;
}

// Text outside the field, with "%%" read as one '%'.
void AppendLiteral(std::string& name, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        name += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
    }
}

std::string LowerExtension(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = base.rfind('.');
    if (dot == std::string_view::npos) return {};
    std::string extension(base.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    return extension;
}

}  // namespace

namespace motion {

OutputKind OutputKindFor(std::string_view path) {
    if (FindNumberField(path)) return OutputKind::NumberedStills;
    const std::string extension = LowerExtension(path);
    if (extension == "webp") return OutputKind::WebP;
    if (extension == "gif") return OutputKind::Gif;
    if (extension == "mp4" || extension == "webm" || extension == "mkv" || extension == "mov") return OutputKind::Video;
    return OutputKind::Still;
}

std::string NumberedName(const std::string& pattern, std::int32_t frame) {
    const std::optional<NumberField> field = FindNumberField(pattern);
    if (!field) return pattern;
    const bool negative = frame < 0;
    std::string digits = std::to_string(std::llabs(static_cast<long long>(frame)));
    const std::size_t width = static_cast<std::size_t>(field->width);
    if (field->zeros && digits.size() + negative < width) digits.insert(0, width - digits.size() - negative, '0');
    if (negative) digits.insert(0, 1, '-');
    if (digits.size() < width) digits.insert(0, width - digits.size(), ' ');
    std::string name;
    const std::string_view text(pattern);
    AppendLiteral(name, text.substr(0, field->start));
    name += digits;
    AppendLiteral(name, text.substr(field->start + field->length));
    return name;
}

std::unique_ptr<AnimationWriter> OpenAnimation(const std::string& path, const AnimationOptions& options,
                                               SaveResult& failure, std::vector<std::string>& notes) {
    const OutputKind kind = OutputKindFor(path);
    if (kind == OutputKind::Still) {
        const std::string extension = LowerExtension(path);
        failure = {false, (extension.empty() ? std::string("A file without an extension")
                                             : "A ." + extension + " file") +
                              " cannot hold an animation: name a .webp, .gif, .mp4, .mov, .webm or .mkv file, or "
                              "numbered stills such as frames/%04d.png"};
        return nullptr;
    }
    if (options.width <= 0 || options.height <= 0 || options.fps < 1 || options.fps > 120 || options.loop < 0 ||
        options.quality < 0 || options.quality > 100) {
        failure = {false, "Cannot create file " + path, "the animation's size, rate, loop or quality is out of range"};
        return nullptr;
    }
    switch (kind) {
        case OutputKind::WebP: return writers::OpenWebP(path, options, failure);
        case OutputKind::Gif:
            if (options.fps > 50) {
                failure = {false, "GIF frame delays are in hundredths of a second: --fps can be at most 50 for a GIF"};
                return nullptr;
            }
            return writers::OpenGif(path, options, failure);
        case OutputKind::Video: return writers::OpenVideo(path, options, failure, notes);
        case OutputKind::NumberedStills: return writers::OpenStills(path, options, failure);
        case OutputKind::Still: break;
    }
    return nullptr;
}

SaveResult writers::CheckFrameSize(const TWin& frame, const AnimationOptions& options) {
    if (frame.HasPixels() && frame.Width() == options.width && frame.Height() == options.height) return {};
    return {false, "Stream write error",
            "a frame of " + std::to_string(frame.Width()) + " x " + std::to_string(frame.Height()) +
                " in an animation of " + std::to_string(options.width) + " x " + std::to_string(options.height)};
}

}  // namespace motion
