#include "cli/settings_file.h"

#include "raster/render_settings_file.h"

std::optional<std::string> ApplySettingsFile(RenderOptions& options) {
    if (options.settingsFile.empty()) return std::nullopt;
    RenderSettings merged;  // what the file leaves out keeps its default
    if (const auto error = ReadSettingsFile(options.settingsFile, merged)) return options.settingsFile + ": " + *error;
    for (const SettingField& field : kSettingFields)
        if (options.givenOptions.count(std::string("--") + field.key))
            merged.*field.member = options.settings.*field.member;
    options.settings = merged;
    return std::nullopt;
}
