// A sweep: the render settings moving from one look to another over a number of
// frames, as lumarq-render's FROM:TO options, a settings file's pairs and the
// windows' Export Animation describe it.
#pragma once

#include <cstdint>

#include "settings/render_settings.h"

struct Sweep {
    RenderSettings from;
    RenderSettings to;  // equal to `from` in every setting that stays fixed
    std::int32_t frames = 2;  // at least 2

    // Frame i (0-based) of the sweep: each setting at
    // from + (to - from) * i / (frames - 1), rounded half away from zero.
    RenderSettings Frame(std::int32_t i) const;
};
