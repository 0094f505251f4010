#pragma once

#include "pictures/picturepath.h"

#include <QImage>
#include <QSize>

/// What reading a picture gave: its size upright, and the picture scaled for showing, or why
/// there is none.
struct DecodedPicture
{
    PictureProblem problem = PictureProblem::none;
    QSize size;   ///< the whole picture's size, turned upright; invalid when unknown
    QImage image; ///< empty for a header read, and on failure
};

/// Reading pictures with QImageReader: a pure function of the file (or bytes) and the width,
/// run on worker threads. Every raster picture's size is read from its header first: one with
/// more than PictureLimits::maxPixels pixels, or a file larger than maxFileBytes, is never
/// decoded, and the reader's own allocation limit stops any picture whose header lies. GIFs
/// give their first frame; JPEGs are turned upright from their EXIF orientation.
namespace PictureDecoder {

/// Reads only the header: the upright size, or the problem.
DecodedPicture readHeader(const PictureTarget &target);

/// Decodes the picture at most `maxWidth` pixels wide (never wider than the picture itself),
/// its aspect kept.
DecodedPicture decode(const PictureTarget &target, int maxWidth);

/// The size a picture of `size` is shown at in `maxWidth`.
QSize shownSize(QSize size, int maxWidth);

} // namespace PictureDecoder
