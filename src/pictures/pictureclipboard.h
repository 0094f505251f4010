#pragma once

#include "pictures/pictureassets.h"

#include <QDateTime>

class QMimeData;

/// The pictures in what is pasted or dropped.
namespace PictureClipboard {

/// Whether `mime` brings pictures rather than text: picture data without plain text (a
/// screenshot, "copy image"; cells of a spreadsheet bring their text along and stay text), or
/// local picture files (a drop from the file manager).
bool hasPictures(const QMimeData *mime);

/// The pictures `mime` brings: image data as PNG named for `now` (the bytes as they came when
/// they already are PNG), picture files read under their own names. Empty with `error` set (in
/// the user's words) when one of them cannot be read.
QList<PictureAssets::NewPicture> pictures(const QMimeData *mime, const QDateTime &now,
                                          QString *error);

} // namespace PictureClipboard
