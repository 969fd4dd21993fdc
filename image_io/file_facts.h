// What an image file's own bytes say that Qt's readers do not: whether a JPEG or
// a GIF's first frame is whole, a PNG's or WebP's orientation tag, a PNG's colours.
#pragma once

#include <QByteArray>
#include <QFile>
#include <string>

#include "image_io/colour.h"

namespace image_io {

// libjpeg fills a stream that stops early with grey and only warns, so a cut-off
// file would load as a picture with a grey bottom. The scan data start at the first
// start-of-scan marker (an embedded thumbnail lies before it) and cannot contain
// the bytes FF D9, so a whole file has that end-of-image marker after it.
bool JpegIsComplete(QFile& file);

// Qt's GIF reader hands back a cut-off first frame with its missing rows black.
// Walk the blocks up to the end of the first frame's data to see that it is all there.
bool GifFirstFrameIsComplete(QFile& file);

// Why a GIF or PNG cannot hold the picture its header declares, before a reader
// allocates it, or "" when it may: Qt's GIF reader allocates and clears the whole
// logical screen however small the frames in it are, so a screen far larger than
// all the frames together is refused; a PNG whose image data could not inflate to
// the rows its header declares is refused before the rows are allocated. The
// file's position is left where it was.
std::string ImplausibleHeader(QFile& file, const QByteArray& format);

// The orientation tag (1..8) of an Exif block (a TIFF header and its first
// directory), or 0 when it has none. Some writers put "Exif\0\0" before the header.
int ExifOrientation(QByteArray exif);

// The Exif block of a PNG (an eXIf chunk before the image data) or a WebP (an
// EXIF chunk), which Qt's readers of those formats do not look at.
QByteArray ExifBlock(QFile& file, const QByteArray& format);

// What a PNG says about its colours, from the chunks before its image data: an
// embedded profile, else sRGB when it says so, else its gamma and chromaticities.
colour::Source PngColour(QFile& file);

}  // namespace image_io
