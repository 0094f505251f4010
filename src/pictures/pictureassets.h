#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

/// Pictures pasted or dropped into a note, stored in the note's assets folder (NoteAssets).
namespace PictureAssets {

/// What the status line says when a picture could not be stored, before the reason.
inline const QString saveFailedMessage = QStringLiteral("画像を保存できませんでした");

/// A picture to store: the name it should get and its bytes.
struct NewPicture
{
    QString name;
    QByteArray bytes;
};

/// What storing gave: the markdown to insert (one picture per line), or why nothing was stored.
struct Stored
{
    QString markdown;
    QStringList paths; ///< the files written
    QString error;     ///< in the user's words; empty on success
    bool ok() const { return error.isEmpty(); }
};

/// The name of a picture pasted at `now`: "yyyyMMdd-HHmmss.png".
QString pastedName(const QDateTime &now);

/// "name.png", "name-2.png", "name-3.png", ...: the `n`th candidate (n from 1) for `name`.
QString numberedName(const QString &name, int n);

/// Whether a dropped file of this name is taken as a picture: PNG, JPEG, GIF, WebP, BMP, SVG.
bool isPictureFileName(const QString &fileName);

/// Reads a dropped picture file (regular files only, at most PictureLimits::maxFileBytes).
/// Empty bytes and `error` set (in the user's words) on failure.
QByteArray readPictureFile(const QString &path, QString *error);

/// Stores every picture in the assets folder of the note at `notePath` (made when missing),
/// each under its name or the next free number, never replacing a file (created exclusively,
/// through AtomicFile::writeNew). All or nothing: after a failure the files this call wrote are
/// removed again and no markdown is returned.
Stored store(const QString &notePath, const QList<NewPicture> &pictures);

/// The markdown that shows the picture at `picturePath` in the note at `notePath`:
/// "![](<Note.assets/20261207-093000.png>)".
QString markdownFor(const QString &notePath, const QString &picturePath);

} // namespace PictureAssets
