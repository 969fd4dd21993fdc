#include "cli/options.h"

#include <algorithm>
#include <array>
#include <filesystem>

#include "cli/settings_file.h"
#include "image_io/image_file.h"
#include "motion/animation_writer.h"
#include "motion/video_input.h"
#include "settings/whole_number.h"

namespace {

const char* const kUsageBeforeSettings =
    "Usage: lumarq-render [OPTIONS] INPUT... -o OUTPUT\n"
    "Renders images as the Lumarq control panel does, without a display.\n"
    "Inputs may be BMP, PNG, JPEG, GIF, WebP, TIFF, PPM/PGM, HEIC/HEIF, AVIF or JPEG XL files,\n"
    "recognised by their content. A video (MP4, MOV, MKV, WebM, ...) goes through frame by frame,\n"
    "upright, with its timing and sound, into a video, animation or numbered stills; ranges\n"
    "spread over its frames without --frames; a still output takes its first frame.\n"
    "\n"
    "Options:\n";
const char* const kUsageAfterSettings =
    "  FROM:TO        any of the eight as a range, each end within its own (--x 0:-600,\n"
    "                 --angle 0:360, --red 255:0): with --frames it sweeps over the frames,\n"
    "                 frame i of N at FROM + (TO - FROM) * i / (N - 1), rounded half away\n"
    "                 from zero; a single number stays the same in every frame\n"
    "  --frames N     2..100000 render one input into an animation of N frames (see -o)\n"
    "  --fps N        1..120    frames a second (default 25; a .gif plays at most 50)\n"
    "  --loop N       0..65535  times an animated WebP or GIF plays (default 0: forever)\n"
    "  --scale N      1..8      enlarge every frame, or a still, N times by whole pixels\n"
    "                 (default 1); LED and grid cells under 4 pixels blur in a video\n"
    "  --dither       a GIF's one palette of 256 colours with dithering, for smooth shades\n"
    "  --keep-going   a damaged video input: write the frames before the damage\n"
    "                 (default: refuse it and write nothing)\n"
    "  --no-audio     leave a video input's sound out (default: copied as it is, or\n"
    "                 re-encoded where the output's container cannot take it)\n"
    "  --settings FILE   start from a settings file saved by the windows; the options\n"
    "                    above override it\n"
    "  --print-settings  print the settings in use as a settings file, and stop\n"
    "  --convert      load and save again, no render (any readable image to the output's format)\n"
    "  --repeat N     render N times and print on stderr one line:\n"
    "                 \"render_ms median=M min=L max=H n=N\" (milliseconds, 3 decimals)\n"
    "  --threads N    threads for each render, 1..256 (default: LUMARQ_THREADS, else every core)\n"
    "  -j, --jobs N   inputs worked on at once, 1..256 (default: the core count); messages\n"
    "                 still come whole and in input order\n"
    "  -o, --output   output file for one input; an existing directory for several inputs\n"
    "                 (each written under its input's file name); - writes standard output\n"
    "                 (with --format). An input - reads standard input (the only input).\n"
    "                 The output's extension chooses its format, in any letter case: .bmp,\n"
    "                 .png, .jpg or .jpeg, .webp, .tif or .tiff, .avif, .jxl; any other or\n"
    "                 none writes a 24-bit BMP. With --frames: .webp (animated, lossless\n"
    "                 unless --quality), .gif, .mp4, .mov, .webm or .mkv (video), or a name with\n"
    "                 a %d field (frames/%04d.png), one numbered still a frame.\n"
    "  --format F     bmp, png, jpg, webp, tiff, avif or jxl (for video inputs also mp4, mov,\n"
    "                 mkv, webm, gif): outputs written into a directory take\n"
    "                 this extension in place of their input's; the format of -o -\n"
    "  --quality N    1..100    JPEG, WebP, AVIF and JPEG XL quality (default 92; JPEG XL is\n"
    "                 lossless at 100); other formats ignore it\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Each failure is one line on stderr, \"lumarq-render: FILE: message (reason)\", FILE being\n"
    "the output when writing failed; names show as ls --quoting-style=shell-escape shows them.\n"
    "Several inputs end with one line \"N written, M failed\", and show a progress bar while\n"
    "stderr is a terminal.\n"
    "\n"
    "Exit status: 0 when every input was written, 1 when any input failed, 2 for a usage error;\n"
    "an animation stopped by Ctrl+C (SIGINT) or SIGTERM leaves nothing behind and exits\n"
    "with 128 and the signal's number (130 for Ctrl+C).\n";

// "  --pattern N    0..65     (default 13)": the option, its range and its default in
// columns, the range column as wide as the longer options' text needs.
std::string SettingUsage(const SettingDescription& setting) {
    constexpr std::size_t kOptionColumn = 15;
    constexpr std::size_t kRangeColumn = 10;
    std::string option = std::string(setting.option) + " N";
    option.resize(std::max(kOptionColumn, option.size() + 1), ' ');
    std::string range = RangeText(setting.minimum, setting.maximum);
    range.resize(std::max(kRangeColumn, range.size() + 1), ' ');
    return "  " + option + range + "(default " + std::to_string(setting.initial) + ")\n";
}

struct IntegerOption {
    const char* name;
    std::int32_t min;
    std::int32_t max;
    std::int32_t* target;
    bool isRenderSetting;
};

std::string Range(const IntegerOption& option) { return RangeText(option.min, option.max); }

constexpr std::size_t kOtherIntegerOptions = 8;

// The options that take a whole number, and where each one goes: the eight render
// settings first, as the table gives them.
std::array<IntegerOption, kSettings.size() + kOtherIntegerOptions> IntegerOptionsOf(RenderOptions& o) {
    std::array<IntegerOption, kSettings.size() + kOtherIntegerOptions> options{};
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
        const SettingDescription& setting = kSettings[i];
        options[i] = {setting.option, setting.minimum, setting.maximum, &(o.settings.*setting.member), true};
    }
    const std::array<IntegerOption, kOtherIntegerOptions> others = {{
        {"--repeat", 1, 1000000, &o.repeat, false},
        {"--quality", 1, 100, &o.quality, false},
        {"--threads", 1, 256, &o.threads, false},
        {"--jobs", 1, 256, &o.jobs, false},
        {"--frames", 2, 100000, &o.frames, false},
        {"--fps", 1, 120, &o.fps, false},
        {"--loop", 0, 65535, &o.loop, false},
        {"--scale", 1, 8, &o.scale, false},
    }};
    std::copy(others.begin(), others.end(), options.begin() + kSettings.size());
    return options;
}

