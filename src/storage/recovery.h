#pragma once

#include <QString>
#include <QStringList>

/// Texts that could not be saved when the application had to go without asking anyone (a
/// signal, the session ending). Each is a file of its own under the user's state folder
/// (`$XDG_STATE_HOME/Quillmere/recovery`, by default `~/.local/state/Quillmere/recovery`),
/// named after the time and the note, with the note's path in its header, so nothing typed is
/// lost and the next start can point to it.
namespace Recovery {

/// The folder recovery files are written to.
QString folder();

/// Writes `body`, the unsaved text of `notePath` (empty: no file was open), as a new recovery
/// file. Returns its path, or an empty string with `error` set when it could not be written.
QString write(const QString &notePath, const QString &body, QString *error = nullptr);

/// The recovery files there are, newest first.
QStringList files();

/// The note a recovery file was written for, as its header records it; empty when unknown.
QString notePathOf(const QString &recoveryPath);

} // namespace Recovery
