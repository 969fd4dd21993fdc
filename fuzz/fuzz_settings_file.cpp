// Feeds the settings file reader any text: it must answer with settings in range
// or a reason, never read outside the text, and what it accepts must read back
// the same once written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "settings/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RenderSettings settings;
    if (ReadSettingsJson(std::string_view(reinterpret_cast<const char*>(data), size), settings)) return 0;
    for (const SettingDescription& field : kSettings)
        if (settings.*field.member < field.minimum || settings.*field.member > field.maximum) std::abort();
    RenderSettings again;
    if (ReadSettingsJson(SettingsJson(settings), again) || !(again == settings)) std::abort();
    return 0;
}
