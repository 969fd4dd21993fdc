// Presets: the eight slider positions saved to and loaded from a settings file
// that lumarq-render reads too, and the lumarq-render command for the settings
// and the file on screen.
#pragma once

#include <QString>

#include "raster/render.h"

class TForm4;

namespace lumarq {

// Moves the sliders to settings and renders once.
void ApplySettings(TForm4& panel, const RenderSettings& settings);

// File > "Save Settings..." and "Load Settings...": a dialog, then the file; a
// failure is shown in a message and changes nothing.
void SaveSettingsClick();
void LoadSettingsClick();

// The lumarq-render command that renders the file on screen as it is shown, its
// output beside it; a pasted image has no file, so placeholder names stand in.
QString CommandForScreen();
// File > "Copy as Command": that command onto the clipboard.
void CopyAsCommandClick();

}  // namespace lumarq
