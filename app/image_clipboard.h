// The image on the clipboard: File > Copy Image puts the rendered image there for
// other programs; Paste Image takes an image from there as a new, unnamed source.
#pragma once

#include <QImage>

#include "raster/win.h"

namespace lumarq {

// A copy of a raster's pixels; a null image when it has none or no memory is left.
QImage ImageOfRaster(const TWin& raster);
// Fills raster with image's pixels, resizing it; transparent parts come out over
// black, the render's own background. False when the memory cannot be had.
bool RasterFromImage(const QImage& image, TWin& raster);

void CopyImageToClipboard();
void PasteImageFromClipboard();

}  // namespace lumarq
