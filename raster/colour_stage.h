// PlaceRotated's colour stage and colour key: what a source colour becomes
// before Blend writes it into the destination.
#pragma once

#include <cstdint>

#include "raster/blend.h"

namespace placement {

// A colour packed as blue | green << 8 | red << 16; the key held when it is off
// matches no pixel.
constexpr std::uint32_t kNoKey = 0xFFFFFFFFu;

inline std::uint32_t Pack(std::int32_t blue, std::int32_t green, std::int32_t red) {
    return static_cast<std::uint32_t>(blue) | static_cast<std::uint32_t>(green) << 8 |
           static_cast<std::uint32_t>(red) << 16;
}

struct Key {
    std::uint32_t packed;  // kNoKey when off
    bool Matches(std::int32_t blue, std::int32_t green, std::int32_t red) const {
        return Pack(blue, green, red) == packed;
    }
};

// Gain, brightness, the channel shifts and saturation give a value per channel,
// which is clamped (when asked) and mixed in with Blend at the call's weight.
class ColourStage {
public:
    ColourStage(std::int32_t weight, bool clamp, std::int32_t Brightness, float Gain, float Saturation,
                std::int32_t RedShift, std::int32_t GreenShift, std::int32_t BlueShift);

    // True when every written byte equals the source byte: the three bytes are copied.
    bool Identity() const { return identity_; }

    // The new value of one channel (0 blue, 1 green, 2 red), after the clamp.
    std::int32_t Value(int channel, std::int32_t c, std::int32_t grey) const {
        return byTable_ ? table_[channel][c] : Compute(channel, c, grey);
    }

    void Values(std::int32_t blue, std::int32_t green, std::int32_t red, std::int32_t grey,
                std::int32_t values[3]) const {
        values[0] = Value(0, blue, grey);
        values[1] = Value(1, green, grey);
        values[2] = Value(2, red, grey);
    }

    void Write(std::uint8_t* pixel, const std::int32_t values[3]) const {
        if (weight_ == 128) {
            pixel[0] = static_cast<std::uint8_t>(values[0]);
            pixel[1] = static_cast<std::uint8_t>(values[1]);
            pixel[2] = static_cast<std::uint8_t>(values[2]);
        } else {
            pixel[0] = static_cast<std::uint8_t>(Blend(pixel[0], values[0], weight_, 0));
            pixel[1] = static_cast<std::uint8_t>(Blend(pixel[1], values[1], weight_, 0));
            pixel[2] = static_cast<std::uint8_t>(Blend(pixel[2], values[2], weight_, 0));
        }
    }

private:
    std::int32_t Compute(int channel, std::int32_t c, std::int32_t grey) const;

    std::int32_t weight_;
    bool clamp_;
    double gain_, saturation_;
    double offsets_[3];
    bool byTable_ = false, identity_ = false;
    std::int32_t table_[3][256]{};
};

// The colour stage of the control panel's call: weight 128, clamped, all else neutral.
const ColourStage& PanelStage();

}  // namespace placement
