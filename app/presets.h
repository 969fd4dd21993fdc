// Presets: the eight slider positions saved to and loaded from a settings file
// that lumarq-render reads too, and the lumarq-render command for the settings
// and the file on screen.
#pragma once

#include <QString>

#include "raster/render.h"

class Picture;
class TForm4;

namespace lumarq {

// Moves the sliders to settings and renders once.
void ApplySettings(TForm4& panel, const RenderSettings& settings);

// File > "Save Settings..." and "Load Settings...": a dialog, then the file; a
// failure is shown in a message and changes nothing.
void SaveSettingsClick(TForm4& panel);
void LoadSettingsClick(TForm4& panel);

// The lumarq-render command that renders the picture as it is shown, its output
// beside its file; a pasted image has no file, so placeholder names stand in.
QString CommandForScreen(const Picture& picture);
// File > "Copy as Command": that command onto the clipboard.
void CopyAsCommandClick(const Picture& picture);

}  // namespace lumarq
