#pragma once

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

/// What reading a file gave: its bytes, or why there are none.
struct RegularFileRead
{
    enum class Status {
        Ok,         ///< the whole file was read
        Missing,    ///< nothing at the path
        NotRegular, ///< a folder, pipe, socket or device: never opened for reading
        Failed,     ///< a regular file that could not be opened or read
    };
    Status status = Status::Missing;
    QByteArray bytes;
    /// Why there are no bytes; empty for Ok and Missing.
    QString error;
    /// The file as it was when read (from the open descriptor); set unless Missing, and for
    /// Failed only when the file could be looked at.
    bool hasInfo = false;
    struct stat info = {};

    bool ok() const { return status == Status::Ok; }
};

/// The one way the program reads a file: regular files only (a link is followed), opened so that
/// nothing can make the read wait. A pipe, socket or device put where a file is expected is
/// never opened for reading (opening a pipe waits for a writer, a device may have effects of its
/// own), and one swapped in between the look and the open is turned away without waiting.
namespace RegularFile {

/// Reads the whole file at `path` (spelled as FileNames::encode spells it).
RegularFileRead read(const QString &path);

/// Whether this user may change the file described by `info`, found as `name` in the folder
/// `dirFd` (AT_FDCWD for a path). Other users' permission bits are what access(2) checks; for
/// the superuser, who passes every such check, a file with no write permission for anybody
/// (mode 0444) counts as not writable, as somebody made it read-only on purpose.
bool mayWrite(int dirFd, const char *name, const struct stat &info);

/// Renames a damaged file at `path` to "<path>.damaged-<yyyyMMdd-HHmmss>" (local time of the
/// current Clock, "-2", "-3", ... when that name is taken), so that a new file can be written
/// without losing what the old one held. Returns the new path, or an empty string when nothing
/// could be renamed (nothing there, or the rename failed).
QString setAside(const QString &path);

} // namespace RegularFile
