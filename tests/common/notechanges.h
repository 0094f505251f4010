#pragma once

#include "storage/notestore.h"

#include <QObject>
#include <QStringList>

/// Records what NoteStore announces while it lives, each change as one readable line
/// ("moved <old> -> <new>", "saved <path> | <previous text>"), so a test compares the lines and a
/// failure shows them.
class NoteChangeRecorder
{
public:
    NoteChangeRecorder()
    {
        m_connection = QObject::connect(
            &NoteStore::instance(), &NoteStore::changed,
            [this](const NoteChange &change) { m_lines.append(describe(change)); });
    }
    ~NoteChangeRecorder() { QObject::disconnect(m_connection); }
    NoteChangeRecorder(const NoteChangeRecorder &) = delete;
    NoteChangeRecorder &operator=(const NoteChangeRecorder &) = delete;

    /// The lines so far, paths shown below `root`; forgets them.
    QStringList take(const QString &root)
    {
        QStringList lines = std::exchange(m_lines, {});
        for (QString &line : lines)
            line.replace(root + u'/', QString());
        return lines;
    }

    static QString describe(const NoteChange &change)
    {
        static const char *const names[] = {"saved",   "created",       "conflictCopy",
                                            "moved",   "folderCreated", "folderMoved",
                                            "deleted", "folderDeleted"};
        QString line = QString::fromLatin1(names[int(change.kind)]) + u' ';
        if (!change.oldPath.isEmpty())
            line += change.oldPath + QStringLiteral(" -> ");
        line += change.path;
        if (change.previousText)
            line += QStringLiteral(" | ") + *change.previousText;
        return line;
    }

private:
    QMetaObject::Connection m_connection;
    QStringList m_lines;
};
