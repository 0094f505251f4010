#pragma once

#include "index/indexedsearch.h"
#include "links/linkresolver.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

/// The links and tags of a base folder's notes, answered from the note index brought up to
/// date first (a stat walk; only changed notes are read again). Paths are below the base
/// folder. One object per thread.
class LinkGraph
{
public:
    /// `indexPath` empty: the index's default place.
    explicit LinkGraph(const QString &baseFolder, const QString &indexPath = {});
    ~LinkGraph();

    /// Brings the index up to the notes on disk; false with `problem` when there is none.
    bool refresh(QString *problem);

    const QString &baseFolder() const { return m_base; }
    const LinkResolver &resolver() const { return m_resolver; }
    IndexedSearch &search() { return *m_search; }

    struct Mention
    {
        QString path;
        /// Line of the note's body, from 0; -1 for its front matter.
        int line = 0;
        /// That line's text, trimmed (the front matter's link as written).
        QString text;
        /// The note's modification time, milliseconds since the epoch.
        qint64 modified = 0;
    };

    /// The notes whose links lead to `notePath`, newest first, one row per link.
    std::optional<QList<Mention>> backlinks(const QString &notePath, QString *problem);

    /// The notes (other than it and its linkers) whose text holds the note's name as plain
    /// text: the index's search for it, newest first.
    std::optional<QList<Mention>> unlinkedMentions(const QString &notePath, QString *problem);

    /// The paths of the notes that hold a link keyed like `notePath`'s name: every linker of
    /// it, and maybe a few more (the candidates for LinkUpdater::linkersOf).
    std::optional<QStringList> linkerCandidates(const QString &notePath, QString *problem);

private:
    QString m_base;
    std::unique_ptr<IndexedSearch> m_search;
    LinkResolver m_resolver;
};
