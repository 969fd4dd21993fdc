#include "settings/command_line.h"

#include "settings/sweep.h"

std::string ShellQuote(std::string_view word) {
    std::string quoted = "'";
    for (const char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

namespace {

// " -o 'OUTPUT' 'INPUT'", with "--" before an input that looks like an option.
std::string Files(const std::string& input, const std::string& output) {
    std::string files = " -o " + ShellQuote(output);
    // A name that starts with a dash would otherwise be read as an option.
    if (!input.empty() && input[0] == '-') files += " --";
    return files + " " + ShellQuote(input);
}

}  // namespace

std::string RenderCommandLine(const RenderSettings& settings, const std::string& input, const std::string& output) {
    std::string command = "lumarq-render";
    for (const SettingDescription& setting : kSettings)
        if (settings.*setting.member != setting.initial)
            command += std::string(" ") + setting.option + " " + std::to_string(settings.*setting.member);
    return command + Files(input, output);
}

std::string SweepCommandLine(const Sweep& sweep, int fps, int loop, int scale, const std::string& input,
                             const std::string& output) {
    std::string command = "lumarq-render";
    for (const SettingDescription& setting : kSettings) {
        const std::int32_t from = sweep.from.*setting.member, to = sweep.to.*setting.member;
        if (from != to)
            command += std::string(" ") + setting.option + " " + std::to_string(from) + ":" + std::to_string(to);
        else if (from != setting.initial)
            command += std::string(" ") + setting.option + " " + std::to_string(from);
    }
    command += " --frames " + std::to_string(sweep.frames) + " --fps " + std::to_string(fps);
    if (loop != 0) command += " --loop " + std::to_string(loop);
    if (scale != 1) command += " --scale " + std::to_string(scale);
    return command + Files(input, output);
}
