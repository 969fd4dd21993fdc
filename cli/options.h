// Command-line options of lumarq-render.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "settings/render_settings.h"

struct RenderOptions {
    RenderSettings settings;  // with --frames, the first frame's
    RenderSettings to;        // the last frame's: equal to `settings` where no range is given
    std::array<bool, kSettings.size()> ranged{};  // the settings given as FROM:TO, in the table's order
    std::int32_t frames = 0;  // --frames: 0 for a still
    std::int32_t fps = 25;
    std::int32_t loop = 0;    // 0: forever
    std::int32_t scale = 1;   // every frame, or the still, enlarged this many times
    bool dither = false;
    bool keepGoing = false;     // --keep-going: a damaged video's frames before the damage
    bool noAudio = false;       // --no-audio
    bool videoInput = false;    // every input is a video (as its content says)
    std::string videoOnly;      // the last option given that only a video input takes
    std::string animationOnly;  // the last option given that only an animation takes
    bool convert = false;
    bool renderOptionGiven = false;  // any of the eight render settings was set
    std::int32_t repeat = 0;         // 0: render once, no timing line
    std::int32_t threads = 0;        // 0: LUMARQ_THREADS, else every core
    std::int32_t jobs = 0;           // inputs at once; 0: the core count
    std::string output;
    std::string format;  // --format: the extension of outputs written into a directory
    std::int32_t quality = 0;  // --quality for JPEG and WebP; 0: the default
    std::vector<std::string> inputs;
    bool help = false;
    bool version = false;
    std::string settingsFile;            // --settings: the base the other options override
    bool printSettings = false;          // --print-settings: print the settings in use and stop
    std::set<std::string> givenOptions;  // the render options given on the command line
};

// What parsing produced: the options, or the usage error to print (without the
// program name) with exit status 2.
struct ParseResult {
    RenderOptions options;
    std::optional<std::string> error;
};

ParseResult ParseRenderOptions(const std::vector<std::string>& arguments);

// --help: the usage text, its eight setting lines made from the settings table.
std::string RenderUsage();
