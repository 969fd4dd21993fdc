#include "cli/settings_file.h"

#include "settings/settings_file.h"

std::optional<std::string> ApplySettingsFile(RenderOptions& options) {
    if (options.settingsFile.empty()) return std::nullopt;
    RenderSettings merged;  // what the file leaves out keeps its default
    if (const auto error = ReadSettingsFile(options.settingsFile, merged)) return options.settingsFile + ": " + *error;
    for (const SettingDescription& setting : kSettings)
        if (options.givenOptions.count(setting.option)) merged.*setting.member = options.settings.*setting.member;
    options.settings = merged;
    return std::nullopt;
}
