#pragma once

// A grabbed picture on its way to the disk: the shape it is saved in, and the two writers
// (24-bit BMP, JPEG at a quality). The writers never end the program and never leave half a
// file under the final name: they write a temporary file beside it and rename it.

#include "filters/deinter.h"

#include <QImage>
#include <QSize>

#include <string>

namespace vidorel {

// The size a picture is saved at: mode 0 as it is, 1 cut to 4:3, 2 cut to 16:9 (the longer
// side shrinks). A picture with no size counts as 640 x 480.
QSize AspectCorrectedSize(QSize picture, int mode);

// A grabbed frame (any format) as the program's own 24-bit copy, with the comb of interlaced
// video removed when `deinterlace` (the preview's deinterlacer did not already do it).
QImage GrabbedPicture(const QImage& frame, bool deinterlace, DeinterlaceScratch& scratch);

// The picture stretched to the shape of `mode` (see AspectCorrectedSize); the picture itself
// when it has that shape already.
QImage ShapedPicture(const QImage& picture, int mode);

// The picture as a 24-bit BMP (bottom-up rows padded to four bytes). False, with the reason in
// *why, when it cannot be written; nothing is left under `path` then.
bool SaveBmp24(const QImage& picture, const std::string& path, std::string* why);

// The picture as a baseline JPEG at `quality` (1..100, clamped).
bool SaveJpeg(const QImage& picture, const std::string& path, int quality, std::string* why);

} // namespace vidorel