// Stores a whole number within the option's range; otherwise says what is wrong.
std::optional<std::string> ReadInteger(const IntegerOption& option, const std::string& name, const std::string& text) {
    std::string error;
    const std::optional<std::int32_t> number = ParseWholeNumber(text, option.min, option.max, error, {.plusSign = true});
    if (!number) return name + ": " + error;
    *option.target = *number;
    return std::nullopt;
}

// A setting's FROM:TO, each end read as a single value is; FROM goes to the
// option's target and TO to `to`.
std::optional<std::string> ReadRange(const IntegerOption& option, std::int32_t& to, const std::string& name,
                                     const std::string& text, std::size_t colon) {
    if (auto error = ReadInteger(option, name, text.substr(0, colon))) return error;
    return ReadInteger({option.name, option.min, option.max, &to, true}, name, text.substr(colon + 1));
}

bool IsMotionFormat(const std::string& format) {
    return format == "mp4" || format == "mov" || format == "mkv" || format == "webm" || format == "gif";
}

// The animation options that make sense only with --frames, and the rules an
// output kind sets.
// A video input: ranges spread over its own frames, into an animation output.
std::optional<std::string> CheckVideoInput(const RenderOptions& o, bool ranged) {
    if (o.frames > 0) return "--frames sweeps a still; a video input has frames of its own: give the ranges without --frames";
    if (o.convert) return "--convert converts images; " + o.inputs.front() + " is a video";
    if (o.output.empty()) return std::nullopt;  // said below
    if (o.animationOnly == "--fps") return "--fps: a video input keeps its own frame rate";
    std::error_code ignored;
    const bool intoDirectory = o.output != "-" && std::filesystem::is_directory(o.output, ignored);
    const std::string target = intoDirectory ? std::filesystem::path(o.inputs.front()).filename().string() : o.output;
    const std::string named = intoDirectory && !o.format.empty() ? "x." + o.format : target;
    if (o.output != "-" && motion::OutputKindFor(named) != motion::OutputKind::Still) return std::nullopt;
    const std::string option = ranged ? "a range" : !o.animationOnly.empty() ? o.animationOnly : o.videoOnly;
    if (!ranged && option.empty()) return std::nullopt;
    return option + " needs an animation output: a still from a video is its first frame";
}

