// Work on screen is not thrown away unasked: before the program ends or another
// image replaces the picture, unsaved changes are offered for saving.
#pragma once

class Picture;
class QWidget;

namespace lumarq {

// Saves as the Save command does: to the picture's file or, when it has none or
// askForName is set, to a name chosen in the Save dialog. A failure is reported.
// True when the working raster was written.
bool SavePicture(Picture& picture, QWidget* dialogOwner, bool askForName);

// Before the picture would be dropped: when it has unsaved changes, asks whether to
// save them. True to go on (nothing unsaved, saved, or "Don't Save"); false when
// the user cancelled or the save did not happen, and then nothing may change.
bool MayDropPicture(Picture& picture, QWidget* dialogOwner);

}  // namespace lumarq
