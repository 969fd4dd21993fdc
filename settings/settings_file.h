// The eight render settings as a small JSON file ({"lumarq": 1, "pattern": 33,
// ...}), read and written the same way by the windows and by lumarq-render. A
// setting may also be a range, a pair [FROM, TO] ("x": [0, -1500]), which an
// animation sweeps over; how many frames it takes is lumarq-render's --frames
// or the export's own choice, never the file's.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "files/atomic_file.h"
#include "settings/render_settings.h"

// What a file gives one setting: a value, or a range from `value` to `to`.
struct SettingValue {
    std::int32_t value = 0;
    std::optional<std::int32_t> to;
};

// What a file names, in kSettings' order; nothing for a setting it leaves out.
using SettingValues = std::array<std::optional<SettingValue>, kSettings.size()>;

// The file's text: every setting on one line, in slider order.
std::string SettingsJson(const RenderSettings& settings);
// The same with ranges: each setting that differs between `from` and `to` as a
// pair [FROM, TO].
std::string SettingsJson(const RenderSettings& from, const RenderSettings& to);

// Reads a settings file's text into `values`, each checked against its range.
// Keys the program does not know are skipped. On any error `values` is left
// untouched and the reason comes back.
std::optional<std::string> ParseSettingsJson(std::string_view text, SettingValues& values);

// Reads a settings file's text. Each setting the text names is set in `settings`
// (a range's FROM value: a still, or the windows' sliders, start where the range
// does); the others keep their values, and `present` (when given) tells which were named,
// in kSettings' order. On any error `settings` is left untouched and the reason
// comes back.
std::optional<std::string> ReadSettingsJson(std::string_view text, RenderSettings& settings,
                                            std::array<bool, 8>* present = nullptr);

// The same for a file on disk; a file that cannot be read says so.
std::optional<std::string> ReadSettingsFile(const std::string& path, RenderSettings& settings,
                                            std::array<bool, 8>* present = nullptr);
// A file on disk with its ranges, as ParseSettingsJson reads them.
std::optional<std::string> ReadSettingsFile(const std::string& path, SettingValues& values);

// Writes the file whole or not at all.
SaveResult WriteSettingsFile(const std::string& path, const RenderSettings& settings);
