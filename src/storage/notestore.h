#pragma once

#include "platform/atomicfile.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

/// One change of the notes on disk, as NoteStore announces it once it has happened.
struct NoteChange
{
    enum class Kind {
        saved,         ///< the note at `path` was written over (previousText: what it held)
        created,       ///< a new note appeared at `path`
        conflictCopy,  ///< the user's text of `oldPath` was written beside it, as `path`
        moved,         ///< a note was renamed or moved from `oldPath` to `path`
        folderCreated, ///< an empty folder appeared at `path`
        folderMoved,   ///< a folder and everything in it moved from `oldPath` to `path`
        deleted,       ///< the note at `path` is gone (previousText: its last readable text)
        folderDeleted, ///< the folder at `path` was removed, or as much of it as could be
    };
    Kind kind = Kind::saved;
    QString path;
    /// Where the note or folder was before a move; the original of a conflict copy.
    QString oldPath;
    /// The file's whole text before a save replaced it, when the writer knew it.
    std::optional<QString> previousText;

    bool operator==(const NoteChange &) const = default;
};

/// The one place through which notes, memos and their folders change on disk: a save, a new
/// note, a conflict copy, a rename or move of a note or a folder, a deletion. Every operation
/// goes through the checked file operations (atomic writes, moves that never replace anything)
/// and, only when it took place, announces what changed with changed(). Pins and view counts
/// follow moves and deletions from that announcement, whoever made the change (the title field,
/// the notes page, drag and drop, the command line); other followers connect to changed().
///
/// Failures announce nothing and fill `error` (when given) with the system's reason. Main thread
/// only; the announcement is delivered before the operation returns.
class NoteStore : public QObject
{
    Q_OBJECT

public:
    static NoteStore &instance();

    /// The longest name of one entry in a folder that Linux file systems take, in UTF-8 bytes.
    static constexpr qsizetype maxNameBytes = 255;
    /// Whether `fileName` (one entry's name, extension and number included) is longer than
    /// maxNameBytes.
    static bool isNameTooLong(const QString &fileName);
    /// What the user is told when a name is too long: the limit, and what counts towards it.
    static QString nameTooLongMessage();

    /// Replaces the file at `path` with `text` in UTF-8, atomically (see AtomicFile::write), or
    /// creates it (announced as created: a memo's first save).
    bool writeNote(const QString &path, const QString &text,
                   const std::optional<QString> &previousText, AtomicFile::Error *error);

    /// Writes a file that must not exist yet; `taken` (when given) tells a name that is already
    /// in use apart from other failures. A non-empty `conflictOf` makes it the conflict copy of
    /// that note.
    bool createNote(const QString &path, const QByteArray &bytes, AtomicFile::Error *error,
                    bool *taken = nullptr, const QString &conflictOf = {});

    /// Creates the folder `path`, not its parents.
    bool createFolder(const QString &path, AtomicFile::Error *error);

    /// Renames or moves a note; never replaces anything at `to`. The note's assets folder
    /// (NoteAssets) moves with it, announced as a folder move after the note's; when a folder of
    /// the new name is in the way, nothing moves.
    bool moveNote(const QString &from, const QString &to, AtomicFile::Error *error);

    /// Renames or moves a folder with everything in it; never replaces anything at `to`, an
    /// empty folder included.
    bool moveFolder(const QString &from, const QString &to, AtomicFile::Error *error);

    /// Removes a note permanently, and its assets folder with it.
    bool deleteNote(const QString &path, AtomicFile::Error *error);

    /// Removes a folder and everything in it, permanently. What could be removed stays
    /// removed after a partial failure, and that is announced too.
    bool deleteFolder(const QString &path, AtomicFile::Error *error);

Q_SIGNALS:
    void changed(const NoteChange &change);
    /// Emitted right before a save replaces a note that exists, a note is moved or deleted, or
    /// a folder is deleted, with the change about to be made: the note is still as it was, for
    /// followers that keep its exact bytes. The change may still fail.
    void aboutToChange(const NoteChange &change);

private:
    NoteStore();
    void announce(NoteChange change);
    void deleteAssetsOf(const QString &notePath);
};