std::optional<std::string> CheckAnimation(const RenderOptions& o) {
    const auto ranged = std::find(o.ranged.begin(), o.ranged.end(), true);
    if (o.videoInput) return CheckVideoInput(o, ranged != o.ranged.end());
    if (!o.videoOnly.empty()) return o.videoOnly + " works on a video input";
    if (IsMotionFormat(o.format)) return "--format " + o.format + " writes animations from video inputs, and the inputs are not all videos";
    if (o.frames == 0) {
        if (ranged != o.ranged.end()) {
            const SettingDescription& setting = kSettings[static_cast<std::size_t>(ranged - o.ranged.begin())];
            const std::int32_t from = o.settings.*setting.member, to = o.to.*setting.member;
            if (!o.givenOptions.count(setting.option))
                return o.settingsFile + ": \"" + setting.key + "\" is a range [" + std::to_string(from) + ", " +
                       std::to_string(to) + "]: it needs --frames N (the frames to sweep it over), or " + setting.option +
                       " with one value";
            return std::string(setting.option) + " " + std::to_string(from) + ":" + std::to_string(to) +
                   " is a range: it needs --frames N (the frames to sweep it over)";
        }
        if (!o.animationOnly.empty()) return o.animationOnly + " shapes an animation: it needs --frames N";
        return std::nullopt;
    }
    if (o.convert) return "--frames renders an animation; --convert renders nothing";
    if (o.repeat > 0) return "--repeat times the render of a still; it cannot be used with --frames";
    if (o.inputs.size() > 1) return "--frames renders one input into one animation, not several inputs";
    if (o.output == "-") return "--frames writes an animation to a file; -o - cannot hold one";
    if (o.inputs.empty() || o.output.empty()) return std::nullopt;  // said below
    std::error_code ignored;
    if (std::filesystem::is_directory(o.output, ignored))
        return "--frames writes one animation: -o names a file, not the directory '" + o.output + "'";
    const motion::OutputKind kind = motion::OutputKindFor(o.output);
    if (kind == motion::OutputKind::Still)
        return "--frames needs an output that holds an animation: '" + o.output +
               "' does not (use .webp, .gif, .mp4, .mov, .webm, .mkv, or a name with a %d field such as frames/%04d.png)";
    if (kind == motion::OutputKind::Gif && o.fps > 50)
        return "--fps " + std::to_string(o.fps) +
               ": GIF frame delays are in hundredths of a second: a .gif plays at most 50 frames a second";
    return std::nullopt;
}

}  // namespace

std::string RenderUsage() {
    std::string usage = kUsageBeforeSettings;
    for (const SettingDescription& setting : kSettings) usage += SettingUsage(setting);
    return usage + kUsageAfterSettings;
}

