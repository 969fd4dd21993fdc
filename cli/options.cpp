#include "cli/options.h"

#include <array>
#include <charconv>

#include "cli/settings_file.h"
#include "image_io/image_file.h"

const char* const kRenderUsage =
    "Usage: lumarq-render [OPTIONS] INPUT... -o OUTPUT\n"
    "Renders images as the Lumarq control panel does, without a display.\n"
    "Inputs may be BMP, PNG, JPEG, GIF, WebP, TIFF, PPM/PGM, HEIC/HEIF, AVIF or JPEG XL files,\n"
    "recognised by their content.\n"
    "\n"
    "Options:\n"
    "  --pattern N    0..65     (default 13)\n"
    "  --detector N   0..255    (default 160)\n"
    "  --red N        0..255    (default 255)\n"
    "  --green N      0..255    (default 0)\n"
    "  --blue N       0..255    (default 0)\n"
    "  --x N          -1500..1500 (default 0)\n"
    "  --y N          -1500..1500 (default 0)\n"
    "  --angle N      0..360    (default 0)\n"
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
    "                 (each written under its input's file name)\n"
    "                 The output's extension chooses its format, in any letter case: .bmp,\n"
    "                 .png, .jpg or .jpeg, .webp, .tif or .tiff, .avif, .jxl; any other or\n"
    "                 none writes a 24-bit BMP.\n"
    "  --format F     bmp, png, jpg, webp, tiff, avif or jxl: outputs written into a directory take\n"
    "                 this extension in place of their input's\n"
    "  --quality N    1..100    JPEG, WebP, AVIF and JPEG XL quality (default 92; JPEG XL is\n"
    "                 lossless at 100); other formats ignore it\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Exit status: 0 when every input was written, 1 when any input failed, 2 for a usage error.\n";

namespace {

struct IntegerOption {
    const char* name;
    std::int32_t min;
    std::int32_t max;
    std::int32_t* target;
    bool isRenderSetting;
};

std::string Range(const IntegerOption& option) {
    return std::to_string(option.min) + ".." + std::to_string(option.max);
}

// The options that take a whole number, and where each one goes.
std::array<IntegerOption, 12> IntegerOptionsOf(RenderOptions& o) {
    return {{
        {"--pattern", 0, 65, &o.settings.Pattern, true},
        {"--detector", 0, 255, &o.settings.Detector, true},
        {"--red", 0, 255, &o.settings.Red, true},
        {"--green", 0, 255, &o.settings.Green, true},
        {"--blue", 0, 255, &o.settings.Blue, true},
        {"--x", -1500, 1500, &o.settings.XOffset, true},
        {"--y", -1500, 1500, &o.settings.YOffset, true},
        {"--angle", 0, 360, &o.settings.Angle, true},
        {"--repeat", 1, 1000000, &o.repeat, false},
        {"--quality", 1, 100, &o.quality, false},
        {"--threads", 1, 256, &o.threads, false},
        {"--jobs", 1, 256, &o.jobs, false},
    }};
}

// Stores a whole number within the option's range; otherwise says what is wrong.
std::optional<std::string> ReadInteger(const IntegerOption& option, const std::string& name, const std::string& text) {
    long long number = 0;
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;
    const auto [stop, error] = std::from_chars(begin, end, number);
    if (text.empty() || stop != end || error == std::errc::invalid_argument)
        return name + ": '" + text + "' is not a whole number (" + Range(option) + ")";
    if (error == std::errc::result_out_of_range || number < option.min || number > option.max)
        return name + ": " + text + " is out of range (" + Range(option) + ")";
    *option.target = static_cast<std::int32_t>(number);
    return std::nullopt;
}

}  // namespace

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
            if (!format || !image_io::FormatNamed(*format))
                return fail(name + " needs one of bmp, png, jpg, webp, tiff, avif, jxl" + (format ? " (not '" + *format + "')" : ""));
            o.format = image_io::Extension(*image_io::FormatNamed(*format));
        } else {
            const IntegerOption* option = nullptr;
            for (const auto& candidate : integers)
                if (name == candidate.name) option = &candidate;
            if (!option) return fail("unknown option " + name + " (see --help)");
            const auto text = takeValue();
            if (!text) return fail(name + " needs a value (" + Range(*option) + ")");
            if (auto error = ReadInteger(*option, name, *text)) return fail(std::move(*error));
            o.renderOptionGiven = o.renderOptionGiven || option->isRenderSetting;
            if (option->isRenderSetting) o.givenOptions.insert(name);
        }
    }
    if (o.help || o.version) return result;
    if (const auto error = ApplySettingsFile(o)) return fail(*error);
    if (o.printSettings) return result;
    if (o.convert && (o.renderOptionGiven || o.repeat > 0))
        return fail("--convert renders nothing: it takes no render options and no --repeat");
    if (o.inputs.empty()) return fail("no input file (see --help)");
    if (o.output.empty()) return fail("no output given: use -o FILE, or -o DIRECTORY for several inputs");
    return result;
}
