#pragma once

#include "links/linkupdater.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

struct NoteChange;

/// Carries the links to a note that was renamed or moved, whoever moved it (the title field, the
/// notes page, drag and drop): follows NoteStore's announcements and, on the next turn of the
/// event loop, finds the notes linking to the note's old place (the note index narrows them
/// down; every note is read when it cannot), asks `confirm` with their list, and on yes rewrites
/// exactly those links. The open note changes through `openNote` (its editor: one undo step);
/// any other note on disk under its folder's lock, through NoteStore. Notes that could not be
/// written are passed to `report` and left as they were. Main thread only.
class LinkFollower : public QObject
{
    Q_OBJECT

public:
    struct Handlers
    {
        /// Asked once per move with links to carry: `links` in all, in `linkers`. True: rewrite.
        std::function<bool(qsizetype links, const QList<LinkUpdater::Linker> &linkers)> confirm;
        /// Rewrites the note now at `path` when it is the open one, returning true; false for
        /// any other note. `edit` turns its text into the rewritten text.
        std::function<bool(const QString &path,
                           const std::function<QString(const QString &)> &edit)>
            openNote;
        /// The notes that could not be updated.
        std::function<void(const QStringList &failed)> report;
    };

    /// `indexPath` empty: the index's default place.
    explicit LinkFollower(Handlers handlers, QObject *parent = nullptr,
                          const QString &indexPath = {});

    /// Carries the links after the note at `oldPath` moved to `newPath` (absolute paths).
    void follow(const QString &oldPath, const QString &newPath);
    /// Carries the links after the folder at `oldPath` moved to `newPath` (absolute paths): the
    /// links into its notes, asked once for them all, and its notes' own relative paths.
    void followFolder(const QString &oldPath, const QString &newPath);

private:
    void changed(const NoteChange &change);

    Handlers m_handlers;
    QString m_indexPath;
};
