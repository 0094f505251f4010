#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <limits>

/// A note as listed: its path and when its content last changed.
struct NoteFileItem
{
    /// Stands for a file whose modification date is unknown; sorts after every real date.
    static constexpr qint64 unknownDate = std::numeric_limits<qint64>::min();

    QString path;
    /// Nanoseconds since 1970-01-01 UTC.
    qint64 modified = unknownDate;

    bool operator==(const NoteFileItem &) const = default;
};

/// Reading the Notes folder from disk. Hidden entries (names starting with ".") are skipped,
/// folders named "trash" in any letter case are neither listed nor entered, and symbolic links
/// to folders are not followed, so a link cycle cannot trap the scan. Errors while reading a
/// folder drop that folder's contents and nothing else.
namespace NoteScan {

/// A note's file name: not hidden, with the extension "md" or "txt" in any letter case.
bool isNoteFileName(QStringView name);

/// `root` followed by every folder below it, depth first; siblings are ordered by name in
/// NaturalOrder. Paths are spelled from `root` on.
QStringList collectFolders(const QString &root);

/// Every note in `root` and all folders below it, in no particular order. Only regular files
/// (also through a link) count.
QList<NoteFileItem> collectAllNoteItems(const QString &root);

/// The notes directly inside `folder`, in no particular order; empty when it cannot be read.
QList<NoteFileItem> noteItemsInFolder(const QString &folder);

} // namespace NoteScan
