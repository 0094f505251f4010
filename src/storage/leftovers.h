#pragma once

#include <QString>

/// Clearing away what an interrupted write left behind: the temporary files of a process that
/// was killed while saving (see AtomicFile::removeLeftovers).

/// Starts removing the leftovers where this program writes: in the base folder itself, its
/// Daily and Data folders, everything below Notes, and the settings folder. The folders are
/// found now, on the calling (main) thread; the removal runs on QThreadPool::globalInstance()
/// and this returns at once. Meant to be called once at start.
void removeWriteLeftovers();

/// The removal itself, synchronous and safe on any thread: the folders of `baseFolder` as
/// above, and `settingsFolder` (left out when empty). Returns how many files were removed.
int removeWriteLeftoversIn(const QString &baseFolder, const QString &settingsFolder);
