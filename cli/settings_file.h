// --settings: a settings file as the base of lumarq-render's render options.
#pragma once

#include <optional>
#include <string>

#include "cli/options.h"

// Reads options.settingsFile, if one was given, into options.settings (and a
// range's end into options.to), keeping the render options given on the command
// line. The error names the file.
std::optional<std::string> ApplySettingsFile(RenderOptions& options);