ParseResult ParseRenderOptions(const std::vector<std::string>& arguments) {
    ParseResult result;
    RenderOptions& o = result.options;
    const auto integers = IntegerOptionsOf(o);
    auto fail = [&](std::string message) {
        result.error = std::move(message);
        return result;
    };

    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (optionsEnded || word.empty() || word[0] != '-' || word == "-") {
            o.inputs.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        // "--name=value" and "--name value" are both accepted, and -j as "-j N" or "-jN".
        std::string name = word == "-j" ? "--jobs" : word;
        std::optional<std::string> value;
        if (word.size() > 2 && word.rfind("-j", 0) == 0 && word[2] != '-') name = "--jobs", value = word.substr(2);
        if (const auto equals = word.find('='); word.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = word.substr(0, equals);
            value = word.substr(equals + 1);
        }
        auto takeValue = [&]() -> std::optional<std::string> {
            if (value) return value;
            if (i + 1 < arguments.size()) return arguments[++i];
            return std::nullopt;
        };

        if (name == "-h" || name == "--help") {
            o.help = true;
        } else if (name == "--version") {
            o.version = true;
        } else if (name == "--convert") {
            o.convert = true;
        } else if (name == "--dither") {
            o.dither = true;
            o.animationOnly = name;
        } else if (name == "--keep-going") {
            o.keepGoing = true;
            o.videoOnly = name;
        } else if (name == "--no-audio") {
            o.noAudio = true;
            o.videoOnly = name;
        } else if (name == "--print-settings") {
            o.printSettings = true;
        } else if (name == "--settings") {
            const auto path = takeValue();
            if (!path || path->empty()) return fail(name + " needs a file name");
            if (!o.settingsFile.empty()) return fail(name + " is given twice");
            o.settingsFile = *path;
            o.renderOptionGiven = true;
        } else if (name == "-o" || name == "--output") {
            const auto path = takeValue();
            if (!path || path->empty()) return fail(name + " needs a file or directory name");
            if (!o.output.empty()) return fail(name + " is given twice");
            o.output = *path;
        } else if (name == "--format") {
            const auto format = takeValue();
            if (format && IsMotionFormat(*format)) {
                o.format = *format;
            } else {
                if (!format || !image_io::FormatNamed(*format))
                    return fail(name + " needs one of bmp, png, jpg, webp, tiff, avif, jxl, or for video inputs mp4, mov, mkv, webm, gif" +
                                (format ? " (not '" + *format + "')" : ""));
                o.format = image_io::Extension(*image_io::FormatNamed(*format));
            }
        } else {
            const IntegerOption* option = nullptr;
            for (const auto& candidate : integers)
                if (name == candidate.name) option = &candidate;
            if (!option) return fail("unknown option " + name + " (see --help)");
            const auto text = takeValue();
            if (!text) return fail(name + " needs a value (" + Range(*option) + ")");
            const auto setting = static_cast<std::size_t>(option - integers.data());
            const std::size_t colon = option->isRenderSetting ? text->find(':') : std::string::npos;
            if (colon != std::string::npos) {
                if (auto error = ReadRange(*option, o.to.*kSettings[setting].member, name, *text, colon))
                    return fail(std::move(*error));
            } else if (auto error = ReadInteger(*option, name, *text)) {
                return fail(std::move(*error));
            }
            if (option->isRenderSetting) o.ranged[setting] = colon != std::string::npos;
            // An enlarged copy is a render all the same: --convert takes none.
            o.renderOptionGiven = o.renderOptionGiven || option->isRenderSetting || name == "--scale";
            if (option->isRenderSetting) o.givenOptions.insert(name);
            if (name == "--fps" || name == "--loop") o.animationOnly = name;
        }
    }
    if (o.help || o.version) return result;
    if (const auto error = ApplySettingsFile(o)) return fail(*error);
    for (std::size_t i = 0; i < kSettings.size(); ++i)
        if (!o.ranged[i]) o.to.*kSettings[i].member = o.settings.*kSettings[i].member;
    if (o.printSettings) return result;
    if (o.convert && (o.renderOptionGiven || o.repeat > 0))
        return fail("--convert renders nothing: it takes no render options and no --repeat");
    // An input that is not there decides nothing: it fails as a missing file in its turn.
    std::error_code missing;
    const auto video = [](const std::string& input) { return input != "-" && motion::LooksLikeVideo(input); };
    o.videoInput = std::any_of(o.inputs.begin(), o.inputs.end(), video) &&
                   std::all_of(o.inputs.begin(), o.inputs.end(), [&](const std::string& input) {
                       return video(input) || (input != "-" && !std::filesystem::exists(input, missing));
                   });
    if (const auto error = CheckAnimation(o)) return fail(*error);
    if (o.inputs.empty()) return fail("no input file (see --help)");
    if (o.output.empty()) return fail("no output given: use -o FILE, or -o DIRECTORY for several inputs");
    // "-" stands for standard input and output: one input, and a format that no file name gives.
    if (o.output == "-" && o.format.empty()) return fail("-o - writes to standard output and needs --format to name its format");
    if (o.inputs.size() > 1 && std::count(o.inputs.begin(), o.inputs.end(), "-"))
        return fail("- reads standard input, and must be the only input");
    return result;
}
