#pragma once

#include <QString>

/// Reading a note from disk, telling apart the cases that must not be confused: a missing file
/// is a new, empty document; a file that cannot be read or is not UTF-8 must never be replaced
/// by what the editor shows instead.
struct TextFileRead
{
    enum class Status { Ok, Missing, Unreadable, NotUtf8 };
    Status status = Status::Missing;
    QString text;
    QString error;

    bool ok() const { return status == Status::Ok; }
    /// Ok or Missing: the text (empty when missing) may be edited and saved.
    bool editable() const { return status == Status::Ok || status == Status::Missing; }
};

namespace TextFile {

/// Reads a whole file as strict UTF-8; a leading byte-order mark is dropped.
TextFileRead readUtf8(const QString &path);

/// Writes `text` as UTF-8, atomically.
bool writeUtf8(const QString &path, const QString &text, QString *error = nullptr);

} // namespace TextFile
