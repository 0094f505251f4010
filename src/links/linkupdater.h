#pragma once

#include "links/linkresolver.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

/// Carries the links to a renamed or moved note: which notes link to it, and their rewrite on
/// disk. Every path is below `baseFolder`.
class LinkUpdater
{
public:
    /// `notes`: every note as it is before the move.
    LinkUpdater(const QString &baseFolder, const QStringList &notes);

    struct Linker
    {
        QString path;
        /// How many of its links lead to the note.
        qsizetype links = 0;
    };

    /// The notes with links leading to `oldPath`, among `candidates` (every note when empty;
    /// the index narrows them down by name), sorted by path.
    QList<Linker> linkersOf(const QString &oldPath, const QStringList &candidates = {}) const;

    struct Outcome
    {
        /// The notes rewritten (or taken care of by `skip`).
        QStringList updated;
        /// The notes that could not be read or written, left as they were.
        QStringList failed;
    };

    /// After the note moved from `oldPath` to `newPath`: rewrites the links of `linkers` (their
    /// paths before the move) on disk, each under its folder's lock (waiting at most
    /// `patience`), read again right before the write and written through NoteStore.
    /// `skip` (when set) takes a linker's path after the move and returns true when it takes
    /// care of that note itself (the open note, through its editor).
    Outcome rewrite(const QString &oldPath, const QString &newPath, const QStringList &linkers,
                    std::chrono::milliseconds patience,
                    const std::function<bool(const QString &)> &skip = {}) const;

    /// One note of several that moved at once (a folder's notes): its paths before and after.
    struct Move
    {
        QString from;
        QString to;
    };

    /// `text`, the note now at `linker`, with its links carried after `moves`: links leading to
    /// a moved note lead to its new place, and a moved note's relative paths lead from its new
    /// folder. `changed` (when given) gets the number of links whose target changed, counted
    /// for a note that did not move itself.
    QString carried(const QString &text, const QString &linker, const QList<Move> &moves,
                    qsizetype *changed = nullptr) const;

    /// After `moves`: rewrites the notes now at `linkers` with carried(), as rewrite() does
    /// for one move (under their folders' locks, read again right before the write, through
    /// NoteStore; `skip` takes the open note).
    Outcome rewrite(const QList<Move> &moves, const QStringList &linkers,
                    std::chrono::milliseconds patience,
                    const std::function<bool(const QString &)> &skip = {}) const;

    const LinkResolver &resolver() const { return m_resolver; }

private:
    QString m_base;
    LinkResolver m_resolver;
};
