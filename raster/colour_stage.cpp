#include "raster/colour_stage.h"

#include <algorithm>

#include "raster/rotation.h"

namespace placement {

ColourStage::ColourStage(std::int32_t weight, bool clamp, std::int32_t Brightness, float Gain, float Saturation,
                         std::int32_t RedShift, std::int32_t GreenShift, std::int32_t BlueShift)
    : weight_(weight), clamp_(clamp), gain_(Gain), saturation_(Saturation) {
    const std::int64_t brightness = Brightness, red = RedShift, green = GreenShift, blue = BlueShift;
    offsets_[0] = static_cast<double>(brightness + 2 * blue - red - green);
    offsets_[1] = static_cast<double>(brightness + 2 * green - red - blue);
    offsets_[2] = static_cast<double>(brightness + 2 * red - green - blue);
    // Without saturation the grey level drops out ((grey - c) x 0 is a zero), so
    // every value is a function of its channel byte alone.
    byTable_ = Saturation == 0.0f;
    identity_ = byTable_ && weight == 128;
    if (!byTable_) return;
    for (int channel = 0; channel < 3; ++channel)
        for (std::int32_t c = 0; c < 256; ++c) {
            table_[channel][c] = Compute(channel, c, 0);
            if (table_[channel][c] != c) identity_ = false;
        }
}

std::int32_t ColourStage::Compute(int channel, std::int32_t c, std::int32_t grey) const {
    const double value =
        static_cast<double>(c) * gain_ + offsets_[channel] - static_cast<double>(grey - c) * saturation_;
    std::int32_t result = rotation::TruncateToInt32(value);
    if (clamp_) result = std::clamp(result, 0, 255);
    return result;
}

const ColourStage& PanelStage() {
    static const ColourStage stage(128, true, 0, 1.0f, 0.0f, 0, 0, 0);
    return stage;
}

}  // namespace placement
