#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

/// How often each note was opened, per month, kept in the base folder as
/// "Data/note_view_counts.json". Months are calendar months in Japan time; only the current and
/// the previous month are kept. The counts are cached per base folder; the file is written on a
/// background queue from a snapshot, in call order. A file that could not be taken whole (not
/// JSON, entries of another shape, not a regular file) is set aside (RegularFile::setAside)
/// before the next write. Main thread only.
namespace ViewCounts {

/// Path of the count file. Creates the Data folder when it is missing.
QString viewCountsFilePath();

/// Counts one opening of a note: only markdown and text files below "Notes/" count, and each
/// note at most once per run of the application.
void recordNoteView(const QString &filePath);

/// For every given file inside the base folder: the openings in the current and the previous
/// month, keyed by the path as given. Files outside the base folder are left out.
QHash<QString, int> viewCounts(const QStringList &filePaths);

/// The openings of every note opened in the current or the previous month, keyed by full path
/// (the standardized base folder's path and the note's key): a file with a standardized path
/// (isStandardizedPath()) has the count under its own path, or none.
QHash<QString, int> viewCountsByPath();

/// Adds the counts of a note that moved to `from` to those of `to`, month by month.
void renameViewCount(const QString &from, const QString &to);

/// Forgets the counts of a deleted note.
void removeViewCount(const QString &filePath);

/// Blocks until every count file write submitted so far has reached the disk. Call at quit so
/// no count is lost, and before reading the file directly.
void flushPendingWrites();

/// Waits for pending writes, then forgets the cached counts and the notes counted in this run.
void resetCachesForTesting();

} // namespace ViewCounts
