// The eight render settings as a small JSON file ({"lumarq": 1, "pattern": 33,
// ...}), read and written the same way by the windows and by lumarq-render.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "files/atomic_file.h"
#include "settings/render_settings.h"

// What a file gives one setting. One value today; the shape leaves room for a
// setting that moves from one value to another.
struct SettingValue {
    std::int32_t value = 0;
};

// What a file names, in kSettings' order; nothing for a setting it leaves out.
using SettingValues = std::array<std::optional<SettingValue>, kSettings.size()>;

// The file's text: every setting on one line, in slider order.
std::string SettingsJson(const RenderSettings& settings);

// Reads a settings file's text into `values`, each checked against its range.
// Keys the program does not know are skipped. On any error `values` is left
// untouched and the reason comes back.
std::optional<std::string> ParseSettingsJson(std::string_view text, SettingValues& values);

// Reads a settings file's text. Each setting the text names is set in `settings`;
// the others keep their values, and `present` (when given) tells which were named,
// in kSettings' order. On any error `settings` is left untouched and the reason
// comes back.
std::optional<std::string> ReadSettingsJson(std::string_view text, RenderSettings& settings,
                                            std::array<bool, 8>* present = nullptr);

// The same for a file on disk; a file that cannot be read says so.
std::optional<std::string> ReadSettingsFile(const std::string& path, RenderSettings& settings,
                                            std::array<bool, 8>* present = nullptr);

// Writes the file whole or not at all.
SaveResult WriteSettingsFile(const std::string& path, const RenderSettings& settings);
