#include "cli/options.h"

#include <algorithm>
#include <array>

#include "cli/settings_file.h"
#include "image_io/image_file.h"
#include "settings/whole_number.h"

namespace {

const char* const kUsageBeforeSettings =
    "Usage: lumarq-render [OPTIONS] INPUT... -o OUTPUT\n"
    "Renders images as the Lumarq control panel does, without a display.\n"
    "Inputs may be BMP, PNG, JPEG, GIF, WebP, TIFF, PPM/PGM, HEIC/HEIF, AVIF or JPEG XL files,\n"
    "recognised by their content.\n"
    "\n"
    "Options:\n";
const char* const kUsageAfterSettings =
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
    "                 none writes a 24-bit BMP.\n"
    "  --format F     bmp, png, jpg, webp, tiff, avif or jxl: outputs written into a directory take\n"
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
    "Exit status: 0 when every input was written, 1 when any input failed, 2 for a usage error.\n";

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

constexpr std::size_t kOtherIntegerOptions = 4;

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
    // "-" stands for standard input and output: one input, and a format that no file name gives.
    if (o.output == "-" && o.format.empty()) return fail("-o - writes to standard output and needs --format to name its format");
    if (o.inputs.size() > 1 && std::count(o.inputs.begin(), o.inputs.end(), "-"))
        return fail("- reads standard input, and must be the only input");
    return result;
}
