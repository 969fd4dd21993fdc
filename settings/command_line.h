// The lumarq-render command line that renders with a given set of settings, as
// File > Copy as Command puts it on the clipboard.
#pragma once

#include <string>
#include <string_view>

#include "settings/render_settings.h"
#include "settings/sweep.h"

// A word as a POSIX shell reads it back unchanged: in single quotes.
std::string ShellQuote(std::string_view word);

// "lumarq-render [options that differ from the defaults] -o OUTPUT INPUT", with
// both file names quoted for a POSIX shell.
std::string RenderCommandLine(const RenderSettings& settings, const std::string& input, const std::string& output);

// The command that renders a sweep as an animation: each setting that moves as
// FROM:TO, those that stay as one number (left out at their default), then
// --frames, --fps, and --loop and --scale when they are not their defaults.
std::string SweepCommandLine(const Sweep& sweep, int fps, int loop, int scale, const std::string& input,
                             const std::string& output);
