#include "settings/sweep.h"

namespace {

// numerator / denominator (> 0) rounded half away from zero, exactly.
std::int32_t RoundedQuotient(std::int64_t numerator, std::int64_t denominator) {
    const std::int64_t magnitude = (2 * (numerator < 0 ? -numerator : numerator) + denominator) / (2 * denominator);
    return static_cast<std::int32_t>(numerator < 0 ? -magnitude : magnitude);
}

}  // namespace

RenderSettings Sweep::Frame(std::int32_t i) const {
    RenderSettings settings = from;
    if (frames < 2) return settings;
    const std::int64_t steps = frames - 1;
    for (const SettingDescription& setting : kSettings) {
        const std::int64_t a = from.*setting.member, b = to.*setting.member;
        // The whole value is rounded, not the step: -0.5 is -1 whatever the start.
        settings.*setting.member = RoundedQuotient(a * steps + (b - a) * i, steps);
    }
    return settings;
}
