#pragma once

#include <QList>
#include <QString>

/// One change of a note's text: `length` characters from `start` replaced by `text`.
struct PictureLinkEdit
{
    qsizetype start = 0;
    qsizetype length = 0;
    QString text;
    bool operator==(const PictureLinkEdit &) const = default;
};

/// Keeping a note's pictures in view when the note moves.
namespace PictureLinks {

/// The edits that keep the pictures of a note's `text` pointing at the same files after the note
/// moved from `oldNotePath` to `newNotePath`: a picture in the note's own assets folder points
/// into the folder of the new name (which moved with the note); other relative paths are
/// written from the new folder when the note changed folders. Remote, data: and absolute
/// destinations, and pictures inside fenced code, are left alone. In text order.
QList<PictureLinkEdit> editsForMove(const QString &text, const QString &oldNotePath,
                                    const QString &newNotePath);

/// `text` with `edits` (in text order, not overlapping) applied.
QString apply(QString text, const QList<PictureLinkEdit> &edits);

} // namespace PictureLinks
