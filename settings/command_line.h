// The lumarq-render command line that renders with a given set of settings, as
// File > Copy as Command puts it on the clipboard.
#pragma once

#include <string>
#include <string_view>

#include "settings/render_settings.h"

// A word as a POSIX shell reads it back unchanged: in single quotes.
std::string ShellQuote(std::string_view word);

// "lumarq-render [options that differ from the defaults] -o OUTPUT INPUT", with
// both file names quoted for a POSIX shell.
std::string RenderCommandLine(const RenderSettings& settings, const std::string& input, const std::string& output);
