#include "settings/command_line.h"

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

std::string RenderCommandLine(const RenderSettings& settings, const std::string& input, const std::string& output) {
    std::string command = "lumarq-render";
    for (const SettingDescription& setting : kSettings)
        if (settings.*setting.member != setting.initial)
            command += std::string(" ") + setting.option + " " + std::to_string(settings.*setting.member);
    command += " -o " + ShellQuote(output);
    // A name that starts with a dash would otherwise be read as an option.
    if (!input.empty() && input[0] == '-') command += " --";
    return command + " " + ShellQuote(input);
}
