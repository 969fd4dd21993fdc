#include "cli/settings_file.h"

#include "settings/settings_file.h"

std::optional<std::string> ApplySettingsFile(RenderOptions& options) {
    if (options.settingsFile.empty()) return std::nullopt;
    SettingValues values;
    if (const auto error = ReadSettingsFile(options.settingsFile, values)) return options.settingsFile + ": " + *error;
    // What the file leaves out keeps its default; a single number on the command
    // line overrides a range as well as a value.
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
        const SettingDescription& setting = kSettings[i];
        if (options.givenOptions.count(setting.option)) continue;
        const std::int32_t value = values[i] ? values[i]->value : setting.initial;
        options.settings.*setting.member = value;
        options.to.*setting.member = values[i] ? values[i]->to.value_or(value) : value;
        options.ranged[i] = values[i] && values[i]->to.has_value();
    }
    return std::nullopt;
}
