#pragma once

#include <QString>

/// The file work of the notes page: creating, renaming, moving and deleting notes and folders,
/// with the page's rules for names. The changes themselves go through NoteStore, which announces
/// them (pins and view counts follow from there). Moves never replace an existing file or folder. A
/// failure writes one line to the standard output (a Japanese prefix and the error) and leaves
/// everything as it was.
namespace NotesOperations {

struct Result
{
    enum class Status {
        done,        ///< the operation took place
        nothingToDo, ///< nothing to change (an unchanged or empty name, a note dropped home)
        refused,     ///< the name is taken or cannot be used; nothing was attempted
        failed,      ///< the file system refused; the line was written
    };
    Status status = Status::nothingToDo;
    /// The new path after a creation, rename or move.
    QString path;
    QString error;

    bool ok() const { return status == Status::done; }
};

/// Creates the folder `parent`/`name` (trimmed), without intermediate folders.
Result createFolder(const QString &parent, const QString &name);

/// Renames `folder` to `name` (trimmed) beside it. The pins and view counts of the notes
/// inside go with them.
Result renameFolder(const QString &folder, const QString &name);

/// Removes `folder` with everything in it, permanently. Only folders strictly inside
/// `notesFolder` are removed, never the Notes folder itself or a link. The pins and view counts
/// of the notes that are gone are dropped, also after a partial failure.
Result deleteFolder(const QString &folder, const QString &notesFolder);

/// Moves the note `source` into `targetFolder`; a taken name gets the first free "name (n)".
Result moveNote(const QString &source, const QString &targetFolder);

/// Where renaming a note to `baseName` (trimmed) plus its old extension would take it: done
/// with the new path, nothing to do for an empty or unchanged name, refused for a taken or
/// unusable one. Touches nothing.
Result renameTarget(const QString &note, const QString &baseName);

/// Renames a note as planned by renameTarget.
Result renameNote(const QString &note, const QString &baseName);

/// Creates a note in `folder` from the name typed by the user (".md" added when missing, the
/// first free name taken): a header with the title and the creation time, and the title as the
/// first line of the body. Refused, with the reason in `error`, when the file name (numbered
/// where the name is taken) would be longer than a file system takes.
Result createNote(const QString &folder, const QString &name);

/// Removes a note permanently.
Result deleteNote(const QString &note);

/// The text of a new note titled `title`, stamped with the current time.
QString newNoteText(const QString &title);

} // namespace NotesOperations
