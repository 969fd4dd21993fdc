// The eight render settings and the one table that says everything the program
// knows about each: its key in a settings file, its lumarq-render option, the
// name the panel shows, its range and its start-up value. The panel, the command
// line, the settings file and the tests all read the table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The eight slider positions, which are the whole of the render settings. Each
// starts at the table's initial value.
struct RenderSettings {
    std::int32_t Pattern = InitialOf(&RenderSettings::Pattern);
    std::int32_t Detector = InitialOf(&RenderSettings::Detector);
    std::int32_t Red = InitialOf(&RenderSettings::Red);
    std::int32_t Green = InitialOf(&RenderSettings::Green);
    std::int32_t Blue = InitialOf(&RenderSettings::Blue);
    std::int32_t XOffset = InitialOf(&RenderSettings::XOffset);
    std::int32_t YOffset = InitialOf(&RenderSettings::YOffset);
    std::int32_t Angle = InitialOf(&RenderSettings::Angle);  // degrees

    bool operator==(const RenderSettings&) const = default;

    static constexpr std::int32_t InitialOf(std::int32_t RenderSettings::*member);
};

// One setting.
struct SettingDescription {
    const char* key;     // in a settings file
    const char* option;  // lumarq-render's option
    const char* label;   // the panel's name for its slider
    std::int32_t minimum;
    std::int32_t maximum;
    std::int32_t initial;  // the start-up value, and lumarq-render's default
    std::int32_t RenderSettings::*member;
};

// In slider order.
inline constexpr std::array<SettingDescription, 8> kSettings = {{
    {"pattern", "--pattern", "Pattern", 0, 65, 13, &RenderSettings::Pattern},
    {"detector", "--detector", "Detector", 0, 255, 160, &RenderSettings::Detector},
    {"red", "--red", "Red", 0, 255, 255, &RenderSettings::Red},
    {"green", "--green", "Green", 0, 255, 0, &RenderSettings::Green},
    {"blue", "--blue", "Blue", 0, 255, 0, &RenderSettings::Blue},
    {"x", "--x", "X Position", -1500, 1500, 0, &RenderSettings::XOffset},
    {"y", "--y", "Y Position", -1500, 1500, 0, &RenderSettings::YOffset},
    {"angle", "--angle", "Angle", 0, 360, 0, &RenderSettings::Angle},
}};

constexpr std::int32_t RenderSettings::InitialOf(std::int32_t RenderSettings::*member) {
    for (const SettingDescription& setting : kSettings)
        if (setting.member == member) return setting.initial;
    return 0;
}

// Every member once, each start-up value within its range.
static_assert([] {
    for (std::size_t i = 0; i < kSettings.size(); ++i) {
        if (kSettings[i].initial < kSettings[i].minimum || kSettings[i].initial > kSettings[i].maximum) return false;
        for (std::size_t j = 0; j < i; ++j)
            if (kSettings[i].member == kSettings[j].member) return false;
    }
    return sizeof(RenderSettings) == kSettings.size() * sizeof(std::int32_t);
}());
