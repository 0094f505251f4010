#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

/// Bringing a recorded version back as a note of its own.
namespace HistoryRestore {

/// Writes `bytes` exactly as a new note at `path` (its folder made when it is gone), or, when
/// that name is taken, at the first free numbered name beside it ("name (2).md"). Goes through
/// NoteStore, never replaces anything. Returns the path written, or an empty string with `error`.
QString writeNew(const QString &path, const QByteArray &bytes, QString *error);

/// Where a version of the note at `path` from `when` is restored as another note:
/// "<name> (復元 yyyy-MM-dd HHmm).<ext>" beside it, at local time.
QString copyPath(const QString &path, const QDateTime &when);

} // namespace HistoryRestore
