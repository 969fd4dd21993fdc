// The eight render settings as a small JSON file ({"lumarq": 1, "pattern": 33,
// ...}), read and written the same way by the windows and by lumarq-render, and
// the lumarq-render command line that renders with a given set of them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "raster/atomic_file.h"
#include "raster/render.h"

// One setting: its key in the file (and, after "--", lumarq-render's option), its
// range and where it lives in RenderSettings.
struct SettingField {
    const char* key;
    std::int32_t minimum;
    std::int32_t maximum;
    std::int32_t RenderSettings::*member;
};

extern const std::array<SettingField, 8> kSettingFields;

// The file's text: every setting on one line, in slider order.
std::string SettingsJson(const RenderSettings& settings);

// Reads a settings file's text. Each setting the text names is set in `settings`;
// the others keep their values, and `present` (when given) tells which were named,
// in kSettingFields' order. Keys the program does not know are skipped. On any
// error `settings` is left untouched and the reason comes back.
std::optional<std::string> ReadSettingsJson(std::string_view text, RenderSettings& settings,
                                            std::array<bool, 8>* present = nullptr);

// The same for a file on disk; a file that cannot be read says so.
std::optional<std::string> ReadSettingsFile(const std::string& path, RenderSettings& settings,
                                            std::array<bool, 8>* present = nullptr);

// Writes the file whole or not at all.
SaveResult WriteSettingsFile(const std::string& path, const RenderSettings& settings);

// A word as a POSIX shell reads it back unchanged: in single quotes.
std::string ShellQuote(std::string_view word);

// "lumarq-render [options that differ from the defaults] -o OUTPUT INPUT", with
// both file names quoted for a POSIX shell.
std::string RenderCommandLine(const RenderSettings& settings, const std::string& input, const std::string& output);
