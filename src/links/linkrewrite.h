#pragma once

#include "links/linkresolver.h"

#include <QList>
#include <QString>

/// Rewriting the links to a note that is renamed or moved.
namespace LinkRewrite {

/// One replacement in a note's text.
struct Edit
{
    qsizetype start = 0;
    qsizetype length = 0;
    QString replacement;

    bool operator==(const Edit &) const = default;
};

/// The edits that make every link in `text` (the note at `linker`) that leads to `oldPath` lead
/// to `newPath`; `before` knows the notes as they were before the move. Only the target's
/// characters change: shown text, heading, brackets and every other character stay. A wiki link
/// names the note as briefly as it still resolves (its folder part kept when it had one, or
/// added when the bare name would be ambiguous after the move); a markdown link gets the
/// relative path from the linker's folder, spelt as it was (angle brackets or "%20").
/// `linker` and the paths are below the base folder; `linker` is where the note is now (the
/// moved note's own links are taken from its old place).
QList<Edit> editsForMove(const QString &text, const QString &linker, const QString &oldPath,
                         const QString &newPath, const LinkResolver &before);

/// `text` with `edits` (sorted, not overlapping) applied.
QString apply(QString text, const QList<Edit> &edits);

/// `path` relative to `folder` ("" is the base folder), both below the base folder.
QString relativePath(const QString &folder, const QString &path);

} // namespace LinkRewrite
