// Playback of the WAVE clips stored in the program's resources (":/sounds/NAME.wav").
// Without an audio device, or for a clip that cannot be played, nothing is heard
// and nothing is reported.
#pragma once

#include <QString>
#include <functional>

namespace platform {

enum class SoundMode {
    Asynchronous,  // start and return at once; cuts off a clip still playing
    ToEnd,         // return when the clip has finished (or after a bounded wait)
};

void PlaySoundResource(const QString& Name, SoundMode Mode);

// While a handler is set, PlaySoundResource calls it instead of playing, so that a
// test can record which clips were asked for. An empty handler restores playback.
using SoundHandler = std::function<void(const QString& Name, SoundMode Mode)>;
void SetSoundHandler(SoundHandler handler);

}  // namespace platform
