#pragma once

#include <QString>
#include <QStringList>

/// Pinned notes, kept in the base folder as "Data/pinned_notes.txt": one note key per line, the
/// most recently pinned first. The list is cached per base folder and read again only after the
/// base folder changed. Files outside the base folder are never pinned. Main thread only; write
/// failures are ignored and the cache keeps the new state. A file that is not a whole list (not
/// UTF-8, not a regular file) is set aside (RegularFile::setAside) before the next write.
namespace Pins {

/// Path of the pin list file. Creates the Data folder when it is missing.
QString pinsFilePath();

/// Whether the file at `filePath` is pinned.
bool isPinned(const QString &filePath);

/// Pins a file at the front of the list; a file already pinned moves to the front.
void pinNote(const QString &filePath);

/// Removes a file from the pin list.
void unpinNote(const QString &filePath);

/// Carries a pin over to a file's new path, keeping its place in the list. Nothing happens when
/// `from` is not pinned.
void renamePinnedNote(const QString &from, const QString &to);

/// The pinned files among `filePaths`, in pin list order (most recently pinned first). Each
/// file appears once, spelled as it was given.
QStringList pinnedFiles(const QStringList &filePaths);

/// The full paths of the pinned notes (the standardized base folder's path and each key), in
/// pin list order: a file with a standardized path (isStandardizedPath()) is pinned exactly when
/// its path is among them.
QStringList pinnedPaths();

/// Forgets the cached list, so the next call reads the file again.
void resetCachesForTesting();

} // namespace Pins
