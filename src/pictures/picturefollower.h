#pragma once

#include "pictures/picturelinks.h"

#include <QObject>

#include <functional>

struct NoteChange;

/// Keeps the picture paths of a moved note pointing at its pictures: follows NoteStore's
/// announcements and, after a note was renamed or moved (its assets folder moved with it),
/// rewrites the paths in the note. The open document is changed through its editor (the
/// `openNote` handler), so the edit is one undo step and is saved, merged, like typing; any
/// other note is rewritten on disk under its folder's lock, through NoteStore, only the paths'
/// characters changed. The rewrite follows on the next turn of the event loop, once the move's
/// announcement has reached every listener. Main thread only.
class PictureFollower : public QObject
{
    Q_OBJECT

public:
    /// When the note that moved from `oldPath` to `newPath` is the open one, rewrites its
    /// paths in the editor (PictureLinks::editsForMove on the editor's text) and returns true;
    /// false for any other note.
    using OpenNoteHandler = std::function<bool(const QString &oldPath, const QString &newPath)>;

    explicit PictureFollower(OpenNoteHandler openNote, QObject *parent = nullptr);

    /// Rewrites the picture paths of the note now at `newPath` (on disk) after its move from
    /// `oldPath`. False when it could not be read or written; true when done or nothing to do.
    static bool rewriteOnDisk(const QString &oldPath, const QString &newPath);

private:
    void follow(const NoteChange &change);

    OpenNoteHandler m_openNote;
};
