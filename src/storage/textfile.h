#pragma once

#include "platform/atomicfile.h"

#include <QString>

#include <sys/types.h>

/// What identifies one version of a file cheaply: when any of these differ, the file was
/// replaced or changed since it was stamped.
struct FileStamp
{
    bool exists = false;
    qint64 size = -1;
    qint64 modifiedNs = -1; ///< modification time, nanoseconds since the epoch
    quint64 device = 0;
    quint64 inode = 0;

    bool operator==(const FileStamp &) const = default;
};

/// Reading a note from disk, telling apart the cases that must not be confused: a missing file
/// is a new, empty document; a file that cannot be read or is not UTF-8 must never be replaced
/// by what the editor shows instead.
struct TextFileRead
{
    enum class Status { Ok, Missing, Unreadable, NotUtf8 };
    Status status = Status::Missing;
    QString text;
    /// The file started with a byte-order mark, which `text` leaves out.
    bool byteOrderMark = false;
    QString error;
    /// The file as it was when read (from the open descriptor), for comparing later.
    FileStamp stamp;
    /// False when the file exists but this user may not change it (RegularFile::mayWrite): its
    /// text may be shown, but it must not be replaced.
    bool writable = true;

    bool ok() const { return status == Status::Ok; }
    /// Ok or Missing: the text (empty when missing) may be edited and saved.
    bool editable() const { return status == Status::Ok || status == Status::Missing; }
};

namespace TextFile {

/// Reads a whole file as strict UTF-8; a leading byte-order mark is dropped. Only regular
/// files are read: a folder, pipe, socket or device is Unreadable and never blocks. Decoding is
/// stateless: an incomplete character at the very end makes the file NotUtf8. `path` is spelled
/// as FileNames::decode() spells names, so a name that is not UTF-8 is read exactly.
TextFileRead readUtf8(const QString &path);

/// The file's stamp now (exists = false when there is nothing at the path).
FileStamp stampOf(const QString &path);

/// Writes `text` as UTF-8, atomically.
bool writeUtf8(const QString &path, const QString &text, AtomicFile::Error *error = nullptr);

} // namespace TextFile
