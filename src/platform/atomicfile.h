#pragma once

#include <QByteArray>
#include <QString>

namespace AtomicFile {

/// Why a write failed: the system's error number (0 when no system call failed) and the text
/// that describes it.
struct Error
{
    int code = 0;
    QString text;

    /// What the user can do something about, in their words: "ディスクの空きがありません",
    /// "書き込みの権限がありません" or "フォルダがありません"; otherwise the text.
    QString reason() const;
};

/// Writes `bytes` to `path` as one whole file: the data goes to a temporary file beside the
/// target, every step checked (each write, fsync of the file, the rename, fsync of the folder),
/// then renamed over it. Readers see either the old or the new file, never a mix. Returns false
/// and fills `error` (when given) on failure; the target is then byte-identical to before and
/// the temporary file is gone. A new file gets the mode the umask allows (as open(2) would); a
/// replaced file keeps its mode. A symbolic link is followed: the file it leads to is replaced
/// and the link stays. Something at `path` that is not a regular file is never replaced, nor is
/// a file this user may not write (RegularFile::mayWrite), though the folder would allow it.
/// The one failure after which the target already holds the new bytes: the folder could not be
/// flushed after the rename, so the new file might not survive a crash.
bool write(const QString &path, const QByteArray &bytes, Error *error = nullptr);

/// Like write(), for a file that must not exist yet: the whole file appears at `path` only if
/// nothing is there, checked and done in one step, so a file another program created in the
/// meantime is never replaced. `exists` (when given) tells that case apart from other errors.
bool writeNew(const QString &path, const QByteArray &bytes, Error *error = nullptr,
              bool *exists = nullptr);

/// True for the name of a temporary file that write() or writeNew() creates:
/// ".<target name>.quillmere-<pid>-XXXXXX". Hidden and never ending in a note extension, so
/// note lists, the search and quick open (which lists hidden notes) never show it.
bool isTemporaryName(const QString &fileName);

/// Removes temporary files left behind by a process that was killed while writing, in `folder`
/// (and its subfolders when `recursive`). A writer holds an advisory lock (flock) on its
/// temporary file until it is renamed or removed; only files whose lock nobody holds are
/// removed (where the file system has no locks, those of processes no longer running), and only
/// regular files: links and folders of such a name are left, and links to folders are not
/// walked into. Returns how many were removed.
int removeLeftovers(const QString &folder, bool recursive);

} // namespace AtomicFile
