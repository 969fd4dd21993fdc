// The image on the clipboard: File > Copy Image puts the rendered image there for
// other programs; Paste Image takes an image from there as a new, unnamed source.
#pragma once

#include <QImage>

#include "raster/win.h"

class Picture;
class TForm1;

namespace lumarq {

// A copy of a raster's pixels; a null image when it has none or no memory is left.
QImage ImageOfRaster(const TWin& raster);
// Fills raster with image's pixels, resizing it; transparent parts come out over
// black, the render's own background. False when the memory cannot be had.
bool RasterFromImage(const QImage& image, TWin& raster);

// The picture's rendered image onto the clipboard.
void CopyImageToClipboard(const Picture& picture);
// The clipboard's image as the image window's new, unnamed picture.
void PasteImageFromClipboard(TForm1& imageWindow);

}  // namespace lumarq
